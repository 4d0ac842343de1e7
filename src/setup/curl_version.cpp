#include "setup/curl_version.h"

#include <algorithm>
#include <utility>

#include "platform/handle.h"

namespace vant {
namespace {

// Reads a number of 1 to 4 digits at `at`; nothing for anything else.
bool read_number(std::string_view text, std::size_t& at, int& number) {
  const std::size_t start = at;
  number = 0;
  while (at < text.size() && at - start < 5 && text[at] >= '0' && text[at] <= '9') {
    number = number * 10 + (text[at] - '0');
    ++at;
  }
  return at > start && at - start <= 4;
}

// curl -V writes a few hundred bytes; the first line's version is within
// its first few dozen.
constexpr win::DWORD kAnswerBytes = 128;
// The pipe holds all curl writes, so curl never waits for us to read.
constexpr win::DWORD kPipeBytes = 64 * 1024;

}  // namespace

CurlVersion parse_curl_version(std::string_view output) {
  constexpr std::string_view kName = "curl ";
  if (!output.starts_with(kName)) return kOldestCurl;
  std::size_t at = kName.size();
  CurlVersion version;
  if (!read_number(output, at, version.major) || at >= output.size() || output[at++] != '.' ||
      !read_number(output, at, version.minor) || at >= output.size() || output[at++] != '.' ||
      !read_number(output, at, version.patch)) {
    return kOldestCurl;
  }
  // "8.13.0" ends the line or is followed by " (…)" or "-DEV"; "8.13.0.1"
  // or "8.13.05" is not a curl version.
  if (at < output.size() && (output[at] == '.' || (output[at] >= '0' && output[at] <= '9'))) return kOldestCurl;
  return version;
}

std::expected<CurlVersion, SystemError> probe_curl_version(ProcessCommand probe) {
  win::HANDLE read_end = win::NULL_HANDLE;
  win::HANDLE write_end = win::NULL_HANDLE;
  // Without a pipe the version cannot be read; the download then says
  // whether curl can be started.
  if (!win::CreatePipe(&read_end, &write_end, nullptr, kPipeBytes)) return kOldestCurl;
  const OwnedHandle reader(read_end);
  OwnedHandle writer(write_end);

  auto child = spawn_process(probe.output_to(writer.get()));
  // From here only the child holds the write end.
  writer.reset();
  if (!child) return std::unexpected(child.error());
  const auto ended = wait_for_exit_within(*child, kVersionProbeMilliseconds);
  if (ended && !*ended) end_child(*child, 1);
  release_child_handles(std::move(*child));
  if (!ended || !*ended) return kOldestCurl;

  // Only what is there already: curl has ended, but a process it started
  // could still hold the pipe open, and a read of an empty pipe would wait
  // for that process.
  win::DWORD waiting = 0;
  if (!win::PeekNamedPipe(reader.get(), nullptr, 0, nullptr, &waiting, nullptr) || waiting == 0) return kOldestCurl;
  char answer[kAnswerBytes];
  win::DWORD got = 0;
  if (!win::ReadFile(reader.get(), answer, std::min(waiting, kAnswerBytes), &got, nullptr)) return kOldestCurl;
  return parse_curl_version(std::string_view(answer, got));
}

}  // namespace vant
