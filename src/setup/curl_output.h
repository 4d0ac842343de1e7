// Where curl is told to write the installer: the text after its "-o" and
// the folder it starts in.
#pragma once

#include <string_view>

#include "paths/path_text.h"

namespace vant {

struct CurlOutput {
  std::string_view argument;  // the text after "-o"
  bool in_folder;             // curl starts in the download folder
};

// As a rule curl gets the installer path text and inherits the current
// folder. A curl built without Unicode support (every curl Windows shipped
// before 8.0.1) reads its arguments in the ANSI code page, which may not
// spell the download folder: it would then get "?" for the characters it
// lacks, fail to create the file and exit 23, and the user would be told to
// check the network. So when the ANSI code page does not spell the folder
// exactly, curl is started in that folder, given as its exact units, and
// gets the bare file name, which every code page spells.
// A folder of MAX_PATH - 1 units or more (CreateProcessW refuses it as a
// current folder), and any failure of the check, keep the rule.
// Example: C:\Users\张三\Temp\ under 1252 -> "vant_installer_latest.exe" in
//          C:\Users\张三\Temp\; under 936 -> "C:\Users\张三\Temp\vant_installer_latest.exe",
//          inherited folder.
// The argument points into `installer_path_text` or a constant.
CurlOutput curl_output(const PathText& download_folder, std::string_view installer_path_text);

}  // namespace vant
