// Console output: prints of arbitrary text, cut into prints and pieces at
// arbitrary bytes (so characters are split between writes and carried), to
// the output and error streams, each on a console (any code page, accepting
// any number of units per call), a byte stream (partial, pending and failing
// writes), no stream, or a handle that cannot be fetched.
//
// The expected result is worked out by a model of the rules written here:
// which bytes reach each stream and when (the output stream's line buffer),
// what a console shows (exactly the UTF-16 of the valid UTF-8 that reached
// it), what a byte stream receives (exactly the bytes), and which failures
// end the process with which report. The screens, the streams' bytes and the
// way the process ended must all match.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "console/output.h"
#include "fake_windows.h"
#include "platform/process_exit.h"
#include "platform/system_error.h"
#include "platform/text_pieces.h"
#include "support/fuzz_support.h"

namespace vant::fuzz {
namespace {

using WriteAnswer = fake::ByteStream::WriteAnswer;

enum class SinkKind { Console, Bytes, Missing, BadHandle };

// ---- Input ---------------------------------------------------------------

struct Print {
  bool to_error = false;
  std::vector<std::string> pieces;
};

struct Scenario {
  SinkKind out_kind = SinkKind::Console;
  SinkKind err_kind = SinkKind::Console;
  bool shared = false;  // both streams on one console or one byte stream
  win::UINT code_page = 936;
  win::DWORD handle_error = win::ERROR_INVALID_HANDLE;  // of GetStdHandle, for BadHandle
  std::optional<win::DWORD> console_write_error;        // every WriteConsoleW fails
  std::deque<win::DWORD> out_limits, err_limits;        // units each WriteConsoleW takes
  // The output's console takes nothing at one of its writes; see
  // check_console_that_stops.
  bool out_console_stops = false;
  std::deque<WriteAnswer> out_answers, err_answers;  // answers of NtWriteFile
  std::vector<Print> prints;
};

// Characters to build text from: ASCII, line ends, 2-, 3- and 4-byte forms.
constexpr const char* kCharacters[] = {"a",
                                       "Z",
                                       " ",
                                       "\n",
                                       "\r\n",
                                       "\xC3\xA9",
                                       "\xDF\xBF",
                                       "\xE4\xB8\xAD",
                                       "\xE8\xBF\x9B",
                                       "\xEF\xBF\xBF",
                                       "\xF0\x9F\x98\x80",
                                       "\xF4\x8F\xBF\xBF"};

std::string make_text(FuzzedDataProvider& in) {
  std::string text;
  const int segments = in.ConsumeIntegralInRange(0, 8);
  for (int s = 0; s < segments && text.size() < 20000; ++s) {
    switch (in.ConsumeIntegralInRange(0, 4)) {
      case 0:  // any bytes: broken and overlong sequences, lone continuation bytes
        text += in.ConsumeBytesAsString(in.ConsumeIntegralInRange<std::size_t>(0, 16));
        break;
      case 1: {  // long text, to cross the line buffer and the conversion window
        static constexpr std::size_t kLengths[] = {700, 1030, 4100, 9000};
        const std::size_t target = text.size() + in.PickValueInArray(kLengths);
        const std::string unit = text.empty() ? std::string("\xE4\xB8\xAD") : text;
        while (text.size() < target) text += unit;
        break;
      }
      default: {
        const int count = in.ConsumeIntegralInRange(0, 24);
        for (int c = 0; c < count; ++c) text += in.PickValueInArray(kCharacters);
      }
    }
  }
  return text;
}

std::deque<win::DWORD> make_limits(FuzzedDataProvider& in) {
  std::deque<win::DWORD> limits(in.ConsumeIntegralInRange(0, 12));
  for (win::DWORD& limit : limits) {
    limit = in.ConsumeBool() ? in.ConsumeIntegralInRange(1, 4) : in.ConsumeIntegralInRange(1, 5000);
  }
  return limits;
}

std::deque<WriteAnswer> make_answers(FuzzedDataProvider& in) {
  std::deque<WriteAnswer> answers(in.ConsumeIntegralInRange(0, 12));
  for (WriteAnswer& answer : answers) {
    switch (in.ConsumeIntegralInRange(0, 11)) {
      case 0: answer.status = win::STATUS_PIPE_BROKEN; break;
      case 1: answer.status = win::STATUS_DISK_FULL; break;
      case 2: answer.status = win::STATUS_INVALID_HANDLE; break;  // taken as "no stream"
      case 3: answer.accept = 0; break;                           // took nothing
      case 4:
        answer.pending = true;
        answer.still_pending = true;
        break;
      default: answer.accept = in.ConsumeIntegralInRange<std::size_t>(1, 700); answer.pending = in.ConsumeBool();
    }
  }
  return answers;
}

SinkKind make_kind(FuzzedDataProvider& in) {
  switch (in.ConsumeIntegralInRange(0, 7)) {
    case 0: return SinkKind::Missing;
    case 1: return SinkKind::BadHandle;
    case 2:
    case 3:
    case 4: return SinkKind::Bytes;
    default: return SinkKind::Console;
  }
}

Scenario make_scenario(FuzzedDataProvider& in) {
  Scenario s;
  s.out_kind = make_kind(in);
  s.err_kind = make_kind(in);
  s.shared = s.out_kind == s.err_kind && (s.out_kind == SinkKind::Console || s.out_kind == SinkKind::Bytes) &&
             in.ConsumeBool();
  s.code_page = in.ConsumeBool() ? 65001 : 936;
  static constexpr win::DWORD kHandleErrors[] = {win::ERROR_INVALID_HANDLE, win::ERROR_ACCESS_DENIED};
  s.handle_error = in.PickValueInArray(kHandleErrors);
  if (in.ConsumeIntegralInRange(0, 15) == 0) {
    static constexpr win::DWORD kWriteErrors[] = {win::ERROR_ACCESS_DENIED, win::ERROR_NOT_ENOUGH_MEMORY, 31};
    s.console_write_error = in.PickValueInArray(kWriteErrors);
  }
  s.out_limits = make_limits(in);
  s.err_limits = make_limits(in);
  if (in.ConsumeIntegralInRange(0, 7) == 0) {
    s.out_console_stops = true;
    s.out_limits.insert(s.out_limits.begin() + in.ConsumeIntegralInRange<std::ptrdiff_t>(0, s.out_limits.size()), 0);
  }
  s.out_answers = make_answers(in);
  s.err_answers = make_answers(in);

  // Each stream's text is cut into prints, and each print into pieces, at
  // any byte.
  const std::string texts[2] = {make_text(in), make_text(in)};
  std::size_t taken[2] = {0, 0};
  while (s.prints.size() < 24 && in.remaining_bytes() > 0) {
    const bool to_error = in.ConsumeBool();
    const std::string& text = texts[to_error];
    std::size_t& from = taken[to_error];
    const std::size_t length = in.ConsumeIntegralInRange<std::size_t>(0, text.size() - from);
    std::vector<std::size_t> cuts(in.ConsumeIntegralInRange(0, 5));
    for (std::size_t& cut : cuts) cut = in.ConsumeIntegralInRange<std::size_t>(0, length);
    std::sort(cuts.begin(), cuts.end());
    cuts.push_back(length);
    Print print{to_error, {}};
    std::size_t at = 0;
    for (const std::size_t cut : cuts) {
      print.pieces.push_back(text.substr(from + at, cut - at));
      at = cut;
    }
    from += length;
    s.prints.push_back(std::move(print));
  }
  // Whatever is left goes out in one last print per stream.
  for (int k = 0; k < 2; ++k) {
    if (taken[k] < texts[k].size()) s.prints.push_back(Print{k == 1, {texts[k].substr(taken[k])}});
  }
  // A console that stops is checked only where that is the one thing that
  // can go wrong: valid text, the output alone on a UTF-16 console, the
  // error stream on its own console or missing.
  const bool only_cause = s.out_kind == SinkKind::Console && !s.shared && s.code_page != 65001 &&
                          !s.console_write_error && is_utf8(texts[0]) && is_utf8(texts[1]) &&
                          (s.err_kind == SinkKind::Console || s.err_kind == SinkKind::Missing);
  if (s.out_console_stops && !only_cause) {
    s.out_console_stops = false;
    std::erase(s.out_limits, 0u);
  }
  return s;
}

// ---- The model -----------------------------------------------------------

// How a write of the program ends.
struct Outcome {
  enum Kind { Done, Failed, StillPending } kind = Done;
  std::optional<SystemError> error{};
};

// The width of a UTF-8 sequence by its first byte, 0 when it cannot begin
// one.
std::size_t sequence_width(unsigned char first) {
  if (first < 0x80) return 1;
  if (first >= 0xC2 && first <= 0xDF) return 2;
  if (first >= 0xE0 && first <= 0xEF) return 3;
  if (first >= 0xF0 && first <= 0xF4) return 4;
  return 0;
}

// Where a console writer notices that the bytes from `k` (the end of the
// valid prefix) are not UTF-8: at `k` for a byte that cannot begin a
// character; else at the first byte that cannot continue it, or at its last
// byte when the whole is not a character. npos while it may still complete.
// Example: at E4 41 it is the 41; at E0 80 it is nothing yet (a third byte
// may come, and only the whole character is judged).
std::size_t noticed_at(std::string_view bytes, std::size_t k) {
  if (k >= bytes.size()) return std::string_view::npos;
  const std::size_t width = sequence_width(static_cast<unsigned char>(bytes[k]));
  if (width == 0) return k;
  for (std::size_t j = k + 1; j < k + width; ++j) {
    if (j >= bytes.size()) return std::string_view::npos;
    if ((static_cast<unsigned char>(bytes[j]) & 0xC0) != 0x80) return j;
  }
  return k + width - 1;
}

// A console (code page not UTF-8) as one writer sees it: the bytes that
// writer has handed over, and how many of them are on the screen.
struct ConsoleWriter {
  std::u16string* screen;
  std::optional<win::DWORD> write_error;
  std::string handed;
  std::size_t shown = 0;

  Outcome write(std::string_view bytes) {
    handed += bytes;
    const std::size_t valid = utf8_valid_prefix(handed);
    if (valid > shown) {
      if (write_error) return {Outcome::Failed, SystemError::from_code(static_cast<std::int32_t>(*write_error))};
      *screen += utf16_of_utf8(std::string_view(handed).substr(shown, valid - shown));
      shown = valid;
    }
    if (noticed_at(handed, valid) < handed.size()) return {Outcome::Failed, errors::non_utf8_console_output};
    return {};
  }
};

// A byte stream (or a console that takes UTF-8 bytes): its scripted answers
// and the bytes it has taken.
struct ByteTarget {
  std::deque<WriteAnswer> answers;
  std::string taken;

  // Writes everything, as long as the answers allow. `flush` picks the
  // message for a write that takes nothing.
  Outcome write_all(std::string_view bytes, bool flush) {
    while (!bytes.empty()) {
      if (answers.empty()) {
        taken += bytes;
        return {};
      }
      const WriteAnswer answer = answers.front();
      answers.pop_front();
      std::size_t accepted = 0;
      if (answer.status >= 0) {
        accepted = std::min(answer.accept.value_or(bytes.size()), bytes.size());
        taken += bytes.substr(0, accepted);
      }
      if (answer.pending && answer.still_pending) return {Outcome::StillPending};
      if (answer.status < 0) {
        const auto code = static_cast<std::int32_t>(win::RtlNtStatusToDosError(answer.status));
        // A handle that is not valid is a stream the process does not
        // have: the rest is dropped without notice.
        if (code == static_cast<std::int32_t>(win::ERROR_INVALID_HANDLE)) return {};
        return {Outcome::Failed, SystemError::from_code(code)};
      }
      if (accepted == 0) return {Outcome::Failed, flush ? errors::write_zero_buffered : errors::write_zero};
      bytes.remove_prefix(accepted);
    }
    return {};
  }
};

// One stream's destination, as a writer of the program reaches it.
struct Sink {
  SinkKind kind = SinkKind::Missing;
  win::DWORD handle_error = win::ERROR_INVALID_HANDLE;
  std::shared_ptr<ByteTarget> bytes;  // Bytes, or a console in code page 65001
  std::optional<ConsoleWriter> console;

  Outcome write_all(std::string_view data, bool flush) {
    if (data.empty()) return {};
    switch (kind) {
      case SinkKind::Missing: return {};
      case SinkKind::BadHandle:
        if (handle_error == win::ERROR_INVALID_HANDLE) return {};
        return {Outcome::Failed, SystemError::from_code(static_cast<std::int32_t>(handle_error))};
      default:
        if (console) return console->write(data);
        return bytes->write_all(data, flush);
    }
  }
};

// The output stream's line buffer, by its rules: up to the last line feed of
// a piece goes out during the piece; the rest waits, unless it does not fit.
struct LineBuffer {
  static constexpr std::size_t kCapacity = 1024;
  Sink* sink;
  std::string buffer;

  Outcome flush() {
    const Outcome outcome = sink->write_all(buffer, true);
    buffer.clear();
    return outcome;
  }
  Outcome buffer_write_all(std::string_view bytes) {
    const std::size_t spare = kCapacity - buffer.size();
    if (bytes.size() < spare) {
      buffer += bytes;
      return {};
    }
    if (bytes.size() > spare) {
      if (const Outcome flushed = flush(); flushed.kind != Outcome::Done) return flushed;
    }
    if (bytes.size() >= kCapacity) return sink->write_all(bytes, false);
    buffer += bytes;
    return {};
  }
  Outcome line_write_all(std::string_view bytes) {
    const std::size_t last_line_feed = bytes.rfind('\n');
    if (last_line_feed == std::string_view::npos) {
      if (!buffer.empty() && buffer.back() == '\n') {
        if (const Outcome flushed = flush(); flushed.kind != Outcome::Done) return flushed;
      }
      return buffer_write_all(bytes);
    }
    const std::string_view lines = bytes.substr(0, last_line_feed + 1);
    if (buffer.empty()) {
      if (const Outcome written = sink->write_all(lines, false); written.kind != Outcome::Done) return written;
    } else {
      if (const Outcome buffered = buffer_write_all(lines); buffered.kind != Outcome::Done) return buffered;
      if (const Outcome flushed = flush(); flushed.kind != Outcome::Done) return flushed;
    }
    return buffer_write_all(bytes.substr(last_line_feed + 1));
  }
};

// What the run must leave behind.
struct Expected {
  std::u16string screens[2];  // per console object: [0] the output's, [1] the error's
  std::shared_ptr<ByteTarget> targets[2];
  bool ended_fast = false;      // fail-fast (code 7) instead of the exit
  std::size_t prints_done = 0;  // prints that returned
};

const char* const kPendingMessage =
    "fatal runtime error: I/O error: operation failed to complete synchronously, aborting";

// With `prints`, only that many prints are made and the process does not
// exit.
Expected run_model(const Scenario& s, std::optional<std::size_t> prints = std::nullopt) {
  Expected e;
  const bool console_cp_utf8 = s.code_page == 65001;
  Sink sinks[2];
  for (int k = 0; k < 2; ++k) {
    Sink& sink = sinks[k];
    sink.kind = k == 0 ? s.out_kind : s.err_kind;
    sink.handle_error = s.handle_error;
    const int target = s.shared ? 0 : k;
    if (sink.kind == SinkKind::Bytes || (sink.kind == SinkKind::Console && console_cp_utf8)) {
      if (!e.targets[target]) {
        e.targets[target] = std::make_shared<ByteTarget>();
        if (sink.kind == SinkKind::Bytes) e.targets[target]->answers = k == 0 ? s.out_answers : s.err_answers;
      }
      sink.bytes = e.targets[target];
    } else if (sink.kind == SinkKind::Console) {
      sink.console = ConsoleWriter{&e.screens[target], s.console_write_error, {}, 0};
    }
  }

  // The report of an internal failure: written piece by piece to the error
  // stream with a carry of its own; a failing piece ends it.
  const auto report = [&](const std::vector<std::string>& pieces) {
    Sink writer = sinks[1];
    if (writer.console) writer.console = ConsoleWriter{writer.console->screen, s.console_write_error, {}, 0};
    for (const std::string& piece : pieces) {
      if (writer.write_all(piece, false).kind != Outcome::Done) break;
    }
    e.ended_fast = true;
  };
  const auto fail = [&](const char* stream, const Outcome& outcome) {
    if (outcome.kind == Outcome::StillPending) return report({kPendingMessage, "\n"});
    const ErrorDisplay shown = outcome.error->display();
    std::vector<std::string> pieces = {"failed printing to ", stream, ": "};
    const TextPieces display = shown.pieces();
    for (const std::string_view piece : display.pieces()) pieces.emplace_back(piece);
    pieces.emplace_back("\n");
    report(pieces);
  };

  LineBuffer output{&sinks[0], {}};
  bool output_made = false;
  for (const Print& print : s.prints) {
    if (prints && e.prints_done == *prints) return e;
    for (const std::string& piece : print.pieces) {
      Outcome outcome;
      if (print.to_error) {
        outcome = sinks[1].write_all(piece, false);
      } else {
        output_made = true;
        outcome = output.line_write_all(piece);
      }
      if (outcome.kind != Outcome::Done) {
        fail(print.to_error ? "stderr" : "stdout", outcome);
        return e;
      }
    }
    if (!print.to_error) output_made = true;
    ++e.prints_done;
  }
  // The exit writes out what waits and ignores a failure, except a write
  // that never completes.
  if (output_made) {
    if (output.flush().kind == Outcome::StillPending) report({kPendingMessage, "\n"});
  }
  return e;
}

// ---- Running the program ---------------------------------------------------

struct Actual {
  bool ended_fast = false;
  std::size_t prints_done = 0;
};

Actual run_program(const Scenario& s) {
  Actual a;
  try {
    for (const Print& print : s.prints) {
      TextPieces text;
      for (const std::string& piece : print.pieces) text.add(piece);
      if (print.to_error) {
        print_stderr(text);
      } else {
        print_stdout(text);
      }
      ++a.prints_done;
    }
    exit_process(0);
  } catch (const fake::FailedFast& failed) {
    FUZZ_CHECK(failed.code == 7, "fail-fast code " + std::to_string(failed.code));
    a.ended_fast = true;
  } catch (const fake::ProcessExited& exited) {
    FUZZ_CHECK(exited.code == 0, "exit code " + std::to_string(exited.code));
  }
  return a;
}

// Whether `screen` is the start of `expected`, but for low surrogates that
// may be missing: when a console takes a pair's high half only, the low
// half is written on its own and its failure is ignored.
bool is_start_of(std::u16string_view screen, std::u16string_view expected) {
  std::size_t j = 0;
  for (const char16_t unit : screen) {
    if (j < expected.size() && expected[j] != unit && is_low_surrogate(expected[j])) ++j;
    if (j >= expected.size() || expected[j] != unit) return false;
    ++j;
  }
  return true;
}

// The output's console takes nothing at one write. Its screen is then the
// start of what it would have shown; the process ends fast during a print
// to it with the report of the failed write, or, when the failed write was
// the exit's, exits as planned. The error stream shows exactly what was
// printed to it up to the end, and the report.
void check_console_that_stops(const Scenario& s, const Actual& actual, const fake::Console& out,
                              const fake::Console* err, const std::function<std::string()>& context) {
  const Expected whole = run_model(s);
  FUZZ_CHECK(!whole.ended_fast, context() + "the model ends fast without the failing write");
  FUZZ_CHECK(is_start_of(out.screen, whole.screens[0]),
             context() + "stdout's screen\n" + show_difference(out.screen, whole.screens[0]));
  if (!actual.ended_fast) {
    FUZZ_CHECK(actual.prints_done == s.prints.size(),
               context() + "prints returned: " + std::to_string(actual.prints_done));
    if (err) {
      FUZZ_CHECK(err->screen == whole.screens[1],
                 context() + "stderr's screen\n" + show_difference(err->screen, whole.screens[1]));
    }
    return;
  }
  FUZZ_CHECK(actual.prints_done < s.prints.size() && !s.prints[actual.prints_done].to_error,
             context() + "ended fast in print " + std::to_string(actual.prints_done));
  if (!err) return;
  const std::u16string before = run_model(s, actual.prints_done).screens[1];
  const std::u16string whole_buffer = before + u"failed printing to stdout: failed to write whole buffer\n";
  const std::u16string buffered = before + u"failed printing to stdout: failed to write the buffered data\n";
  FUZZ_CHECK(err->screen == whole_buffer || err->screen == buffered,
             context() + "stderr's screen\n" + show_difference(err->screen, whole_buffer));
}

std::string describe(const Scenario& s) {
  const auto kind = [](SinkKind k) {
    switch (k) {
      case SinkKind::Console: return "console";
      case SinkKind::Bytes: return "bytes";
      case SinkKind::Missing: return "missing";
      default: return "bad handle";
    }
  };
  std::string out = std::string("stdout ") + kind(s.out_kind) + ", stderr " + kind(s.err_kind) +
                    (s.shared ? " (shared)" : "") + ", code page " + std::to_string(s.code_page) +
                    (s.out_console_stops ? ", stdout's console stops" : "") + "\n";
  for (const Print& print : s.prints) {
    out += print.to_error ? "  stderr:" : "  stdout:";
    for (const std::string& piece : print.pieces) out += " " + show(piece);
    out += "\n";
  }
  return out;
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
  w.console_output_cp = s.code_page;
  w.std_handle_error = s.handle_error;
  std::shared_ptr<fake::Console> consoles[2];
  std::shared_ptr<fake::ByteStream> streams[2];
  win::HANDLE* handles[2] = {&w.std_output, &w.std_error};
  for (int k = 0; k < 2; ++k) {
    const SinkKind kind = k == 0 ? s.out_kind : s.err_kind;
    const int target = s.shared ? 0 : k;
    switch (kind) {
      case SinkKind::Missing: *handles[k] = win::NULL_HANDLE; break;
      case SinkKind::BadHandle: *handles[k] = win::INVALID_HANDLE_VALUE; break;
      case SinkKind::Console:
        if (!consoles[target]) {
          consoles[target] = std::make_shared<fake::Console>();
          consoles[target]->accept_limits = k == 0 ? s.out_limits : s.err_limits;
          consoles[target]->write_error = s.console_write_error;
        }
        *handles[k] = w.add_console(consoles[target]);
        break;
      case SinkKind::Bytes:
        if (!streams[target]) {
          streams[target] = std::make_shared<fake::ByteStream>();
          streams[target]->write_answers = k == 0 ? s.out_answers : s.err_answers;
        }
        *handles[k] = w.add_stream(streams[target]);
        break;
    }
  }

  const Actual actual = run_program(s);
  // Worked out only when a check fails: the texts can be long.
  const auto context = [&] { return describe(s); };
  if (s.out_console_stops) {
    check_console_that_stops(s, actual, *consoles[0], consoles[1].get(), context);
    return 0;
  }
  const Expected expected = run_model(s);
  FUZZ_CHECK(actual.ended_fast == expected.ended_fast,
             context() + (actual.ended_fast ? "ended by fail-fast" : "ended by the exit") + ", not as expected");
  FUZZ_CHECK(actual.prints_done == expected.prints_done, context() + std::to_string(actual.prints_done) +
                                                             " prints returned, expected " +
                                                             std::to_string(expected.prints_done));
  for (int k = 0; k < 2; ++k) {
    const std::string which = k == 0 ? "stdout's" : "stderr's";
    if (consoles[k] && s.code_page != 65001) {
      FUZZ_CHECK(consoles[k]->screen == expected.screens[k],
                 context() + which + " screen\n" + show_difference(consoles[k]->screen, expected.screens[k]));
    }
    if (consoles[k] && s.code_page == 65001) {
      std::string bytes;
      for (const std::string& write : consoles[k]->byte_writes) bytes += write;
      FUZZ_CHECK(consoles[k]->writes.empty() && bytes == expected.targets[k]->taken,
                 context() + which + " UTF-8 console\n" + show_difference(bytes, expected.targets[k]->taken));
    }
    if (streams[k]) {
      FUZZ_CHECK(streams[k]->written == expected.targets[k]->taken,
                 context() + which + " stream\n" + show_difference(streams[k]->written, expected.targets[k]->taken));
    }
  }
  return 0;
}
