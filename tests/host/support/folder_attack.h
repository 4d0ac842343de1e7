// Another program of the same user, running unelevated, going after the
// elevated run's own folder: at every seam call from the one after the
// folder's creation until the installer's start, it tries to create,
// write, replace, rename, delete and redirect on the folder's path and
// inside it, and keeps every answer. A rename or deletion that got through
// is followed by a planted file, as an attacker would leave one.
#pragma once

#include <string>
#include <vector>

#include "fake_windows.h"

namespace vant::testing {

class FolderAttack {
 public:
  FolderAttack();
  FolderAttack(const FolderAttack&) = delete;
  FolderAttack& operator=(const FolderAttack&) = delete;

  // The folder the program made (empty until it did).
  const std::u16string& folder() const { return folder_; }
  // How many seam calls were attacked.
  std::size_t rounds() const { return rounds_; }
  // "<seam call>: <operation>" for every operation that got through.
  const std::vector<std::string>& got_through() const { return got_through_; }

 private:
  void on_call(const std::string& call);
  void attack(const std::string& call);

  std::u16string folder_;
  bool done_ = false;
  std::size_t rounds_ = 0;
  std::vector<std::string> got_through_;
};

}  // namespace vant::testing
