// The fake's WideCharToMultiByte keeps Windows' parameter rules, so that a
// program that breaks one fails here as it would on Windows: UTF-8 (CP_UTF8,
// and CP_ACP when the ANSI code page is 65001) takes no default character,
// no used-default flag (ERROR_INVALID_PARAMETER) and no flag but
// WC_ERR_INVALID_CHARS (ERROR_INVALID_FLAGS); another ANSI code page takes
// no WC_ERR_INVALID_CHARS. And CreateProcessW's current folder is refused as
// Windows refuses it.
#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>

#include "fake_windows.h"
#include "support/seam_test.h"

namespace vant {
namespace {

using testing::SeamTest;

struct Conversion {
  const char* name;
  win::UINT ansi_code_page;
  win::UINT code_page;  // the argument
  win::DWORD flags;
  bool ask_used_default;
  std::optional<win::DWORD> error;  // the failure, or success
  std::string bytes{};              // on success
  bool used_default = false;
};

void PrintTo(const Conversion& c, std::ostream* os) { *os << c.name; }

class FakeConversion : public SeamTest, public ::testing::WithParamInterface<Conversion> {};

TEST_P(FakeConversion, FollowsWindowsRules) {
  const Conversion& c = GetParam();
  w().use_ansi_code_page(c.ansi_code_page);
  const std::u16string units = u"Jā张";
  char buffer[16] = {};
  win::BOOL used = 7;
  const int written = win::WideCharToMultiByte(c.code_page, c.flags, units.data(), static_cast<int>(units.size()),
                                               buffer, sizeof buffer, nullptr, c.ask_used_default ? &used : nullptr);
  if (c.error) {
    EXPECT_EQ(written, 0);
    EXPECT_EQ(w().last_error(), *c.error);
    return;
  }
  EXPECT_EQ(std::string(buffer, static_cast<std::size_t>(written)), c.bytes);
  if (c.ask_used_default) {
    EXPECT_EQ(used, c.used_default ? 1 : 0);
  }
}

constexpr win::DWORD kNoBestFit = win::WC_NO_BEST_FIT_CHARS;
constexpr win::DWORD kStrict = win::WC_ERR_INVALID_CHARS;

INSTANTIATE_TEST_SUITE_P(
    Rows, FakeConversion,
    ::testing::Values(
        Conversion{"Utf8WithUsedDefault", 1252, win::CP_UTF8, 0, true, win::ERROR_INVALID_PARAMETER},
        Conversion{"Utf8WithNoBestFit", 1252, win::CP_UTF8, kNoBestFit, false, win::ERROR_INVALID_FLAGS},
        Conversion{"Utf8Strict", 1252, win::CP_UTF8, kStrict, false, std::nullopt, "J\xC4\x81\xE5\xBC\xA0"},
        Conversion{"AnsiUtf8WithUsedDefault", 65001, win::CP_ACP, 0, true, win::ERROR_INVALID_PARAMETER},
        Conversion{"AnsiUtf8WithNoBestFit", 65001, win::CP_ACP, kNoBestFit, false, win::ERROR_INVALID_FLAGS},
        Conversion{"AnsiUtf8Plain", 65001, win::CP_ACP, 0, false, std::nullopt, "J\xC4\x81\xE5\xBC\xA0"},
        Conversion{"Ansi1252Strict", 1252, win::CP_ACP, kStrict, true, win::ERROR_INVALID_FLAGS},
        // ā has a look-alike unless it is refused; 张 has none.
        Conversion{"Ansi1252LookAlike", 1252, win::CP_ACP, 0, true, std::nullopt, "Ja?", true},
        Conversion{"Ansi1252NoBestFit", 1252, win::CP_ACP, kNoBestFit, true, std::nullopt, "J??", true},
        Conversion{"Ansi1252ByNumber", 1252, 1252, kNoBestFit, true, std::nullopt, "J??", true},
        Conversion{"OtherCodePage", 1252, 437, 0, false, win::ERROR_INVALID_PARAMETER}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

class FakeCodePage : public SeamTest {};

TEST_F(FakeCodePage, Ansi936SpellsChineseInTwoBytes) {
  w().use_ansi_code_page(936);
  const std::u16string units = u"a张";
  win::BOOL used = 7;
  EXPECT_EQ(win::WideCharToMultiByte(win::CP_ACP, kNoBestFit, units.data(), 2, nullptr, 0, nullptr, &used), 3);
  EXPECT_EQ(used, 0);
  EXPECT_EQ(win::GetACP(), 936u);
}

// Windows takes the current folder's full path into a buffer of
// MAX_PATH - 1 units with its NUL, and wants an existing folder.
TEST_F(FakeCodePage, CreateProcessWRefusesACurrentFolderAsWindowsDoes) {
  const std::u16string program = u"C:\\Windows\\system32\\curl.exe";
  w().add_file(program);
  const auto start_in = [&](const std::u16string& folder) {
    std::u16string line = u"curl";
    win::STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    win::PROCESS_INFORMATION info{};
    const win::BOOL created = win::CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, 0, 0, nullptr,
                                                  folder.c_str(), &startup, &info);
    if (created) {
      win::CloseHandle(info.hProcess);
      win::CloseHandle(info.hThread);
      return win::DWORD{0};
    }
    return w().last_error();
  };
  // 258 units with the trailing backslash fit, 259 do not.
  const std::u16string base = u"C:\\long\\";
  const std::u16string fits = base + std::u16string(258 - base.size() - 1, u'a') + u"\\";
  const std::u16string too_long = base + std::u16string(259 - base.size() - 1, u'a') + u"\\";
  ASSERT_EQ(fits.size(), 258u);
  w().add_directory(fits.substr(0, fits.size() - 1));
  w().add_directory(too_long.substr(0, too_long.size() - 1));
  EXPECT_EQ(start_in(fits), 0u);
  EXPECT_EQ(w().created.back().current_directory, fits);
  EXPECT_EQ(start_in(too_long), win::ERROR_DIRECTORY);
  EXPECT_EQ(start_in(u"C:\\missing\\"), win::ERROR_DIRECTORY);
  EXPECT_EQ(start_in(program), win::ERROR_DIRECTORY);
  EXPECT_EQ(start_in(u"C:\\Windows"), 0u);
}

}  // namespace
}  // namespace vant
