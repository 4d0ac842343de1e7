// A path that a program search never applies to.
#pragma once

#include "paths/path_text.h"

namespace vant {

// The path itself when it names a folder; a bare file name gets the current
// folder ".\" in front (after the drive of a drive-relative name: any one
// UTF-16 unit and a colon, as Windows reads it), so that a program search
// never applies to it and it names the file where a tool given the bare
// name wrote it.
// Example: a.exe -> .\a.exe; C:a.exe -> C:.\a.exe; 1:a.exe -> 1:.\a.exe;
//          C:\Temp\a.exe and dir/a.exe -> unchanged.
PathText with_explicit_folder(const PathText& path);

}  // namespace vant
