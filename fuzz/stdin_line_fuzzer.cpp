// Skipping lines of standard input, as the Enter prompt does: skip_stdin_line
// called several times over scripted reads of standard input: from a file
// or pipe (data of any bytes and lengths, end of file, broken pipes, errors,
// reads that complete late or never), from a console (UTF-16 units with
// pairs split between reads, lone surrogates, Ctrl-Z, cancelled reads,
// failures), or with no usable handle.
//
// A model of the rules, written here, says what each skip must return: the
// lines consumed, one after the other, are the input up to the point
// consumed; each ends at its first line feed (or at the end of input) and
// counts the UTF-8 bytes it held (a console's units converted); nothing is
// checked for UTF-8; read failures come back as themselves; a read that
// never completes ends the process with its report.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <expected>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "console/stdin_line.h"
#include "fake_windows.h"
#include "platform/system_error.h"
#include "support/fuzz_support.h"

namespace vant::fuzz {
namespace {

using ReadAnswer = fake::ByteStream::ReadAnswer;
using ConsoleRead = fake::Console::Read;

enum class InputKind { Bytes, Console, Missing, BadHandle };

constexpr std::size_t kBufferSize = 12288;   // the input buffer
constexpr std::size_t kConsoleUnits = 4096;  // units one console read asks for
constexpr char16_t kCtrlZ = 0x1A;

struct Scenario {
  InputKind kind = InputKind::Bytes;
  win::DWORD handle_error = win::ERROR_INVALID_HANDLE;
  std::deque<ReadAnswer> byte_reads;
  std::deque<ConsoleRead> console_reads;
  win::DWORD console_error_when_empty = win::ERROR_INVALID_HANDLE;
  int skips = 1;
};

// ---- Input ---------------------------------------------------------------

using namespace std::string_view_literals;
constexpr std::string_view kPieces[] = {
    "a",    "b",        "\n",   "\r\n",     "\xC3\xA9",     "\xE4\xB8\xAD", "\xF0\x9F\x98\x80",
    "\xFF", "\xE4\xB8", "\x80", "\xC0\xAF", "\xED\xA0\x80", "\0"sv};

std::string make_bytes(FuzzedDataProvider& in) {
  std::string bytes;
  const int count = in.ConsumeIntegralInRange(0, 16);
  for (int i = 0; i < count; ++i) {
    switch (in.ConsumeIntegralInRange(0, 5)) {
      case 0: bytes += in.ConsumeBytesAsString(in.ConsumeIntegralInRange<std::size_t>(0, 12)); break;
      case 1: {  // long: over a read, over the buffer
        static constexpr std::size_t kLengths[] = {5000, 12287, 12288, 13000};
        const std::size_t target = in.PickValueInArray(kLengths);
        const std::string unit = bytes.empty() ? std::string("x") : bytes;
        while (bytes.size() < target) bytes += unit;
        bytes.resize(target);
        break;
      }
      default: bytes += in.PickValueInArray(kPieces);
    }
  }
  return bytes;
}

std::u16string make_units(FuzzedDataProvider& in) {
  const std::string bytes = in.ConsumeRandomLengthString(64);
  std::u16string units;
  const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
  for (const std::u16string& text : read_unit_texts(data, bytes.size())) units += text;
  if (in.ConsumeIntegralInRange(0, 7) == 0) {  // longer than one read: split by the console
    static constexpr std::size_t kLengths[] = {4095, 4096, 4097, 9000};
    const std::size_t target = in.PickValueInArray(kLengths);
    const std::u16string unit = units.empty() ? std::u16string(u"\u4E2D") : units;
    while (units.size() < target) units += unit;
    units.resize(target);
  }
  switch (in.ConsumeIntegralInRange(0, 3)) {
    case 0: units += u"\r\n"; break;
    case 1: units += kCtrlZ; break;
    default: break;
  }
  return units;
}

Scenario make_scenario(FuzzedDataProvider& in) {
  Scenario s;
  switch (in.ConsumeIntegralInRange(0, 9)) {
    case 0: s.kind = InputKind::Missing; break;
    case 1: s.kind = InputKind::BadHandle; break;
    case 2:
    case 3:
    case 4:
    case 5: s.kind = InputKind::Console; break;
    default: s.kind = InputKind::Bytes;
  }
  static constexpr win::DWORD kCodes[] = {win::ERROR_INVALID_HANDLE, win::ERROR_ACCESS_DENIED,
                                          win::ERROR_OPERATION_ABORTED, 31};
  s.handle_error = in.PickValueInArray(kCodes);
  s.console_error_when_empty = in.PickValueInArray(kCodes);

  const int reads = in.ConsumeIntegralInRange(0, 12);
  for (int r = 0; r < reads; ++r) {
    if (s.kind == InputKind::Console) {
      ConsoleRead read;
      switch (in.ConsumeIntegralInRange(0, 9)) {
        case 0: read.cancelled = true; break;
        case 1: read.fail = in.PickValueInArray(kCodes); break;
        default: read.units = make_units(in);
      }
      s.console_reads.push_back(std::move(read));
    } else {
      ReadAnswer read;
      switch (in.ConsumeIntegralInRange(0, 15)) {
        case 0: read.status = win::STATUS_END_OF_FILE; break;
        case 1: read.status = win::STATUS_PIPE_BROKEN; break;
        case 2: read.status = static_cast<win::NTSTATUS>(0xC00000B1); break;  // pipe closing: 232
        case 3: read.status = win::STATUS_INVALID_HANDLE; break;
        case 4: read.status = static_cast<win::NTSTATUS>(0xC0000022); break;  // access denied: 5
        case 5: read.status = static_cast<win::NTSTATUS>(0xC0000120); break;  // cancelled: 995
        case 6: read.status = static_cast<win::NTSTATUS>(0xC0001234); break;  // no code of its own
        case 7:
          read.pending = true;
          read.still_pending = true;
          break;
        default: read.bytes = make_bytes(in);
      }
      if (!read.still_pending) read.pending = in.ConsumeBool();
      s.byte_reads.push_back(std::move(read));
    }
  }
  s.skips = in.ConsumeIntegralInRange(1, 8);
  return s;
}

// ---- The model -----------------------------------------------------------

struct Fill {
  enum Kind { Bytes, Failed, NeverCompletes } kind = Bytes;
  std::string bytes{};  // none: end of input
  std::optional<SystemError> error{};
};

struct Model {
  Scenario s;
  std::string buffer;  // bytes read and not handed out: buffer[pos..]
  std::size_t pos = 0;
  char16_t held_surrogate = 0;

  static bool means_no_stream(const SystemError& error) {
    return error.os_code() == static_cast<std::int32_t>(win::ERROR_INVALID_HANDLE);
  }

  Fill read_bytes() {
    ReadAnswer answer;
    if (s.byte_reads.empty()) {
      answer.status = win::STATUS_END_OF_FILE;
    } else {
      answer = s.byte_reads.front();
      s.byte_reads.pop_front();
    }
    if (answer.pending && answer.still_pending) return {Fill::NeverCompletes};
    if (answer.status == win::STATUS_END_OF_FILE) return {};
    if (answer.status >= 0) return {Fill::Bytes, answer.bytes.substr(0, kBufferSize)};
    const SystemError error =
        SystemError::from_code(static_cast<std::int32_t>(win::RtlNtStatusToDosError(answer.status)));
    // The writer of a pipe has gone: nothing more will come.
    if (error.os_code() == 109 || error.os_code() == 232) return {};
    return {Fill::Failed, {}, error};
  }

  Fill read_console() {
    std::u16string units;
    if (held_surrogate != 0) units += held_surrogate;
    held_surrogate = 0;
    const std::size_t room = kConsoleUnits - units.size();
    std::u16string delivered;
    for (;;) {
      if (s.console_reads.empty()) {
        return {Fill::Failed, {}, SystemError::from_code(static_cast<std::int32_t>(s.console_error_when_empty))};
      }
      ConsoleRead read = s.console_reads.front();
      s.console_reads.pop_front();
      if (read.fail) return {Fill::Failed, {}, SystemError::from_code(static_cast<std::int32_t>(*read.fail))};
      if (read.cancelled) continue;  // Ctrl-C: asked again
      if (read.units.size() > room) {
        // The rest stays in the console for the next read.
        s.console_reads.push_front(ConsoleRead{read.units.substr(room)});
        read.units.resize(room);
      }
      delivered = read.units;
      break;
    }
    if (!delivered.empty() && delivered.back() == kCtrlZ) delivered.pop_back();
    units += delivered;
    if (!units.empty() && is_high_surrogate(units.back())) {
      held_surrogate = units.back();
      units.pop_back();
    }
    std::string bytes;
    for (std::size_t i = 0; i < units.size(); ++i) {
      if (is_high_surrogate(units[i]) && i + 1 < units.size() && is_low_surrogate(units[i + 1])) {
        append_utf8(bytes, 0x10000 + ((char32_t(units[i]) - 0xD800) << 10) + (char32_t(units[i + 1]) - 0xDC00));
        ++i;
      } else if (is_high_surrogate(units[i]) || is_low_surrogate(units[i])) {
        return {Fill::Failed, {}, errors::unpaired_surrogate_input};
      } else {
        append_utf8(bytes, units[i]);
      }
    }
    return {Fill::Bytes, bytes};
  }

  Fill fill() {
    Fill read;
    switch (s.kind) {
      case InputKind::Missing: return {};
      case InputKind::BadHandle:
        read = {Fill::Failed, {}, SystemError::from_code(static_cast<std::int32_t>(s.handle_error))};
        break;
      case InputKind::Console: read = read_console(); break;
      case InputKind::Bytes: read = read_bytes(); break;
    }
    // A stream the process does not have, or whose handle is not valid,
    // is at its end.
    if (read.kind == Fill::Failed && means_no_stream(*read.error)) return {};
    return read;
  }

  // The next line, up to and including its line feed or to the end of
  // input, and the read failure that ended it early; nothing when a read
  // never completes.
  struct Line {
    std::string bytes;
    std::optional<SystemError> error;
  };
  std::optional<Line> take_line() {
    Line line;
    for (;;) {
      if (pos == buffer.size()) {
        Fill read = fill();
        if (read.kind == Fill::NeverCompletes) return std::nullopt;
        buffer = std::move(read.bytes);
        pos = 0;
        if (read.kind == Fill::Failed) {
          line.error = read.error;
          return line;
        }
      }
      const std::string_view available = std::string_view(buffer).substr(pos);
      const std::size_t line_feed = available.find('\n');
      if (line_feed != std::string_view::npos) {
        line.bytes += available.substr(0, line_feed + 1);
        pos += line_feed + 1;
        return line;
      }
      line.bytes += available;
      pos = buffer.size();
      if (available.empty()) return line;
    }
  }

  using Result = std::expected<std::size_t, SystemError>;

  // A skip's result; nothing when the process must end.
  std::optional<Result> skip_line() {
    const std::optional<Line> line = take_line();
    if (!line) return std::nullopt;
    if (line->error) return std::unexpected(*line->error);
    return line->bytes.size();
  }
};

std::string show_result(const std::expected<std::size_t, SystemError>& result) {
  return result ? std::to_string(*result) : "\"" + result.error().display_text() + "\"";
}

}  // namespace
}  // namespace vant::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace vant;
  using namespace vant::fuzz;
  FuzzedDataProvider in(data, size);
  const Scenario s = make_scenario(in);

  const FreshProcess process;
  auto& w = fake::world();
  const auto error_stream = std::make_shared<fake::ByteStream>();
  w.std_error = w.add_stream(error_stream);
  w.std_handle_error = s.handle_error;
  switch (s.kind) {
    case InputKind::Missing: w.std_input = win::NULL_HANDLE; break;
    case InputKind::BadHandle: w.std_input = win::INVALID_HANDLE_VALUE; break;
    case InputKind::Console: {
      auto console = std::make_shared<fake::Console>();
      console->reads = s.console_reads;
      console->read_error_when_empty = s.console_error_when_empty;
      w.std_input = w.add_console(console);
      break;
    }
    case InputKind::Bytes: {
      auto stream = std::make_shared<fake::ByteStream>();
      stream->read_answers = s.byte_reads;
      w.std_input = w.add_stream(stream);
      break;
    }
  }

  Model model{s, {}, 0, 0};
  for (int call = 0; call < s.skips; ++call) {
    const std::optional<Model::Result> expected = model.skip_line();
    std::optional<Model::Result> result;
    bool ended_fast = false;
    try {
      result = skip_stdin_line();
    } catch (const fake::FailedFast& failed) {
      FUZZ_CHECK(failed.code == 7, "fail-fast code " + std::to_string(failed.code));
      ended_fast = true;
    }
    const auto context = [&] {
      return "skip " + std::to_string(call) + ": result " +
             (result ? show_result(*result) : std::string("(ended the process)")) + "\nexpected " +
             (expected ? show_result(*expected) : std::string("the process to end"));
    };
    FUZZ_CHECK(ended_fast == !expected.has_value(), context());
    if (ended_fast) {
      FUZZ_CHECK(error_stream->written ==
                     "fatal runtime error: I/O error: operation failed to complete synchronously, aborting\n",
                 context() + "\nreport " + show(error_stream->written));
      break;
    }
    FUZZ_CHECK(*result == *expected, context());
  }
  FUZZ_CHECK(error_stream->written.empty() || error_stream->written.starts_with("fatal runtime error"),
             "unexpected report " + show(error_stream->written));
  return 0;
}
