// Where curl is told to write the installer: the folder it starts in, and
// so the text after its "-o".
#pragma once

#include "paths/path_text.h"

namespace vant {

// As a rule curl gets the installer path text and inherits the current
// folder. A curl built without Unicode support (every curl Windows shipped
// before 8.0.1) reads its arguments in the ANSI code page, which may not
// spell the download folder: it would then get "?" for the characters it
// lacks, fail to create the file and exit 23, and the user would be told to
// check the network. So when the ANSI code page does not spell the folder
// exactly, curl is started in that folder, given as its exact units, and
// gets the bare file name, which every code page spells: this answers true.
// A folder of MAX_PATH - 1 units or more (CreateProcessW refuses it as a
// current folder), and any failure of the check, keep the rule.
// Example: C:\Users\张三\Temp\ under 1252 -> true: "-o vant_installer_latest.exe"
//          in C:\Users\张三\Temp\; under 936 -> false:
//          "-o C:\Users\张三\Temp\vant_installer_latest.exe", inherited folder.
bool curl_starts_in_download_folder(const PathText& download_folder);

}  // namespace vant
