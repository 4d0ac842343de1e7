#include "setup/driver.h"

#include <cstdint>
#include <string>
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
#include "setup/messages.h"
#ifdef VANT_INSTALLER_SIGNER
#include "platform/delete_file.h"
#include "trust/installer_signature.h"
#endif

namespace vant {
namespace {

using namespace messages;

// M6 and M7: the download tool could not be started or waited for.
[[noreturn]] void fail_download_tool(const SystemError& error) {
  const ErrorDisplay shown = error.display();
  print_stderr(TextPieces(kCannotRunTool).append(shown.pieces()).add(kLineFeed));
  print_stderr(kNeedsWindows10);
  pause_and_exit();
}

// Returns once curl has exited with 0, which means the installer is in
// place; every other ending is reported here.
void download_installer(const PathText& download_folder, const std::string& installer_path_text, ProgramSearch search) {
  ProcessCommand download(kDownloadTool);
  download.search(search);
  // Every option here is known to curl 7.55.1, the oldest curl Windows 10
  // ships: an option only newer curls know would make an older one exit 2
  // on every run.
  //
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
  // "-o": the installer path text, unless the system's ANSI code page cannot
  // spell the download folder; curl then starts in that folder and gets the
  // bare file name (curl_folder.h says why).
  std::string_view output = installer_path_text;
  if (curl_starts_in_download_folder(download_folder)) {
    output = kInstallerFileName;
    download.in_folder(download_folder);
  }
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
      .arg("-o")
      .arg(output)
      .arg(kDownloadAddress);

  auto child = spawn_process(download);
  if (!child) fail_download_tool(child.error());

  const auto exit_code = wait_for_exit(*child);
  release_child_handles(std::move(*child));
  if (!exit_code) fail_download_tool(exit_code.error());

  if (*exit_code != 0) {
    // Crash codes such as 0xC0000005 show as negative numbers.
    const std::string code = signed_decimal(static_cast<std::int32_t>(*exit_code));
    print_stderr({kDownloadFailedBefore, code, kDownloadFailedAfter});
    print_stderr(kCheckNetwork);
    pause_and_exit();
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
                                    std::expected<OwnedHandle, SystemError>& held) {
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
  pause_and_exit();
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
  auto folder = *elevated ? create_staging_folder() : temp_directory();
  if (!folder) internal_failure_unwrap(folder.error());
  const PathText installer_path = join_path(*folder, kInstallerFileName);
  // curl gets text, not the exact path: a lone surrogate becomes U+FFFD here
  // and the same text is what the user is shown if the start fails. (Such
  // a folder is one curl starts in, by its exact units: curl_folder.h.)
  const std::string installer_path_text = utf8_for_display(installer_path.bytes());

  // Elevated, curl is looked for only where only administrators can write.
  download_installer(*folder, installer_path_text,
                     *elevated ? ProgramSearch::AdministratorFolders : ProgramSearch::Everywhere);

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
  start_only_if_signed_by_vendor(installer_file, held);
#endif
  auto installer = held ? spawn_process(ProcessCommand(installer_program))
                        : std::expected<ChildProcess, SystemError>(std::unexpected(held.error()));
  // Let go only once CreateProcessW has returned: Windows has the image
  // open by then, and a failed start leaves nothing to guard.
  if (held) held->reset();
  if (!installer) {
    const ErrorDisplay shown = installer.error().display();
    print_stderr(TextPieces(kCannotStartInstaller).append(shown.pieces()).add(kLineFeed));
    print_stderr({kDownloadedTo, installer_path_text, kLineFeed});
    print_stderr(kRunByHand);
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
