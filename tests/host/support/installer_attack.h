// Another program of the same user going after the downloaded installer: at
// every seam call of a run, from the first call after the installer's file
// is opened until the installer's start, it tries to write the file, rename
// it away, replace it with its own and delete it, and keeps every answer.
// It also notes whether the file is still held at the start and at the end.
#pragma once

#include <string>
#include <vector>

#include "fake_windows.h"

namespace vant::testing {

class InstallerAttack {
 public:
  // `installer` is where curl leaves the file; the file written there is
  // labelled "genuine" (see fake::FakeWindows::contents) by the caller.
  explicit InstallerAttack(std::u16string installer);
  InstallerAttack(const InstallerAttack&) = delete;
  InstallerAttack& operator=(const InstallerAttack&) = delete;

  // What one attempt at one seam call got.
  struct Attempt {
    std::string call;  // the seam call about to run
    win::DWORD write, rename, replace, remove;
  };
  const std::vector<Attempt>& attempts() const { return attempts_; }
  // Attempts where any operation did not fail with ERROR_SHARING_VIOLATION.
  std::vector<std::string> got_through() const;

  // The handle the program opened the installer with (none: never opened).
  win::HANDLE held() const { return held_; }
  // Whether that handle was open when the installer's CreateProcessW
  // began, and when the process ended (ExitProcess).
  bool held_at_start() const { return held_at_start_; }
  bool held_at_exit() const { return held_at_exit_; }

 private:
  void on_call(const std::string& call);
  void attack(const std::string& call);

  std::u16string installer_;
  std::u16string planted_;
  std::u16string moved_;
  bool armed_ = false;
  bool done_ = false;
  win::HANDLE held_ = win::NULL_HANDLE;
  bool held_at_start_ = false;
  bool held_at_exit_ = false;
  std::vector<Attempt> attempts_;
};

}  // namespace vant::testing
