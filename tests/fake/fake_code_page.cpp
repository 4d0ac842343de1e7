// The fake's conversions to a code page (WideCharToMultiByte) and its ANSI
// code page (GetACP), with the parameter rules Windows enforces: a caller
// that breaks one gets the failure Windows gives, not a result.
#include <cstring>
#include <string>
#include <string_view>
#include <utility>

#include "fake_windows.h"

namespace {

bool is_surrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDFFF; }

// Code pages whose characters beyond ASCII take two bytes.
bool double_byte(win::UINT code_page) {
  return code_page == 932 || code_page == 936 || code_page == 949 || code_page == 950;
}

}  // namespace

namespace fake {
namespace {

void log(std::string entry) { world().record_call(std::move(entry)); }

}  // namespace

void FakeWindows::use_ansi_code_page(win::UINT code_page) {
  ansi_code_page = code_page;
  ansi_best_fit.clear();
  switch (code_page) {
    case 936: ansi_spells = [](char16_t unit) { return unit < 0x80 || (unit >= 0x4E00 && unit <= 0x9FA5); }; break;
    case 1252:
      ansi_spells = [](char16_t unit) { return unit < 0x80 || (unit >= 0xA0 && unit <= 0xFF); };
      ansi_best_fit = {{u'\u0100', 'A'}, {u'\u0101', 'a'}, {u'\u0112', 'E'}, {u'\u0113', 'e'}};
      break;
    default: ansi_spells = [](char16_t unit) { return unit < 0x80; }; break;
  }
}

}  // namespace fake

namespace win {

using fake::log;
using fake::world;

UINT GetACP() {
  const fake::SeamScope scope;
  log("GetACP");
  return world().ansi_code_page;
}

int WideCharToMultiByte(UINT CodePage, DWORD dwFlags, const char16_t* lpWideCharStr, int cchWideChar,
                        char* lpMultiByteStr, int cbMultiByte, const char* lpDefaultChar, BOOL* lpUsedDefaultChar) {
  const fake::SeamScope scope;
  auto& w = world();
  log("WideCharToMultiByte(" + std::to_string(CodePage) + "," + std::to_string(dwFlags) + "," +
      std::to_string(cchWideChar) + ")");
  if (w.on_WideCharToMultiByte)
    return w.on_WideCharToMultiByte(lpWideCharStr, cchWideChar, lpMultiByteStr, cbMultiByte);
  // Simplified: a NUL-terminated input (cchWideChar -1) is not modelled.
  if (lpWideCharStr == nullptr || cchWideChar <= 0 || cbMultiByte < 0 ||
      (lpMultiByteStr == nullptr && cbMultiByte != 0)) {
    w.last_error() = ERROR_INVALID_PARAMETER;
    return 0;
  }
  const std::u16string_view units(lpWideCharStr, static_cast<std::size_t>(cchWideChar));
  std::string bytes;
  bool used_default = false;

  // CP_ACP on a system whose ANSI code page is UTF-8 is UTF-8's conversion,
  // with its rules: no default character and no flag but
  // WC_ERR_INVALID_CHARS.
  const bool ansi = CodePage == CP_ACP || CodePage == w.ansi_code_page;
  if (CodePage == CP_UTF8 || (ansi && w.ansi_code_page == CP_UTF8)) {
    if (lpDefaultChar != nullptr || lpUsedDefaultChar != nullptr) {
      w.last_error() = ERROR_INVALID_PARAMETER;
      return 0;
    }
    if ((dwFlags & ~WC_ERR_INVALID_CHARS) != 0) {
      w.last_error() = ERROR_INVALID_FLAGS;
      return 0;
    }
    if (dwFlags & WC_ERR_INVALID_CHARS) {
      for (std::size_t i = 0; i < units.size(); ++i) {
        const char16_t u = units[i];
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
          ++i;
        } else if (is_surrogate(u)) {
          w.last_error() = 1113;  // ERROR_NO_UNICODE_TRANSLATION
          return 0;
        }
      }
    }
    bytes = fake::utf8(units);
  } else if (ansi) {
    // Windows refuses WC_ERR_INVALID_CHARS here (it is for UTF-8 and 54936
    // only). Simplified: the composition flags, which Windows takes, are
    // not modelled and refused too, so a caller that starts using one
    // shows up.
    if ((dwFlags & ~WC_NO_BEST_FIT_CHARS) != 0) {
      w.last_error() = ERROR_INVALID_FLAGS;
      return 0;
    }
    const char default_char = lpDefaultChar != nullptr ? *lpDefaultChar : '?';
    for (const char16_t unit : units) {
      if (!is_surrogate(unit) && w.ansi_spells(unit)) {
        // Placeholder bytes: only their number is the code page's.
        if (unit >= 0x80 && double_byte(w.ansi_code_page)) {
          bytes.push_back(static_cast<char>(0x81 + (unit >> 8) % 0x7E));
          bytes.push_back(static_cast<char>(0x40 + (unit & 0x3F)));
        } else {
          bytes.push_back(static_cast<char>(unit));
        }
      } else if (const auto look_alike = w.ansi_best_fit.find(unit);
                 look_alike != w.ansi_best_fit.end() && (dwFlags & WC_NO_BEST_FIT_CHARS) == 0) {
        // A look-alike counts as converted: Windows does not report it.
        bytes.push_back(look_alike->second);
      } else {
        // Simplified: each unit of a surrogate pair gives one default
        // character.
        bytes.push_back(default_char);
        used_default = true;
      }
    }
  } else {
    // No other code page is modelled; Windows answers so for one it lacks.
    w.last_error() = ERROR_INVALID_PARAMETER;
    return 0;
  }

  // Reported by the size query too, as Windows and Wine do (callers rely on
  // it; the documentation does not spell it out).
  if (lpUsedDefaultChar != nullptr) *lpUsedDefaultChar = used_default ? 1 : 0;
  if (cbMultiByte == 0) return static_cast<int>(bytes.size());
  if (bytes.size() > static_cast<std::size_t>(cbMultiByte)) {
    w.last_error() = ERROR_INSUFFICIENT_BUFFER;
    return 0;
  }
  std::memcpy(lpMultiByteStr, bytes.data(), bytes.size());
  return static_cast<int>(bytes.size());
}

}  // namespace win
