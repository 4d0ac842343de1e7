#include "setup/curl_output.h"

#include <cstddef>
#include <string>

#include "paths/ansi_spelling.h"
#include "platform/unicode.h"
#include "setup/messages.h"

namespace vant {
namespace {

// CreateProcessW takes the current folder's full path into a buffer of
// MAX_PATH - 1 units, its NUL included, and refuses a longer one (267).
// The folder is the full path Windows gave.
constexpr std::size_t kLongestCurrentFolder = 260 - 2;

std::size_t units_of(const PathText& path) {
  std::u16string units;
  append_utf16_from_wtf8(units, path.bytes());
  return units.size();
}

}  // namespace

CurlOutput curl_output(const PathText& download_folder, std::string_view installer_path_text) {
  CurlOutput as_a_rule{std::string(installer_path_text), std::nullopt};
  if (download_folder.empty() || units_of(download_folder) > kLongestCurrentFolder) return as_a_rule;
  const auto exact = spelt_exactly_in_ansi_code_page(download_folder);
  // A failed check says nothing about the folder; the full path is what
  // every curl with Unicode support takes.
  if (!exact || *exact) return as_a_rule;
  return CurlOutput{std::string(messages::kInstallerFileName), download_folder};
}

}  // namespace vant
