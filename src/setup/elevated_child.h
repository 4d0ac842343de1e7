// What an elevated run's children (curl, the installer) get of the user's:
// nothing that changes what they trust or where they write.
#pragma once

#include <string_view>

#include "paths/path_text.h"
#include "process/spawn.h"

namespace vant {

// The variables the user's programs could set (HKCU\Environment) to change
// what curl trusts: CURL_CA_BUNDLE, SSL_CERT_FILE and SSL_CERT_DIR a CA of
// theirs, which with the user's proxy is a man in the middle who serves
// any installer; SSLKEYLOGFILE writes the session's keys where they say;
// CURL_SSL_BACKEND picks another TLS library. Proxy variables stay: a proxy
// sees only encrypted bytes. Unelevated the environment passes unchanged:
// a company's own CA bundle keeps working, and the children run as the user
// anyway.
inline constexpr std::string_view kUserTrustVariables[] = {"CURL_CA_BUNDLE", "SSL_CERT_FILE", "SSL_CERT_DIR",
                                                           "SSLKEYLOGFILE", "CURL_SSL_BACKEND"};

// Elevated, for curl and the installer: without the variables above, and
// started in the run's own folder, not the user's current folder (often
// Downloads, which the user's programs write, and where Windows still looks
// for libraries that are not in the system folders).
void keep_user_out(ProcessCommand& command, const PathText& run_folder);

// Elevated, for the installer as well: TEMP and TMP are the run's own
// folder. Installers unpack into %TEMP% and run what they unpacked; the
// user's %TEMP% is writable by every program of the user.
void give_run_folder_as_temp(ProcessCommand& command, const PathText& run_folder);

}  // namespace vant
