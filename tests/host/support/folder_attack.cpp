#include "support/folder_attack.h"

namespace vant::testing {
namespace {

// The other party's own folder, where it keeps what it plants and where it
// points its junctions.
constexpr char16_t kOwnFolder[] = u"C:\\Users\\user\\AppData\\Local\\Temp";

}  // namespace

FolderAttack::FolderAttack() {
  fake::world().on_call = [this](const std::string& call) { on_call(call); };
}

void FolderAttack::on_call(const std::string& call) {
  auto& w = fake::world();
  if (done_) return;
  if (folder_.empty()) {
    // Armed once the previous call made the folder.
    if (w.directory_calls.empty() || w.directory_calls.back().result != 0 || w.calls.size() < 2 ||
        !w.calls[w.calls.size() - 2].starts_with("CreateDirectoryW(")) {
      return;
    }
    folder_ = w.disk_path(w.directory_calls.back().path);
  }
  attack(call);
  // Once the installer's CreateProcessW runs, what it starts is decided.
  if (call.starts_with("CreateProcessW(") && call.find("vant_installer_latest.exe") != std::string::npos) {
    done_ = true;
  }
}

void FolderAttack::attack(const std::string& call) {
  auto& w = fake::world();
  ++rounds_;
  const std::u16string installer = folder_ + u"\\vant_installer_latest.exe";
  const std::u16string planted = std::u16string(kOwnFolder) + u"\\planted.exe";
  const std::u16string temp = folder_.substr(0, folder_.rfind(u'\\'));
  const auto plant = [&] {
    if (!w.exists(planted)) (void)w.other_party_creates(planted, "planted");
  };
  const auto note = [&](const char* operation, win::DWORD answer) {
    if (answer == 0) got_through_.push_back(call + ": " + operation);
  };

  // Inside: a library beside the installer, a folder, the installer itself
  // before curl writes it (squatting) or after (overwriting, replacing,
  // renaming away, deleting).
  note("create a library inside", w.other_party_creates(folder_ + u"\\version.dll", "planted"));
  note("create a folder inside", w.other_party_creates_folder(folder_ + u"\\sub"));
  if (!w.exists(installer)) {
    note("create the installer", w.other_party_creates(installer, "planted"));
  } else {
    note("write the installer", w.other_party_writes(installer, "planted"));
    plant();
    note("replace the installer", w.other_party_replaces(installer, planted));
    note("rename the installer", w.other_party_renames(installer, std::u16string(kOwnFolder) + u"\\moved.exe"));
    note("delete the installer", w.other_party_deletes(installer));
    if (!w.exists(installer)) (void)w.other_party_creates(installer, "planted");
  }
  // The folder itself and the one above it: renamed away, deleted, or
  // replaced by a junction to the other party's folder.
  note("rename the folder", w.other_party_renames(folder_, std::u16string(kOwnFolder) + u"\\moved"));
  note("delete the folder", w.other_party_deletes(folder_));
  note("redirect the folder", w.other_party_redirects(folder_, kOwnFolder));
  note("rename Temp", w.other_party_renames(temp, u"C:\\Windows\\Temp.old"));
  note("redirect Temp", w.other_party_redirects(temp, kOwnFolder));
  if (!w.exists(folder_)) (void)w.other_party_redirects(folder_, kOwnFolder);
}

}  // namespace vant::testing
