#include "process/name_ending.h"

namespace vant {
namespace {

template <typename Char>
bool ends_with_nocase(std::basic_string_view<Char> text, std::string_view ending) {
  if (text.size() < ending.size()) return false;
  const std::size_t start = text.size() - ending.size();
  for (std::size_t i = 0; i < ending.size(); ++i) {
    Char c = text[start + i];
    if (c >= Char('A') && c <= Char('Z')) c = static_cast<Char>(c + ('a' - 'A'));
    if (c != static_cast<Char>(static_cast<unsigned char>(ending[i]))) return false;
  }
  return true;
}

}  // namespace

bool ends_with_ascii_nocase(std::string_view text, std::string_view ending) { return ends_with_nocase(text, ending); }

bool ends_with_ascii_nocase(std::u16string_view text, std::string_view ending) {
  return ends_with_nocase(text, ending);
}

bool is_batch_script_name(std::u16string_view full_path) {
  return ends_with_ascii_nocase(full_path, ".bat") || ends_with_ascii_nocase(full_path, ".cmd");
}

}  // namespace vant
