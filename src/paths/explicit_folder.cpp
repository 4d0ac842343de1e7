#include <string>
#include <utility>

#include "paths/path_text.h"

namespace vant {

PathText with_explicit_folder(const PathText& path) {
  const std::string& bytes = path.bytes();
  if (bytes.empty() || bytes.find_first_of("\\/") != std::string::npos) return path;
  const bool drive = bytes.size() >= 2 && bytes[1] == ':' &&
                     ((bytes[0] >= 'A' && bytes[0] <= 'Z') || (bytes[0] >= 'a' && bytes[0] <= 'z'));
  std::string explicit_path = bytes;
  explicit_path.insert(drive ? 2 : 0, ".\\");
  return PathText::from_wtf8(std::move(explicit_path));
}

}  // namespace vant
