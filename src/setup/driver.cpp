#include "setup/driver.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "console/output.h"
#include "console/stdin_line.h"
#include "paths/explicit_folder.h"
#include "paths/join_path.h"
#include "paths/path_text.h"
#include "paths/staging_folder.h"
#include "paths/temp_directory.h"
#include "paths/windows_path.h"
#include "platform/clock.h"
#include "platform/elevation.h"
#include "platform/fail_fast.h"
#include "platform/handle.h"
#include "platform/library_search.h"
#include "platform/process_exit.h"
#include "platform/system_error.h"
#include "platform/unicode.h"
#include "process/hold_file.h"
#include "process/spawn.h"
#include "setup/curl_folder.h"
#include "setup/curl_reruns.h"
#include "setup/curl_version.h"
#include "setup/elevated_child.h"
#include "setup/messages.h"
#include "setup/proxy_rules.h"
#include "setup/windows_proxy.h"
#ifdef VANT_INSTALLER_SIGNER
#include "platform/delete_file.h"
#include "trust/installer_signature.h"
#endif

namespace vant {
namespace {

using namespace messages;

// Where the run downloads: elevated, a folder of its own (`own`), which
// its children start in and a failed run removes; unelevated, the user's
// temporary folder, which is the user's and stays as it is.
struct RunFolder {
  PathText path;
  bool own = false;
};

// The Enter prompt after a failure whose messages do not show the
// installer's path: a folder of the run's own goes first, with what curl
// left in it (after 18 failed runs, <Windows>\Temp held 18 folders, some
// with a partial installer). Unelevated nothing is removed: the file there
// may be one the user keeps from an earlier run. A folder that cannot be
// removed stays; the user has the failure's own message to go by.
[[noreturn]] void fail_run(const RunFolder& folder) {
  if (folder.own) (void)remove_staging_folder(folder.path, kInstallerFileName);
  pause_and_exit();
}

// M6 and M7: the download tool could not be started or waited for.
[[noreturn]] void fail_download_tool(const SystemError& error, const RunFolder& folder) {
  const ErrorDisplay shown = error.display();
  print_stderr(TextPieces(kCannotRunTool).append(shown.pieces()).add(kLineFeed));
  print_stderr(kNeedsWindows10);
  fail_run(folder);
}

// Whether this program checks the installer's signer itself.
#ifdef VANT_INSTALLER_SIGNER
constexpr bool kSignerBuiltIn = true;
#else
constexpr bool kSignerBuiltIn = false;
#endif

// How one run of curl differs from the first: the proxy the program found
// (none: curl's own environment decides), and whether revocation is off.
struct CurlRun {
  std::optional<std::string> proxy;
  bool without_revocation = false;
};

// The download command: the options every curl knows, in this order, then
// those this curl's version knows, then those of this run.
ProcessCommand download_command(const ProcessCommand& curl, CurlVersion version, const CurlRun& run,
                                std::string_view output) {
  ProcessCommand download = curl;
  // "--disable" must come first (curl looks for it only there): without it
  // curl reads a .curlrc or _curlrc from %CURL_HOME%, %HOME%, %APPDATA% or
  // its own folder, which any program of the user can write, and such a
  // file could send the download elsewhere, turn off certificate checks or
  // write the file somewhere else; whatever arrived would then be started,
  // elevated if this program is. Proxy variables (https_proxy, ALL_PROXY,
  // NO_PROXY) are not a config file and still apply.
  //
  // "--proto-redir =https": with -L curl would also follow a redirect from
  // https to plain http, where anyone on the way could hand over any file.
  // Any other redirect ends with curl's exit 1.
  //
  // "--fail": without it curl saves a server's error page (404, or 503 after
  // its retries) as the installer and exits 0, and the user would be told
  // the download succeeded and then asked to run an HTML page by hand. With
  // it curl exits 22 and the user sees a failed download.
  //
  // "--connect-timeout 120 --speed-limit 1 --speed-time 120": curl has no
  // transfer timeout of its own, so a server that stops sending would leave
  // the user at a frozen progress bar for ever. After two minutes without a
  // byte (the wait for the response headers included) curl exits 28, which
  // --retry counts as transient. Two minutes, not less: scanning proxies and
  // virus scanners hold the last bytes back for 30 to 40 s.
  //
  // "--retry-connrefused" (7.52.0, older than any curl Windows ships): a
  // refused connection is retried too.
  download.arg("--disable")
      .arg("-L")
      .arg("--proto-redir")
      .arg("=https")
      .arg("--fail")
      .arg("--progress-bar")
      .arg("--retry")
      .arg("3")
      .arg("--retry-delay")
      .arg("2")
      .arg("--connect-timeout")
      .arg("120")
      .arg("--speed-limit")
      .arg("1")
      .arg("--speed-time")
      .arg("120")
      .arg("--retry-connrefused");
  // Only for the curls that know them: an option a curl does not know makes
  // it exit 2 on every run. "--ssl-revoke-best-effort": Schannel fails the
  // handshake (35) when the certificate's revocation server cannot be
  // reached (firewalls, captive portals, offices that block the CA's
  // hosts); a revoked certificate still fails. "--retry-all-errors": the
  // retries also cover a connection that broke during the transfer.
  if (version >= kRevokeBestEffortCurl) download.arg("--ssl-revoke-best-effort");
  if (version >= kRetryAllErrorsCurl) download.arg("--retry-all-errors");
  // An older curl whose handshake failed: see curl_reruns.h.
  if (run.without_revocation) download.arg("--ssl-no-revoke");
  // The user's Windows proxy. "--proxy-anyauth --proxy-user :": an NTLM or
  // Negotiate proxy gets the user's Windows logon, and no password is
  // asked for or kept.
  if (run.proxy) {
    download.set_variable("https_proxy", PathText::from_utf8(*run.proxy));
    download.arg("--proxy-anyauth").arg("--proxy-user").arg(":");
  }
  // "-o": the installer path text, unless the system's ANSI code page cannot
  // spell the download folder; curl then starts in that folder and gets the
  // bare file name (curl_folder.h says why).
  download.arg("-o").arg(output).arg(kDownloadAddress);
  return download;
}

// Runs curl until it has exited with 0, which means the installer is in
// place, or no rerun is left; every other ending is reported here.
void download_installer(const RunFolder& folder, const std::string& installer_path_text) {
  ProcessCommand curl(kDownloadTool);
  // Elevated, curl is looked for only where only administrators can write.
  curl.search(folder.own ? ProgramSearch::AdministratorFolders : ProgramSearch::Everywhere);
  if (folder.own) keep_user_out(curl, folder.path);

  // Asked once, of the same curl: a curl that cannot be started is
  // reported here, as the download's start would be.
  ProcessCommand probe = curl;
  const auto version = probe_curl_version(std::move(probe.arg("-V")));
  if (!version) fail_download_tool(version.error(), folder);

  std::string_view output = installer_path_text;
  if (curl_starts_in_download_folder(folder.path)) {
    output = kInstallerFileName;
    curl.in_folder(folder.path);
  }

  CurlRun run;
  if (!user_sets_proxy()) {
    const std::u16string address(kDownloadAddressUnits);
    run.proxy = windows_proxy(address, host_name(kDownloadHost));
  }
  RerunPolicy reruns(*version, kSignerBuiltIn, run.proxy.has_value());
  for (;;) {
    auto child = spawn_process(download_command(curl, *version, run, output));
    if (!child) fail_download_tool(child.error(), folder);
    const auto exit_code = wait_for_exit(*child);
    release_child_handles(std::move(*child));
    if (!exit_code) fail_download_tool(exit_code.error(), folder);
    if (*exit_code == 0) return;

    switch (reruns.after(*exit_code)) {
      case Rerun::AfterPause: sleep_for(Duration{kRerunPauseSeconds, 0}); continue;
      case Rerun::WithoutProxy: run.proxy.reset(); continue;
      case Rerun::WithoutRevocation: run.without_revocation = true; continue;
      case Rerun::None: break;
    }
    // Crash codes such as 0xC0000005 show as negative numbers.
    const std::string code = signed_decimal(static_cast<std::int32_t>(*exit_code));
    print_stderr({kDownloadFailedBefore, code, kDownloadFailedAfter});
    print_stderr(kCheckNetwork);
    fail_run(folder);
  }
}

#ifdef VANT_INSTALLER_SIGNER
// The vendor's certificate authorities, set with the signer when the
// program is built; none: any that Windows trusts.
constexpr auto kInstallerSignerCa = parse_ca_fingerprints(VANT_INSTALLER_SIGNER_CA);

// V1, V2, M9 and the Enter prompt unless the downloaded installer is signed
// by the vendor; it is verified through the held handle. A refused file is
// deleted first (after the hold is let go, or the deletion could not
// happen), so nobody is told where it is or to run it by hand; if it cannot
// be deleted, the user is told the same.
void start_only_if_signed_by_vendor(const std::expected<WideText, SystemError>& file,
                                    std::expected<OwnedHandle, SystemError>& held, const RunFolder& folder) {
  SignatureCheck check({kInstallerSignerUnits, kInstallerSigner}, kInstallerSignerCa);
  // Without a held file there is nothing that could be started safely.
  const auto checked =
      held ? check.check(*file, held->get()) : std::expected<void, SystemError>(std::unexpected(held.error()));
  if (checked) return;
  if (held) held->reset();
  if (file) (void)delete_file(*file);
  const ErrorDisplay shown = checked.error().display();
  print_stderr(TextPieces(kSignatureCheckFailed).append(shown.pieces()).add(kLineFeed));
  print_stderr(kInstallerNotStarted);
  print_stderr(kCheckNetwork);
  fail_run(folder);
}
#endif

}  // namespace

void run_setup() {
  // First, before anything can load a library (library_search.h says why).
  search_libraries_in_system_folder_only();

  // Read once, before anything depends on it. Windows 10 always answers;
  // a process that cannot tell cannot pick a safe folder either.
  const auto elevated = process_is_elevated();
  if (!elevated) internal_failure_unwrap(elevated.error());

  print_stdout(kRule);
  print_stdout({kTitleBefore, kProductTitle, kTitleAfter});
  print_stdout(kRule);
  print_stdout(kEmptyLine);
  print_stdout(kFetching);
  print_stdout(kNeedsNetwork);
  print_stdout(kEmptyLine);

  // Unelevated, the user's temporary folder: the installer then runs as the
  // user who owns that folder, so nothing there is out of that user's
  // reach anyway. Elevated, a new folder that only administrators can
  // change (staging_folder.h says why), and never %TEMP% as a fallback.
  auto made = *elevated ? create_staging_folder() : temp_directory();
  if (!made) internal_failure_unwrap(made.error());
  const RunFolder folder{std::move(*made), *elevated};
  const PathText installer_path = join_path(folder.path, kInstallerFileName);
  // curl gets text, not the exact path: a lone surrogate becomes U+FFFD here
  // and the same text is what the user is shown if the start fails. (Such
  // a folder is one curl starts in, by its exact units: curl_folder.h.)
  const std::string installer_path_text = utf8_for_display(installer_path.bytes());

  download_installer(folder, installer_path_text);

  // With an empty temporary folder the path is the bare file name, which
  // curl wrote to the current folder. Started by that bare name it would be
  // searched for like "curl" (never in the current folder), missing the file
  // just downloaded and perhaps starting a stale or planted one elsewhere.
  const PathText installer_program = with_explicit_folder(installer_path);
  // Held from right after curl's exit until CreateProcessW has returned
  // (hold_file.h says why); a failure is reported where the start's would be.
  const auto installer_file = to_windows_path(installer_program.bytes());
  auto held = installer_file ? hold_file(*installer_file)
                             : std::expected<OwnedHandle, SystemError>(std::unexpected(installer_file.error()));

  print_stdout(kEmptyLine);
  print_stdout(kDownloadDone);
  print_stdout(kClosesItself);
  print_stdout(kEmptyLine);

#ifdef VANT_INSTALLER_SIGNER
  // The file that is checked is the one started below.
  start_only_if_signed_by_vendor(installer_file, held, folder);
#endif
  ProcessCommand start(installer_program);
  if (folder.own) {
    keep_user_out(start, folder.path);
    give_run_folder_as_temp(start, folder.path);
  }
  auto installer =
      held ? spawn_process(start) : std::expected<ChildProcess, SystemError>(std::unexpected(held.error()));
  // Let go only once CreateProcessW has returned: Windows has the image
  // open by then, and a failed start leaves nothing to guard.
  if (held) held->reset();
  if (!installer) {
    const ErrorDisplay shown = installer.error().display();
    print_stderr(TextPieces(kCannotStartInstaller).append(shown.pieces()).add(kLineFeed));
    print_stderr({kDownloadedTo, installer_path_text, kLineFeed});
    print_stderr(kRunByHand);
    // The file stays where the message says, for the user to run by hand.
    pause_and_exit();
  }

  // The installer is neither waited for nor closed: its handles stay open
  // until this process ends, and it keeps running after that.
  ChildProcess running_installer = std::move(*installer);
  (void)running_installer.process_handle.release();
  (void)running_installer.thread_handle.release();
  sleep_for(Duration{2, 0});
  exit_process(0);
}

void pause_and_exit() {
  print_stdout(kEmptyLine);
  print_stdout(kPressEnter);
  // The line itself is not wanted, so it is not kept: standard input that
  // sends bytes without ever a line feed cannot grow memory here. Whatever
  // comes back (a line, end of input, an error), the answer is the same:
  // the user has seen the messages.
  (void)skip_stdin_line();
  exit_process(1);
}

}  // namespace vant
