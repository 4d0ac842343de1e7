#include "setup/curl_folder.h"

#include <cstddef>

#include "paths/ansi_spelling.h"

namespace vant {
namespace {

// CreateProcessW takes the current folder's full path into a buffer of
// MAX_PATH - 1 units, its NUL included, and refuses a longer one (267).
// The folder is the full path Windows gave.
constexpr std::size_t kLongestCurrentFolder = 260 - 2;

// The UTF-16 length of a path text: one unit per WTF-8 sequence, two for a
// four-byte one. Example: "C:\张" (6 bytes) -> 4; a 😀 (4 bytes) -> 2.
std::size_t units_of(const PathText& path) {
  std::size_t units = 0;
  for (const char c : path.bytes()) {
    const auto byte = static_cast<unsigned char>(c);
    if ((byte & 0xC0) != 0x80) units += byte >= 0xF0 ? 2 : 1;
  }
  return units;
}

}  // namespace

bool curl_starts_in_download_folder(const PathText& download_folder) {
  // (An empty folder, where curl writes into the inherited one, is exact.)
  if (units_of(download_folder) > kLongestCurrentFolder) return false;
  const auto exact = spelt_exactly_in_ansi_code_page(download_folder);
  // A failed check says nothing about the folder; the full path is what
  // every curl with Unicode support takes.
  return exact && !*exact;
}

}  // namespace vant
