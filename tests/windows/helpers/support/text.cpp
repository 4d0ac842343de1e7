#include "support/text.h"

#include <windows.h>

#include <cwchar>
#include <vector>

namespace vant_test {

namespace {

bool is_high(wchar_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool is_low(wchar_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

void append_code_point(std::string& out, std::uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

}  // namespace

std::string to_utf8(std::wstring_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const wchar_t unit = text[i];
    if (is_high(unit) && i + 1 < text.size() && is_low(text[i + 1])) {
      append_code_point(out, 0x10000 + ((unit - 0xD800) << 10) + (text[i + 1] - 0xDC00));
      ++i;
    } else if (is_high(unit) || is_low(unit)) {
      append_code_point(out, 0xFFFD);
    } else {
      append_code_point(out, unit);
    }
  }
  return out;
}

std::wstring from_utf8(std::string_view text) {
  std::wstring out;
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  for (std::size_t i = 0; i < text.size();) {
    const unsigned char lead = byte(i);
    std::size_t width = lead < 0x80                    ? 1
                        : lead >= 0xC2 && lead <= 0xDF ? 2
                        : lead >= 0xE0 && lead <= 0xEF ? 3
                        : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                       : 0;
    std::uint32_t cp = width == 1 ? lead : width == 2 ? lead & 0x1F : width == 3 ? lead & 0x0F : lead & 0x07;
    bool valid = width != 0 && i + width <= text.size();
    for (std::size_t k = 1; valid && k < width; ++k) {
      if ((byte(i + k) & 0xC0) != 0x80) valid = false;
      cp = (cp << 6) | (byte(i + k) & 0x3F);
    }
    if (valid && ((width == 3 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) ||
                  (width == 4 && (cp < 0x10000 || cp > 0x10FFFF)))) {
      valid = false;
    }
    if (!valid) {
      out += L'\xFFFD';
      ++i;
      continue;
    }
    if (cp >= 0x10000) {
      out += static_cast<wchar_t>(0xD800 + ((cp - 0x10000) >> 10));
      out += static_cast<wchar_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else {
      out += static_cast<wchar_t>(cp);
    }
    i += width;
  }
  return out;
}

std::string hex_units(std::wstring_view text) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (const wchar_t unit : text) {
    if (!out.empty()) out += ' ';
    for (int shift = 12; shift >= 0; shift -= 4) out += kDigits[(unit >> shift) & 0xF];
  }
  return out;
}

std::string hex_bytes(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (const char c : bytes) {
    if (!out.empty()) out += ' ';
    out += kDigits[static_cast<unsigned char>(c) >> 4];
    out += kDigits[static_cast<unsigned char>(c) & 0xF];
  }
  return out;
}

std::optional<std::wstring> parse_hex_units(std::string_view hex) {
  std::wstring out;
  std::size_t i = 0;
  while (i < hex.size()) {
    if (hex[i] == ' ') {
      ++i;
      continue;
    }
    if (i + 4 > hex.size()) return std::nullopt;
    unsigned value = 0;
    for (std::size_t k = 0; k < 4; ++k) {
      const char c = hex[i + k];
      const int digit = c >= '0' && c <= '9'   ? c - '0'
                        : c >= 'A' && c <= 'F' ? c - 'A' + 10
                        : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                               : -1;
      if (digit < 0) return std::nullopt;
      value = value * 16 + static_cast<unsigned>(digit);
    }
    out += static_cast<wchar_t>(value);
    i += 4;
  }
  return out;
}

std::wstring expand_unit_escapes(std::wstring_view text) {
  std::wstring out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text.substr(i, 3) == L"{U+" && i + 8 <= text.size() && text[i + 7] == L'}') {
      const auto unit = parse_hex_units(to_utf8(text.substr(i + 3, 4)));
      if (unit && unit->size() == 1) {
        out += (*unit)[0];
        i += 7;
        continue;
      }
    }
    out += text[i];
  }
  return out;
}

std::optional<std::wstring> environment_variable(const wchar_t* name) {
  std::vector<wchar_t> buffer(256);
  for (;;) {
    SetLastError(0);
    const DWORD n = GetEnvironmentVariableW(name, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) {
      if (GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
      return std::wstring();
    }
    if (n < buffer.size()) return std::wstring(buffer.data(), n);
    buffer.resize(n);
  }
}

std::optional<std::uint32_t> parse_u32(std::wstring_view text) {
  if (text.empty()) return std::nullopt;
  int base = 10;
  if (text.size() > 2 && text[0] == L'0' && (text[1] == L'x' || text[1] == L'X')) {
    base = 16;
    text.remove_prefix(2);
  }
  std::uint64_t value = 0;
  for (const wchar_t c : text) {
    int digit = c >= L'0' && c <= L'9'   ? c - L'0'
                : c >= L'a' && c <= L'f' ? c - L'a' + 10
                : c >= L'A' && c <= L'F' ? c - L'A' + 10
                                         : 99;
    if (digit >= base) return std::nullopt;
    value = value * base + digit;
    if (value > 0xFFFFFFFFull) return std::nullopt;
  }
  return static_cast<std::uint32_t>(value);
}

std::uint64_t now_ticks() {
  FILETIME now;
  GetSystemTimePreciseAsFileTime(&now);
  return (static_cast<std::uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

}  // namespace vant_test
