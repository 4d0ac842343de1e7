#include "process/search_path.h"

namespace vant {

std::vector<std::u16string> split_search_path(std::u16string_view value) {
  std::vector<std::u16string> entries;
  std::u16string entry;
  bool quoted = false;
  for (const char16_t unit : value) {
    if (unit == u'"') {
      quoted = !quoted;
    } else if (unit == u';' && !quoted) {
      entries.push_back(std::move(entry));
      entry.clear();
    } else {
      entry.push_back(unit);
    }
  }
  entries.push_back(std::move(entry));
  return entries;
}

}  // namespace vant
