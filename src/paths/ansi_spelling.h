// Whether the system's ANSI code page spells a path exactly: what a program
// built without Unicode support (a curl that Windows shipped before 8.0.1)
// receives of that path in its arguments.
#pragma once

#include <expected>

#include "paths/path_text.h"
#include "platform/system_error.h"

namespace vant {

// True when converting the path to the ANSI code page and back gives the
// same units: every character has a byte form of its own, none is replaced
// by the default character "?" nor by a look-alike. An empty path is exact;
// a lone surrogate never is (it is no character at all). A system whose
// ANSI code page is UTF-8 spells every other path.
// Example: C:\Users\张三\Temp\ -> true under 936, false under 1252;
//          C:\Users\Jānis\Temp\ -> false under 1252 (a look-alike would
//          make it C:\Users\Janis\Temp\); C:\Temp\ -> true under both.
// Fails only with the error of a WideCharToMultiByte call.
std::expected<bool, SystemError> spelt_exactly_in_ansi_code_page(const PathText& path);

}  // namespace vant
