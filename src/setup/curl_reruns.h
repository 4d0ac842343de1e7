// When the program runs curl again after a failed download, and how.
// Newer curls retry what this covers themselves (--retry-all-errors,
// --ssl-revoke-best-effort); for older ones the program does it, so every
// curl Windows ships gets through the same networks. The user sees curl's
// progress bar again and nothing else; when no rerun is left, the last
// exit code is the one reported.
#pragma once

#include <cstdint>

#include "setup/curl_version.h"

namespace vant {

// The first curls that know --ssl-revoke-best-effort and --retry-all-errors.
inline constexpr CurlVersion kRevokeBestEffortCurl{7, 70, 0};
inline constexpr CurlVersion kRetryAllErrorsCurl{7, 71, 0};

// Reruns after a connection that broke during the transfer, and the pause
// before each.
inline constexpr int kBrokenTransferReruns = 3;
inline constexpr int kRerunPauseSeconds = 2;

enum class Rerun {
  None,               // report the failure
  AfterPause,         // the same command, after kRerunPauseSeconds
  WithoutProxy,       // at once, without the proxy the program handed curl
  WithoutRevocation,  // at once, with --ssl-no-revoke
};

class RerunPolicy {
 public:
  // `signer_built_in`: the program checks the installer's signer itself.
  // `proxy_handed`: curl was given the Windows proxy by the program.
  RerunPolicy(CurlVersion version, bool signer_built_in, bool proxy_handed)
      : version_(version), signer_built_in_(signer_built_in), proxy_handed_(proxy_handed) {}

  // What to do after curl exited with `exit_code` (not 0). Each kind of
  // rerun is counted; a Rerun other than None is to be done.
  Rerun after(std::uint32_t exit_code);

 private:
  CurlVersion version_;
  bool signer_built_in_;
  bool proxy_handed_;
  int broken_transfer_reruns_ = 0;
  bool revocation_rerun_done_ = false;
};

}  // namespace vant
