// Appending a file name to a folder, with the separator rules of Windows
// paths. Names joined here are relative, with no drive and no leading
// separator (the installer's file name, "curl.exe").
#pragma once

#include <string_view>

#include "paths/path_text.h"

namespace vant {

// `directory` joined with a relative file name (no drive, no leading
// separator). Example: C:\Temp\ + a.exe -> C:\Temp\a.exe; C: + a.exe -> C:a.exe.
PathText join_path(const PathText& directory, std::string_view name);

}  // namespace vant
