#include "process/environment_block.h"

#include <algorithm>
#include <string_view>
#include <utility>
#include <vector>

#include "paths/windows_path.h"
#include "platform/unique_resource.h"
#include "platform/win_api.h"

namespace vant {
namespace {

// The block GetEnvironmentStringsW hands out.
struct EnvironmentStringsTraits {
  using Value = char16_t*;
  static constexpr Value kNone = nullptr;
  void close(Value strings) const { (void)win::FreeEnvironmentStringsW(strings); }
};

// Windows upper-cases each unit before comparing names.
char16_t fold(char16_t unit) {
  if (unit >= u'a' && unit <= u'z') return static_cast<char16_t>(unit - u'a' + u'A');
  switch (unit) {
    case u'\u0131':  // dotless i
      return u'I';
    case u'\u017F':  // long s
      return u'S';
    case u'\u212A':  // Kelvin sign
      return u'K';
    default: return unit;
  }
}

// The name of a "name=value" string. The first unit belongs to the name
// even when it is '=': that is how the hidden "=C:=C:\\work" strings are
// named.
std::u16string_view name_of(std::u16string_view entry) {
  return entry.substr(0, entry.find(u'=', entry.empty() ? 0 : 1));
}

bool folded_less(std::u16string_view a, std::u16string_view b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                      [](char16_t x, char16_t y) { return fold(x) < fold(y); });
}

}  // namespace

bool same_variable_name(std::u16string_view a, std::u16string_view b) {
  return std::ranges::equal(a, b, [](char16_t x, char16_t y) { return fold(x) == fold(y); });
}

std::expected<std::u16string, SystemError> build_environment_block(std::span<const VariableChange> changes) {
  // Checked first, so that a bad change reads nothing.
  std::vector<std::pair<std::u16string, std::optional<std::u16string>>> wide_changes;
  for (const VariableChange& change : changes) {
    auto name = to_wide_text(change.name);
    if (!name) return std::unexpected(name.error());
    if (name->empty() || name->find(u'=', 1) != std::u16string::npos) {
      return std::unexpected(SystemError::from_code(win::ERROR_INVALID_PARAMETER));
    }
    std::optional<std::u16string> value;
    if (change.value) {
      auto units = to_wide_text(change.value->bytes());
      if (!units) return std::unexpected(units.error());
      value = std::move(*units);
    }
    wide_changes.emplace_back(std::move(*name), std::move(value));
  }

  const UniqueResource<EnvironmentStringsTraits> strings(win::GetEnvironmentStringsW());
  if (strings.get() == nullptr) return std::unexpected(SystemError::from_last_error());
  std::vector<std::u16string> entries;
  for (const char16_t* entry = strings.get(); *entry != u'\0';) {
    const std::u16string_view text(entry);
    entries.emplace_back(text);
    entry += text.size() + 1;
  }

  for (auto& [name, value] : wide_changes) {
    std::erase_if(entries, [&](const std::u16string& entry) { return same_variable_name(name_of(entry), name); });
    if (value) entries.push_back(name + u"=" + *value);
  }
  // Windows keeps its own block in this order and looks names up assuming
  // it; a child that sets a variable inserts it by this order too. Each
  // entry goes after every one that does not sort after it: a stable
  // insertion sort, which a block of a few dozen entries affords and which
  // costs a fraction of the library's sort in the exe.
  std::vector<std::u16string> sorted;
  sorted.reserve(entries.size());
  for (std::u16string& entry : entries) {
    const auto place = std::ranges::find_if(
        sorted, [&](const std::u16string& other) { return folded_less(name_of(entry), name_of(other)); });
    sorted.insert(place, std::move(entry));
  }

  std::u16string block;
  for (const std::u16string& entry : sorted) {
    block += entry;
    block.push_back(u'\0');
  }
  // The block ends with an empty string; an empty block is two NULs.
  if (sorted.empty()) block.push_back(u'\0');
  block.push_back(u'\0');
  return block;
}

}  // namespace vant
