#include "support/record.h"

#include <windows.h>

#include "support/text.h"

namespace vant_test {

namespace {

// Keeps a ".text" value on one line whatever the text holds.
std::string one_line(std::string text) {
  for (char& c : text) {
    if (c == '\n' || c == '\r') c = '?';
  }
  return text;
}

}  // namespace

RecordBuilder::RecordBuilder(std::string_view role) { field("role", role); }

RecordBuilder& RecordBuilder::field(std::string_view key, std::string_view value) {
  text_.append(key).append("=").append(one_line(std::string(value))).append("\n");
  return *this;
}

RecordBuilder& RecordBuilder::number(std::string_view key, unsigned long long value) {
  return field(key, std::to_string(value));
}

RecordBuilder& RecordBuilder::units(std::string_view key, std::wstring_view value) {
  field(std::string(key) + ".units", hex_units(value));
  return field(std::string(key) + ".text", to_utf8(value));
}

std::string RecordBuilder::finish() const { return text_ + "end\n"; }

bool append_record(const std::wstring& path, std::string_view block) {
  const HANDLE file = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const BOOL ok = WriteFile(file, block.data(), static_cast<DWORD>(block.size()), &written, nullptr);
  CloseHandle(file);
  return ok && written == block.size();
}

namespace {

const std::string* find_field(const Record& record, std::string_view key) {
  for (const auto& [k, v] : record.fields) {
    if (k == key) return &v;
  }
  return nullptr;
}

}  // namespace

std::string Record::get(std::string_view key) const {
  const std::string* value = find_field(*this, key);
  return value ? *value : "<missing>";
}

bool Record::has(std::string_view key) const { return find_field(*this, key) != nullptr; }

std::optional<std::wstring> Record::units(std::string_view key) const {
  const std::string* hex = find_field(*this, std::string(key) + ".units");
  if (!hex) return std::nullopt;
  return parse_hex_units(*hex);
}

std::optional<unsigned long long> Record::number(std::string_view key) const {
  const std::string* value = find_field(*this, key);
  if (!value || value->empty()) return std::nullopt;
  unsigned long long n = 0;
  for (const char c : *value) {
    if (c < '0' || c > '9') return std::nullopt;
    n = n * 10 + static_cast<unsigned>(c - '0');
  }
  return n;
}

std::optional<std::string> read_file_bytes(const std::wstring& path) {
  const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::nullopt;
  std::string bytes;
  char chunk[4096];
  DWORD got = 0;
  while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0) bytes.append(chunk, got);
  CloseHandle(file);
  return bytes;
}

std::vector<Record> read_records(const std::wstring& path) {
  std::vector<Record> records;
  const auto bytes = read_file_bytes(path);
  if (!bytes) return records;
  std::size_t pos = 0;
  while (pos < bytes->size()) {
    std::size_t end = bytes->find('\n', pos);
    if (end == std::string::npos) end = bytes->size();
    const std::string line = bytes->substr(pos, end - pos);
    pos = end + 1;
    if (line.rfind("role=", 0) == 0) records.emplace_back();
    if (records.empty()) continue;
    if (line == "end") {
      records.back().complete = true;
      continue;
    }
    const std::size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    records.back().fields.emplace_back(line.substr(0, eq), line.substr(eq + 1));
  }
  return records;
}

}  // namespace vant_test
