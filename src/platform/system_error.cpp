#include "platform/system_error.h"

#include <array>
#include <charconv>
#include <cstdint>
#include <span>

#include "platform/fail_fast.h"
#include "platform/unicode.h"
#include "platform/win_api.h"

namespace vant {
namespace {

// clang-format off
constexpr std::array<std::string_view, kSystemErrorKindCount> kKindNames = {
    "NotFound",           "PermissionDenied",     "ConnectionRefused",
    "ConnectionReset",    "HostUnreachable",      "NetworkUnreachable",
    "ConnectionAborted",  "NotConnected",         "AddrInUse",
    "AddrNotAvailable",   "NetworkDown",          "BrokenPipe",
    "AlreadyExists",      "WouldBlock",           "NotADirectory",
    "IsADirectory",       "DirectoryNotEmpty",    "ReadOnlyFilesystem",
    "FilesystemLoop",     "StaleNetworkFileHandle", "InvalidInput",
    "InvalidData",        "TimedOut",             "WriteZero",
    "StorageFull",        "NotSeekable",          "QuotaExceeded",
    "FileTooLarge",       "ResourceBusy",         "ExecutableFileBusy",
    "Deadlock",           "CrossesDevices",       "TooManyLinks",
    "InvalidFilename",    "ArgumentListTooLong",  "Interrupted",
    "Unsupported",        "UnexpectedEof",        "OutOfMemory",
    "InProgress",         "Other",                "Uncategorized",
};
// clang-format on
static_assert(static_cast<std::size_t>(SystemErrorKind::Uncategorized) + 1 == kSystemErrorKindCount);

struct CodeKind {
  std::int32_t code;
  SystemErrorKind kind;
};

// Windows codes with a category; everything else is Uncategorized.
constexpr CodeKind kCodeKinds[] = {
    {2, SystemErrorKind::NotFound},
    {3, SystemErrorKind::NotFound},
    {15, SystemErrorKind::NotFound},
    {53, SystemErrorKind::NotFound},
    {67, SystemErrorKind::NotFound},
    {5, SystemErrorKind::PermissionDenied},
    {10013, SystemErrorKind::PermissionDenied},
    {8, SystemErrorKind::OutOfMemory},
    {14, SystemErrorKind::OutOfMemory},
    {17, SystemErrorKind::CrossesDevices},
    {19, SystemErrorKind::ReadOnlyFilesystem},
    {39, SystemErrorKind::StorageFull},
    {112, SystemErrorKind::StorageFull},
    {80, SystemErrorKind::AlreadyExists},
    {183, SystemErrorKind::AlreadyExists},
    {87, SystemErrorKind::InvalidInput},
    {10022, SystemErrorKind::InvalidInput},
    {109, SystemErrorKind::BrokenPipe},
    {232, SystemErrorKind::BrokenPipe},
    {120, SystemErrorKind::Unsupported},
    {121, SystemErrorKind::TimedOut},
    {258, SystemErrorKind::TimedOut},
    {594, SystemErrorKind::TimedOut},
    {995, SystemErrorKind::TimedOut},
    {1053, SystemErrorKind::TimedOut},
    {1121, SystemErrorKind::TimedOut},
    {1460, SystemErrorKind::TimedOut},
    {5910, SystemErrorKind::TimedOut},
    {7012, SystemErrorKind::TimedOut},
    {7040, SystemErrorKind::TimedOut},
    {8014, SystemErrorKind::TimedOut},
    {8226, SystemErrorKind::TimedOut},
    {9705, SystemErrorKind::TimedOut},
    {10060, SystemErrorKind::TimedOut},
    {13805, SystemErrorKind::TimedOut},
    {15402, SystemErrorKind::TimedOut},
    {15403, SystemErrorKind::TimedOut},
    {123, SystemErrorKind::InvalidFilename},
    {161, SystemErrorKind::InvalidFilename},
    {206, SystemErrorKind::InvalidFilename},
    {132, SystemErrorKind::NotSeekable},
    {145, SystemErrorKind::DirectoryNotEmpty},
    {170, SystemErrorKind::ResourceBusy},
    {223, SystemErrorKind::FileTooLarge},
    {267, SystemErrorKind::NotADirectory},
    {336, SystemErrorKind::IsADirectory},
    {1131, SystemErrorKind::Deadlock},
    {1142, SystemErrorKind::TooManyLinks},
    {1231, SystemErrorKind::NetworkUnreachable},
    {10051, SystemErrorKind::NetworkUnreachable},
    {1232, SystemErrorKind::HostUnreachable},
    {10065, SystemErrorKind::HostUnreachable},
    {1295, SystemErrorKind::QuotaExceeded},
    {10069, SystemErrorKind::QuotaExceeded},
    {1921, SystemErrorKind::FilesystemLoop},
    {10035, SystemErrorKind::WouldBlock},
    {10048, SystemErrorKind::AddrInUse},
    {10049, SystemErrorKind::AddrNotAvailable},
    {10050, SystemErrorKind::NetworkDown},
    {10053, SystemErrorKind::ConnectionAborted},
    {10054, SystemErrorKind::ConnectionReset},
    {10057, SystemErrorKind::NotConnected},
    {10061, SystemErrorKind::ConnectionRefused},
};

struct Range {
  char32_t first;
  char32_t last;
};

// Characters written as \u{...} in the diagnostic form besides the C0 and C1
// controls and DEL. The rule is deliberately small:
// - the line and paragraph separators;
// - the format characters (general category Cf) of Unicode 15;
// - the grapheme-extending characters that matter in practice: the combining
//   mark blocks, the kana voiced sound marks and the variation selectors.
// clang-format off
constexpr Range kEscapedRanges[] = {
    {0x00AD, 0x00AD},   {0x0300, 0x036F},   {0x0600, 0x0605},   {0x061C, 0x061C},
    {0x06DD, 0x06DD},   {0x070F, 0x070F},   {0x0890, 0x0891},   {0x08E2, 0x08E2},
    {0x180E, 0x180E},   {0x1AB0, 0x1AFF},   {0x1DC0, 0x1DFF},   {0x200B, 0x200F},
    {0x2028, 0x202E},   {0x2060, 0x2064},   {0x2066, 0x206F},   {0x20D0, 0x20FF},
    {0x3099, 0x309A},   {0xFE00, 0xFE0F},   {0xFE20, 0xFE2F},   {0xFEFF, 0xFEFF},
    {0xFFF9, 0xFFFB},   {0x110BD, 0x110BD}, {0x110CD, 0x110CD}, {0x13430, 0x1343F},
    {0x1BCA0, 0x1BCA3}, {0x1D173, 0x1D17A}, {0xE0001, 0xE0001}, {0xE0020, 0xE007F},
    {0xE0100, 0xE01EF},
};
// clang-format on

bool needs_unicode_escape(char32_t c) {
  if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) return true;
  for (const Range& range : kEscapedRanges) {
    if (c >= range.first && c <= range.last) return true;
  }
  return false;
}

void append_hex_escape(std::string& out, char32_t c) {
  char digits[8];
  const auto result = std::to_chars(digits, digits + sizeof digits, static_cast<std::uint32_t>(c), 16);
  out.append("\\u{");
  out.append(digits, result.ptr);
  out.push_back('}');
}

void append_signed(std::string& out, std::int32_t value) {
  char digits[12];
  const auto result = std::to_chars(digits, digits + sizeof digits, value);
  out.append(digits, result.ptr);
}

}  // namespace

std::string_view kind_name(SystemErrorKind kind) { return kKindNames[static_cast<std::size_t>(kind)]; }

SystemErrorKind kind_of_os_code(std::int32_t code) {
  for (const CodeKind& entry : kCodeKinds) {
    if (entry.code == code) return entry.kind;
  }
  return SystemErrorKind::Uncategorized;
}

SystemError SystemError::from_last_error() { return from_code(static_cast<std::int32_t>(win::GetLastError())); }

SystemErrorKind SystemError::kind() const { return is_os_ ? kind_of_os_code(code_) : kind_; }

std::optional<std::int32_t> SystemError::os_code() const {
  if (!is_os_) return std::nullopt;
  return code_;
}

TextPieces ErrorDisplay::pieces() const {
  if (!is_os_) return TextPieces(fixed_message_);
  return TextPieces{description_, " (os error ", std::string_view(code_digits_, code_length_), ")"};
}

ErrorDisplay SystemError::display() const {
  ErrorDisplay shown;
  shown.is_os_ = is_os_;
  if (!is_os_) {
    shown.fixed_message_ = message_;
    return shown;
  }
  shown.description_ = describe_os_code(code_);
  const auto result = std::to_chars(shown.code_digits_, shown.code_digits_ + sizeof shown.code_digits_, code_);
  shown.code_length_ = static_cast<std::size_t>(result.ptr - shown.code_digits_);
  return shown;
}

std::string SystemError::display_text() const {
  const ErrorDisplay shown = display();
  const TextPieces pieces = shown.pieces();
  std::string text;
  for (const std::string_view piece : pieces.pieces()) text.append(piece);
  return text;
}

std::string SystemError::diagnostic_text() const {
  std::string out;
  if (is_os_) {
    out.append("Os { code: ");
    append_signed(out, code_);
    out.append(", kind: ");
    out.append(kind_name(kind()));
    out.append(", message: ");
    append_quoted(out, describe_os_code(code_));
  } else {
    out.append("Error { kind: ");
    out.append(kind_name(kind_));
    out.append(", message: ");
    append_quoted(out, message_);
  }
  out.append(" }");
  return out;
}

void append_quoted(std::string& out, std::string_view text) {
  out.push_back('"');
  std::size_t i = 0;
  while (i < text.size()) {
    std::size_t length = 1;
    const char32_t c = decode_utf8_at(text, i, length);
    switch (c) {
      case U'\t': out.append("\\t"); break;
      case U'\r': out.append("\\r"); break;
      case U'\n': out.append("\\n"); break;
      case U'\0': out.append("\\0"); break;
      case U'"': out.append("\\\""); break;
      case U'\\': out.append("\\\\"); break;
      default:
        if (needs_unicode_escape(c)) {
          append_hex_escape(out, c);
        } else if (c == 0xFFFD && length == 1) {
          append_utf8(out, c);  // an ill-formed byte shows as U+FFFD
        } else {
          out.append(text.substr(i, length));
        }
    }
    i += length;
  }
  out.push_back('"');
}

std::string signed_decimal(std::int32_t value) {
  std::string out;
  append_signed(out, value);
  return out;
}

std::string describe_os_code(std::int32_t code) {
  constexpr win::DWORD kBufferUnits = 2048;
  char16_t buffer[kBufferUnits] = {};

  win::DWORD flags = win::FORMAT_MESSAGE_FROM_SYSTEM | win::FORMAT_MESSAGE_IGNORE_INSERTS;
  win::HMODULE source = win::NULL_MODULE;
  std::int32_t looked_up = code;

  // Native status codes (facility bit 28) have their texts in ntdll's
  // message table, under the code without that bit.
  constexpr std::uint32_t kNtFacilityBit = 0x10000000;
  if ((static_cast<std::uint32_t>(code) & kNtFacilityBit) != 0) {
    const win::HMODULE ntdll = win::GetModuleHandleW(u"NTDLL.DLL");
    if (ntdll != win::NULL_MODULE) {
      looked_up = static_cast<std::int32_t>(static_cast<std::uint32_t>(code) & ~kNtFacilityBit);
      flags |= win::FORMAT_MESSAGE_FROM_HMODULE;
      source = ntdll;
    }
  }

  const win::DWORD count =
      win::FormatMessageW(flags, source, static_cast<win::DWORD>(looked_up), 0, buffer, kBufferUnits, nullptr);
  std::string text;
  if (count == 0) {
    const auto lookup_error = static_cast<std::int32_t>(win::GetLastError());
    text.append("OS Error ");
    append_signed(text, looked_up);
    text.append(" (FormatMessageW() returned error ");
    append_signed(text, lookup_error);
    text.push_back(')');
    return text;
  }

  const std::size_t units = count < kBufferUnits ? count : kBufferUnits;
  if (!append_utf8_from_utf16(text, std::span<const char16_t>(buffer, units))) {
    text.clear();
    text.append("OS Error ");
    append_signed(text, looked_up);
    text.append(" (FormatMessageW() returned invalid UTF-16)");
    return text;
  }

  // Messages end in CR LF; vertical tab and non-ASCII spaces are kept.
  while (!text.empty()) {
    const char last = text.back();
    if (last != '\t' && last != '\n' && last != '\f' && last != '\r' && last != ' ') break;
    text.pop_back();
  }
  return text;
}

}  // namespace vant
