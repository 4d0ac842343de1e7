#include "platform/system_error.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "fake_windows.h"
#include "platform/fail_fast.h"
#include "support/seam_test.h"

namespace vant {
namespace {

using testing::SeamTest;

class SystemErrorTest : public SeamTest {};

TEST_F(SystemErrorTest, KindsKeepTheirOrderAndNames) {
  EXPECT_EQ(kind_name(SystemErrorKind::NotFound), "NotFound");
  EXPECT_EQ(static_cast<int>(SystemErrorKind::InvalidInput), 20);
  EXPECT_EQ(kind_name(SystemErrorKind::InvalidInput), "InvalidInput");
  EXPECT_EQ(static_cast<int>(SystemErrorKind::WriteZero), 23);
  EXPECT_EQ(kind_name(SystemErrorKind::StaleNetworkFileHandle), "StaleNetworkFileHandle");
  EXPECT_EQ(kind_name(SystemErrorKind::Other), "Other");
  EXPECT_EQ(kind_name(SystemErrorKind::Uncategorized), "Uncategorized");
}

struct KindCase {
  std::int32_t code;
  SystemErrorKind kind;
};

class OsCodeKind : public ::testing::TestWithParam<KindCase> {};

TEST_P(OsCodeKind, FollowsTheTable) {
  EXPECT_EQ(SystemError::from_code(GetParam().code).kind(), GetParam().kind) << GetParam().code;
}

INSTANTIATE_TEST_SUITE_P(
    Table, OsCodeKind,
    ::testing::Values(
        KindCase{2, SystemErrorKind::NotFound}, KindCase{67, SystemErrorKind::NotFound},
        KindCase{5, SystemErrorKind::PermissionDenied}, KindCase{10013, SystemErrorKind::PermissionDenied},
        KindCase{14, SystemErrorKind::OutOfMemory}, KindCase{17, SystemErrorKind::CrossesDevices},
        KindCase{19, SystemErrorKind::ReadOnlyFilesystem}, KindCase{112, SystemErrorKind::StorageFull},
        KindCase{183, SystemErrorKind::AlreadyExists}, KindCase{87, SystemErrorKind::InvalidInput},
        KindCase{109, SystemErrorKind::BrokenPipe}, KindCase{232, SystemErrorKind::BrokenPipe},
        KindCase{120, SystemErrorKind::Unsupported}, KindCase{995, SystemErrorKind::TimedOut},
        KindCase{15403, SystemErrorKind::TimedOut}, KindCase{206, SystemErrorKind::InvalidFilename},
        KindCase{132, SystemErrorKind::NotSeekable}, KindCase{145, SystemErrorKind::DirectoryNotEmpty},
        KindCase{170, SystemErrorKind::ResourceBusy}, KindCase{223, SystemErrorKind::FileTooLarge},
        KindCase{267, SystemErrorKind::NotADirectory}, KindCase{336, SystemErrorKind::IsADirectory},
        KindCase{1131, SystemErrorKind::Deadlock}, KindCase{1142, SystemErrorKind::TooManyLinks},
        KindCase{10051, SystemErrorKind::NetworkUnreachable}, KindCase{1232, SystemErrorKind::HostUnreachable},
        KindCase{10069, SystemErrorKind::QuotaExceeded}, KindCase{1921, SystemErrorKind::FilesystemLoop},
        KindCase{10035, SystemErrorKind::WouldBlock}, KindCase{10048, SystemErrorKind::AddrInUse},
        KindCase{10049, SystemErrorKind::AddrNotAvailable}, KindCase{10050, SystemErrorKind::NetworkDown},
        KindCase{10053, SystemErrorKind::ConnectionAborted}, KindCase{10054, SystemErrorKind::ConnectionReset},
        KindCase{10057, SystemErrorKind::NotConnected}, KindCase{10061, SystemErrorKind::ConnectionRefused},
        // Not in the table: no category.
        KindCase{0, SystemErrorKind::Uncategorized}, KindCase{1, SystemErrorKind::Uncategorized},
        KindCase{193, SystemErrorKind::Uncategorized}, KindCase{-2, SystemErrorKind::Uncategorized},
        KindCase{static_cast<std::int32_t>(0xC0000005), SystemErrorKind::Uncategorized}));

TEST_F(SystemErrorTest, FixedMessagesKeepKindAndHaveNoCode) {
  EXPECT_EQ(errors::program_not_found.kind(), SystemErrorKind::NotFound);
  EXPECT_FALSE(errors::program_not_found.os_code().has_value());
  EXPECT_EQ(errors::program_not_found.display_text(), "program not found");
  EXPECT_EQ(errors::write_zero_buffered.kind(), SystemErrorKind::WriteZero);
  EXPECT_EQ(SystemError::from_code(6).os_code(), 6);
  // Showing a fixed message asks the system for nothing.
  EXPECT_EQ(w().format_calls.size(), 0u);
}

TEST_F(SystemErrorTest, FromLastErrorReadsTheThreadsLastError) {
  w().last_error() = 1455;
  EXPECT_EQ(SystemError::from_last_error(), SystemError::from_code(1455));
  w().last_error() = 0xC0000409;
  EXPECT_EQ(SystemError::from_last_error().os_code(), static_cast<std::int32_t>(0xC0000409));
}

// What FormatMessageW gives for a code, and the display text that results.
struct DisplayCase {
  const char* name;
  std::u16string message;  // the system's text for code 1234
  std::string display;     // display text of Os 1234
};

class OsDisplay : public SeamTest, public ::testing::WithParamInterface<DisplayCase> {};

TEST_P(OsDisplay, TrimsOnlyTrailingAsciiWhiteSpace) {
  w().system_messages[1234] = GetParam().message;
  EXPECT_EQ(SystemError::from_code(1234).display_text(), GetParam().display);
}

INSTANTIATE_TEST_SUITE_P(
    Messages, OsDisplay,
    ::testing::Values(DisplayCase{"CrLfTrimmed", u"Access is denied.\r\n", "Access is denied. (os error 1234)"},
                      DisplayCase{"AllTrailingKinds", u"x \t\n\f\r \r\n", "x (os error 1234)"},
                      DisplayCase{"OnlyWhiteSpace", u" \r\n\t", " (os error 1234)"},
                      DisplayCase{"VerticalTabKept", u"tab\v", "tab\v (os error 1234)"},
                      DisplayCase{"NonAsciiSpaceKept", u"ideographic\u3000", "ideographic\u3000 (os error 1234)"},
                      DisplayCase{"NothingTrimmedInFront", u" \tlead", " \tlead (os error 1234)"},
                      DisplayCase{"InnerLineBreakKept", u"one\r\ntwo\r\n", "one\r\ntwo (os error 1234)"},
                      DisplayCase{"Chinese", u"拒绝访问。\r\n", "拒绝访问。 (os error 1234)"},
                      DisplayCase{"SurrogatePair", u"\U0001F600\r\n", "\U0001F600 (os error 1234)"},
                      DisplayCase{"LoneHigh", std::u16string(u"a") + char16_t(0xD800) + u"b",
                                  "OS Error 1234 (FormatMessageW() returned invalid UTF-16) (os error 1234)"},
                      DisplayCase{"HighAtEnd", std::u16string(u"ab") + char16_t(0xDBFF),
                                  "OS Error 1234 (FormatMessageW() returned invalid UTF-16) (os error 1234)"},
                      DisplayCase{"LoneLow", std::u16string(u"a") + char16_t(0xDC00),
                                  "OS Error 1234 (FormatMessageW() returned invalid UTF-16) (os error 1234)"},
                      DisplayCase{"Reversed", std::u16string{char16_t(0xDC00), char16_t(0xD800)},
                                  "OS Error 1234 (FormatMessageW() returned invalid UTF-16) (os error 1234)"}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

TEST_F(SystemErrorTest, LookupUsesAZeroedBufferOf2048UnitsAndSystemFlags) {
  EXPECT_EQ(SystemError::from_code(2).display_text(), "The system cannot find the file specified. (os error 2)");
  ASSERT_EQ(w().format_calls.size(), 1u);
  const auto& call = w().format_calls[0];
  EXPECT_EQ(call.flags, 0x1200u);
  EXPECT_EQ(call.source, win::NULL_MODULE);
  EXPECT_EQ(call.message_id, 2u);
  EXPECT_EQ(call.language, 0u);
  EXPECT_EQ(call.size, 2048u);
  EXPECT_TRUE(call.arguments_null);
  EXPECT_TRUE(call.buffer_zeroed);
  EXPECT_EQ(w().count_calls("GetModuleHandleW"), 0u);
}

TEST_F(SystemErrorTest, UnknownCodeShowsTheLookupFailureThenTheSuffix) {
  EXPECT_EQ(SystemError::from_code(4321).display_text(),
            "OS Error 4321 (FormatMessageW() returned error 317) (os error 4321)");
}

TEST_F(SystemErrorTest, CodesAreSignedDecimal) {
  // 0xC0000005 has bit 28 clear: an ordinary system lookup of a negative code.
  EXPECT_EQ(SystemError::from_code(static_cast<std::int32_t>(0xC0000005)).display_text(),
            "OS Error -1073741819 (FormatMessageW() returned error 317) (os error -1073741819)");
  EXPECT_EQ(w().format_calls.back().message_id, 0xC0000005u);
  EXPECT_EQ(signed_decimal(static_cast<std::int32_t>(0xFFFFFFFF)), "-1");
  EXPECT_EQ(signed_decimal(22), "22");
  EXPECT_EQ(signed_decimal(INT32_MIN), "-2147483648");
}

TEST_F(SystemErrorTest, NativeStatusWithNtdllIsLookedUpThereWithoutBit28) {
  const auto code = static_cast<std::int32_t>(0xD0000005);  // HRESULT_FROM_NT(0xC0000005)
  w().ntdll_messages[0xC0000005] = u"Native text.\r\n";
  EXPECT_EQ(SystemError::from_code(code).display_text(), "Native text. (os error -805306363)");
  ASSERT_EQ(w().format_calls.size(), 1u);
  EXPECT_EQ(w().format_calls[0].flags, 0x1A00u);
  EXPECT_NE(w().format_calls[0].source, win::NULL_MODULE);
  EXPECT_EQ(w().format_calls[0].message_id, 0xC0000005u);
  EXPECT_THAT(w().calls, ::testing::Contains("GetModuleHandleW(NTDLL.DLL)"));
}

TEST_F(SystemErrorTest, NativeStatusWhoseLookupFailsShowsBothForms) {
  w().ntdll_messages.clear();
  EXPECT_EQ(SystemError::from_code(static_cast<std::int32_t>(0xD0000005)).display_text(),
            "OS Error -1073741819 (FormatMessageW() returned error 317) (os error -805306363)");
}

// FormatMessageW looks in the system's table when the module has no such
// message: the code without bit 28 may have a system text of its own.
TEST_F(SystemErrorTest, NativeStatusUnknownToNtdllFallsBackToTheSystemTable) {
  w().ntdll_messages.clear();
  EXPECT_EQ(SystemError::from_code(0x10000005).display_text(), "Access is denied. (os error 268435461)");
  ASSERT_EQ(w().format_calls.size(), 1u);
  EXPECT_EQ(w().format_calls[0].flags, 0x1A00u);
  EXPECT_EQ(w().format_calls[0].message_id, 5u);
}

TEST_F(SystemErrorTest, NativeStatusWithoutNtdllKeepsFlagsAndCode) {
  w().ntdll_loaded = false;
  EXPECT_EQ(SystemError::from_code(static_cast<std::int32_t>(0xD0000005)).display_text(),
            "OS Error -805306363 (FormatMessageW() returned error 317) (os error -805306363)");
  ASSERT_EQ(w().format_calls.size(), 1u);
  EXPECT_EQ(w().format_calls[0].flags, 0x1200u);
  EXPECT_EQ(w().format_calls[0].message_id, 0xD0000005u);
}

TEST_F(SystemErrorTest, DisplayPiecesAreDescriptionSuffixCodeAndParenthesis) {
  const ErrorDisplay shown = SystemError::from_code(5).display();
  const TextPieces pieces = shown.pieces();
  ASSERT_EQ(pieces.pieces().size(), 4u);
  EXPECT_EQ(pieces.pieces()[0], "Access is denied.");
  EXPECT_EQ(pieces.pieces()[1], " (os error ");
  EXPECT_EQ(pieces.pieces()[2], "5");
  EXPECT_EQ(pieces.pieces()[3], ")");
  const ErrorDisplay fixed = errors::nul_in_data.display();
  ASSERT_EQ(fixed.pieces().pieces().size(), 1u);
}

TEST_F(SystemErrorTest, DiagnosticOfOsAndFixed) {
  EXPECT_EQ(SystemError::from_code(2).diagnostic_text(),
            "Os { code: 2, kind: NotFound, message: \"The system cannot find the file specified.\" }");
  EXPECT_EQ(errors::program_not_found.diagnostic_text(), "Error { kind: NotFound, message: \"program not found\" }");
  EXPECT_EQ(errors::bad_windows_file_name.diagnostic_text(),
            "Error { kind: InvalidInput, message: \"Windows file names may not contain `\\\"` or end with `\\\\`\" }");
  w().system_messages[77] = u"one\r\ntwo\r\n";
  EXPECT_EQ(SystemError::from_code(77).diagnostic_text(),
            "Os { code: 77, kind: Uncategorized, message: \"one\\r\\ntwo\" }");
  // -5 is 0xFFFFFFFB: bit 28 is set, so ntdll is asked for 0xEFFFFFFB.
  EXPECT_EQ(SystemError::from_code(-5).diagnostic_text(),
            "Os { code: -5, kind: Uncategorized, message: \"OS Error -268435461 (FormatMessageW() returned error "
            "317)\" }");
}

struct QuoteCase {
  std::string text;
  std::string quoted;
};

class Quoting : public ::testing::TestWithParam<QuoteCase> {};

TEST_P(Quoting, EscapesControlsAndCombiningMarksOnly) {
  std::string out;
  append_quoted(out, GetParam().text);
  EXPECT_EQ(out, GetParam().quoted);
}

INSTANTIATE_TEST_SUITE_P(
    Characters, Quoting,
    ::testing::Values(QuoteCase{"plain", "\"plain\""}, QuoteCase{"", "\"\""}, QuoteCase{"\t\r\n", "\"\\t\\r\\n\""},
                      QuoteCase{std::string("a\0b", 3), "\"a\\0b\""}, QuoteCase{"say \"hi\"", "\"say \\\"hi\\\"\""},
                      QuoteCase{"C:\\x", "\"C:\\\\x\""}, QuoteCase{"it's", "\"it's\""},
                      QuoteCase{"拒绝访问。", "\"拒绝访问。\""}, QuoteCase{"\U0001F600", "\"\U0001F600\""},
                      // C0, DEL, C1 and the separators.
                      QuoteCase{"\x01\x1b\x1f", "\"\\u{1}\\u{1b}\\u{1f}\""}, QuoteCase{"\x7f", "\"\\u{7f}\""},
                      QuoteCase{"\u0085\u009f", "\"\\u{85}\\u{9f}\""}, QuoteCase{"\v\f", "\"\\u{b}\\u{c}\""},
                      QuoteCase{"\u2028\u2029", "\"\\u{2028}\\u{2029}\""},
                      // Format characters.
                      QuoteCase{"\u200b\u200e\u202e\ufeff\u00ad", "\"\\u{200b}\\u{200e}\\u{202e}\\u{feff}\\u{ad}\""},
                      QuoteCase{"\U000E0001", "\"\\u{e0001}\""},
                      // Combining marks, even after a base character.
                      QuoteCase{"e\u0301", "\"e\\u{301}\""}, QuoteCase{"\u20dd", "\"\\u{20dd}\""},
                      QuoteCase{"か\u3099", "\"か\\u{3099}\""}, QuoteCase{"\ufe0f", "\"\\u{fe0f}\""},
                      QuoteCase{"\U000E0100", "\"\\u{e0100}\""},
                      // Messages of localised systems stay readable: accents,
                      // the no-break space of French punctuation, Greek,
                      // Cyrillic, Hangul, kana and CJK are written as they are.
                      QuoteCase{"Accès refusé\u00a0: fichier spécifié introuvable.",
                                "\"Accès refusé\u00a0: fichier spécifié introuvable.\""},
                      QuoteCase{"Δεν επιτρέπεται η πρόσβαση. Отказано в доступе.",
                                "\"Δεν επιτρέπεται η πρόσβαση. Отказано в доступе.\""},
                      QuoteCase{"액세스가 거부되었습니다. アクセスが拒否されました。拒绝访问。",
                                "\"액세스가 거부되었습니다. アクセスが拒否されました。拒绝访问。\""},
                      // An ill-formed byte (never produced by the program) shows as U+FFFD.
                      QuoteCase{"a\xff", "\"a\uFFFD\""}));

TEST_F(SystemErrorTest, InternalFailureWritesTheReportAndFailsFastWith7) {
  auto streams = w().use_byte_streams();
  try {
    internal_failure_unwrap(errors::program_not_found);
    FAIL() << "returned";
  } catch (const fake::FailedFast& end) {
    EXPECT_EQ(end.code, 7u);
  }
  EXPECT_EQ(streams.error->written,
            "called `Result::unwrap()` on an `Err` value: Error { kind: NotFound, message: \"program not found\" }\n");
  EXPECT_EQ(streams.output->written, "");
  EXPECT_TRUE(w().exits.empty());  // no clean-up, no ExitProcess
}

TEST_F(SystemErrorTest, InternalFailureWithoutErrorStreamStillFailsFast) {
  w().std_error = win::NULL_HANDLE;
  EXPECT_THROW(internal_failure("internal error: entered unreachable code"), fake::FailedFast);
  w().std_error = win::INVALID_HANDLE_VALUE;
  EXPECT_THROW(internal_failure("internal error: entered unreachable code"), fake::FailedFast);
}

}  // namespace
}  // namespace vant
