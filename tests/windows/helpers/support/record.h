// Records that the stand-ins leave for the tests. A record is a block of
// "key=value" lines (UTF-8, LF) opened by "role=<name>" and closed by "end",
// appended in one write per run, so a file holds one block per start and a
// block cut short by a crash shows as incomplete. Texts that came from
// Windows are stored twice: as hex UTF-16 units ("<key>.units"), the exact
// form, and as UTF-8 ("<key>.text", lone surrogates as U+FFFD) for people.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vant_test {

class RecordBuilder {
 public:
  explicit RecordBuilder(std::string_view role);
  RecordBuilder& field(std::string_view key, std::string_view value);
  RecordBuilder& number(std::string_view key, unsigned long long value);
  RecordBuilder& units(std::string_view key, std::wstring_view value);
  // The finished block, "end" line included.
  std::string finish() const;

 private:
  std::string text_;
};

// Appends a block to the file in one write; false if that failed.
bool append_record(const std::wstring& path, std::string_view block);

struct Record {
  std::vector<std::pair<std::string, std::string>> fields;
  bool complete = false;

  // The value, or "<missing>" (which no recorded value is), so that a
  // comparison with an expected text prints both plainly when it fails.
  std::string get(std::string_view key) const;
  bool has(std::string_view key) const;
  std::optional<std::wstring> units(std::string_view key) const;
  std::optional<unsigned long long> number(std::string_view key) const;
};

// Every block of a record file in order; a missing file has none.
std::vector<Record> read_records(const std::wstring& path);

// The whole file as bytes; nullopt if it cannot be opened.
std::optional<std::string> read_file_bytes(const std::wstring& path);

}  // namespace vant_test
