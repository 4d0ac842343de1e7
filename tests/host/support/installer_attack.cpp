#include "support/installer_attack.h"

#include <utility>

namespace vant::testing {

InstallerAttack::InstallerAttack(std::u16string installer) : installer_(std::move(installer)) {
  const std::u16string folder = installer_.substr(0, installer_.rfind(u'\\') + 1);
  planted_ = folder + u"planted.exe";
  moved_ = folder + u"moved-away.exe";
  fake::world().on_call = [this](const std::string& call) { on_call(call); };
}

std::vector<std::string> InstallerAttack::got_through() const {
  std::vector<std::string> calls;
  for (const Attempt& attempt : attempts_) {
    for (const win::DWORD answer : {attempt.write, attempt.rename, attempt.replace, attempt.remove}) {
      if (answer != win::ERROR_SHARING_VIOLATION) {
        calls.push_back(attempt.call);
        break;
      }
    }
  }
  return calls;
}

void InstallerAttack::on_call(const std::string& call) {
  auto& w = fake::world();
  // The previous call was the program's open of the installer: from now on
  // the file should be out of reach.
  if (!armed_ && !done_ && !w.create_file_calls.empty() && !w.calls.empty() && w.calls.size() >= 2 &&
      w.calls[w.calls.size() - 2].starts_with("CreateFileW(") &&
      w.create_file_calls.back().result != win::INVALID_HANDLE_VALUE) {
    armed_ = true;
    held_ = w.create_file_calls.back().result;
  }
  const bool installer_start = call == "CreateProcessW(" + fake::utf8(installer_) + ")";
  if (installer_start) held_at_start_ = w.is_open(held_);
  if (call.starts_with("ExitProcess(")) held_at_exit_ = w.is_open(held_);
  if (!armed_) return;
  attack(call);
  // Once CreateProcessW has the image, the installer runs what it got.
  if (installer_start) {
    armed_ = false;
    done_ = true;
  }
}

void InstallerAttack::attack(const std::string& call) {
  auto& w = fake::world();
  const auto plant = [&] {
    w.add_file(planted_);
    w.contents[planted_] = "planted";
  };
  Attempt attempt{call, 0, 0, 0, 0};
  attempt.write = w.other_party_writes(installer_, "planted");
  attempt.rename = w.other_party_renames(installer_, moved_);
  plant();
  attempt.replace = w.other_party_replaces(installer_, planted_);
  attempt.remove = w.other_party_deletes(installer_);
  // A rename or deletion that got through leaves no file; put a planted
  // one there, as an attacker would.
  if (!w.exists(installer_)) {
    plant();
    (void)w.other_party_renames(planted_, installer_);
  }
  attempts_.push_back(attempt);
}

}  // namespace vant::testing
