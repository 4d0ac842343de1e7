// Paths as the program holds them: WTF-8 bytes that convert back to exactly
// the UTF-16 units Windows gave, lone surrogates included.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <utility>

namespace vant {

class PathText {
 public:
  PathText() = default;
  // UTF-8 is a subset of WTF-8, so any UTF-8 text is a path text as is.
  static PathText from_utf8(std::string_view text) { return PathText(std::string(text)); }
  static PathText from_wtf8(std::string bytes) { return PathText(std::move(bytes)); }

  const std::string& bytes() const { return bytes_; }
  bool empty() const { return bytes_.empty(); }
  friend bool operator==(const PathText&, const PathText&) = default;

 private:
  explicit PathText(std::string bytes) : bytes_(std::move(bytes)) {}
  std::string bytes_;
};

// UTF-16 units to WTF-8; never fails.
PathText path_from_wide(std::span<const char16_t> units);

}  // namespace vant
