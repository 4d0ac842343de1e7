// Byte strings written as numbers, for tables of encodings.
#pragma once

#include <initializer_list>
#include <string>

namespace vant::testing {

// bytes({0xE4, 0xB8, 0xAD}) is the UTF-8 of U+4E2D.
inline std::string bytes(std::initializer_list<unsigned> values) {
  std::string out;
  for (unsigned v : values) out.push_back(static_cast<char>(v));
  return out;
}

}  // namespace vant::testing
