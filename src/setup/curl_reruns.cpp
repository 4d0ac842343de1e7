#include "setup/curl_reruns.h"

namespace vant {

Rerun RerunPolicy::after(std::uint32_t exit_code) {
  // 5: the proxy's name does not resolve; 7: no connection could be made,
  // and with a proxy every connection curl makes is to the proxy. A laptop
  // away from the office keeps its office proxy: once more, directly.
  if (proxy_handed_ && (exit_code == 5 || exit_code == 7)) {
    proxy_handed_ = false;
    return Rerun::WithoutProxy;
  }
  // 18 (a partial file), 52 (nothing back), 55 (a send failed), 56 (a
  // receive failed): a connection that broke during the transfer, which
  // --retry never retries; from 7.71.0 --retry-all-errors does.
  const bool broken = exit_code == 18 || exit_code == 52 || exit_code == 55 || exit_code == 56;
  if (broken && version_ < kRetryAllErrorsCurl && broken_transfer_reruns_ < kBrokenTransferReruns) {
    ++broken_transfer_reruns_;
    return Rerun::AfterPause;
  }
  // 35: the TLS handshake failed, which Schannel also reports when the
  // certificate's revocation server cannot be reached (firewalls, captive
  // portals). From 7.70.0 --ssl-revoke-best-effort lets that pass. Before,
  // only a program that checks the installer's signature itself may do
  // without revocation; without a signer, 35 stays a failure.
  if (exit_code == 35 && signer_built_in_ && version_ < kRevokeBestEffortCurl && !revocation_rerun_done_) {
    revocation_rerun_done_ = true;
    return Rerun::WithoutRevocation;
  }
  return Rerun::None;
}

}  // namespace vant
