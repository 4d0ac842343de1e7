// Which curl runs: asked of curl itself, once, before the download, so
// that it gets only the options it knows. Windows ships many curls (7.55.1
// from Windows 10 1803 on, later 7.79.1, 7.83.1, 8.x), and a curl that
// meets an option it does not know exits 2 on every run.
#pragma once

#include <compare>
#include <expected>
#include <string_view>

#include "platform/system_error.h"
#include "platform/win_api.h"
#include "process/spawn.h"

namespace vant {

struct CurlVersion {
  int major = 0;
  int minor = 0;
  int patch = 0;
  friend constexpr auto operator<=>(const CurlVersion&, const CurlVersion&) = default;
};

// The oldest curl Windows ships; what an answer that cannot be read counts
// as, so that such a curl gets only the options every curl knows.
inline constexpr CurlVersion kOldestCurl{7, 55, 1};

// The longest the version question may take; then curl is ended and its
// version counts as unknown.
inline constexpr win::DWORD kVersionProbeMilliseconds = 30'000;

// The version in the first line of `curl -V`: "curl 7.55.1 (Windows)
// libcurl/7.55.1 WinSSL" -> 7.55.1, "curl 8.13.0-DEV (x86_64…)" -> 8.13.0.
// Anything else ("curl 8.13", "Curl 8.1.2", "", garbage) -> kOldestCurl.
CurlVersion parse_curl_version(std::string_view output);

// Runs `probe` (curl with the single argument -V) with its standard output
// on a pipe, no input and no error stream, for at most
// kVersionProbeMilliseconds, and reads the version from what it wrote.
// Unknown (kOldestCurl) when the pipe cannot be made, the wait fails or
// times out, or the answer cannot be read. Errors: only spawn_process's,
// the curl cannot be started.
std::expected<CurlVersion, SystemError> probe_curl_version(ProcessCommand probe);

}  // namespace vant
