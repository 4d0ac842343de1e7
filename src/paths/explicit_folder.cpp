#include "paths/explicit_folder.h"

#include <string>
#include <utility>

namespace vant {
namespace {

// The length of the drive at the start of a name, or 0. Windows takes any
// one UTF-16 unit before a colon as a drive, not only a letter: 1:a.exe is
// a.exe in drive 1:'s current folder. In WTF-8 that unit is one to three
// bytes; four bytes are a pair, two units, and the colon comes too late.
// Example: C:a.exe -> 2; 中:a -> 4; 😀:a -> 0; a.exe -> 0.
std::size_t drive_length(const std::string& bytes) {
  if (bytes.empty()) return 0;
  const auto lead = static_cast<unsigned char>(bytes[0]);
  const std::size_t unit = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 0;
  return unit != 0 && bytes.size() > unit && bytes[unit] == ':' ? unit + 1 : 0;
}

}  // namespace

PathText with_explicit_folder(const PathText& path) {
  const std::string& bytes = path.bytes();
  if (bytes.empty() || bytes.find_first_of("\\/") != std::string::npos) return path;
  std::string explicit_path = bytes;
  explicit_path.insert(drive_length(bytes), ".\\");
  return PathText::from_wtf8(std::move(explicit_path));
}

}  // namespace vant
