// Splitting a PATH value: the entries, joined again with ';', give the value
// without its quotes; there is one entry more than there are semicolons
// outside quotes, and each entry ends at one of those; no entry keeps a
// quote.
//
// Input: unit texts (see support/fuzz_support.h), joined with ';' into one
// value, so that seeds read like PATH values.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "process/search_path.h"
#include "support/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace vant::fuzz;
  const std::vector<std::u16string> texts = read_unit_texts(data, size);
  std::u16string value;
  for (std::size_t i = 0; i < texts.size(); ++i) value += (i == 0 ? u"" : u";") + texts[i];

  const std::vector<std::u16string> entries = vant::split_search_path(value);
  const auto context = [&] { return "value " + show(value) + "\nentries\n" + show(entries); };

  // The value without quotes, and where in it the separating semicolons are.
  std::u16string unquoted;
  std::vector<std::size_t> separators;
  bool quoted = false;
  for (const char16_t unit : value) {
    if (unit == u'"') {
      quoted = !quoted;
      continue;
    }
    if (unit == u';' && !quoted) separators.push_back(unquoted.size());
    unquoted += unit;
  }

  FUZZ_CHECK(entries.size() == separators.size() + 1, context());
  std::u16string joined;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    FUZZ_CHECK(entries[i].find(u'"') == std::u16string::npos, context());
    joined += entries[i];
    if (i < separators.size()) {
      FUZZ_CHECK(joined.size() == separators[i], context() + "\nentry " + std::to_string(i) + " ends elsewhere");
      joined += u';';
    }
  }
  FUZZ_CHECK(joined == unquoted, context() + "\njoined " + show(joined));
  return 0;
}
