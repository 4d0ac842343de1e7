// The fake's security model: tokens, security descriptors given as SDDL,
// the DACLs of folders and what they let the program and the other party
// do, and the system's random generator.
#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string_view>

#include "fake_windows.h"

namespace fake {
namespace {

void log(std::string entry) { world().record_call(std::move(entry)); }

// Generic rights as a file's generic mapping gives them.
DWORD map_generic(DWORD mask) {
  constexpr DWORD kGenericRead = 0x80000000, kGenericWrite = 0x40000000, kGenericExecute = 0x20000000,
                  kGenericAll = 0x10000000;
  DWORD mapped = mask & 0x0FFFFFFF;
  if (mask & kGenericRead) mapped |= 0x120089;     // FILE_GENERIC_READ
  if (mask & kGenericWrite) mapped |= 0x120116;    // FILE_GENERIC_WRITE
  if (mask & kGenericExecute) mapped |= 0x1200A0;  // FILE_GENERIC_EXECUTE
  if (mask & kGenericAll) mapped |= kFileAllAccess;
  return mapped;
}

// The identities each actor's token has enabled for allowing: the user's
// own account and its groups; Administrators only for an elevated program
// (an unelevated token of the same user has it for denying only).
// OWNER RIGHTS stands for whoever owns the object: the token is the owner
// when the owner is its user or a group it has enabled.
bool has_sid(Actor actor, const std::string& sid, const std::string& owner) {
  if (sid == "OW") return owner != "OW" && has_sid(actor, owner, "");
  if (sid == "UU" || sid == "BU" || sid == "AU" || sid == "WD") return true;
  return sid == "BA" && actor == Actor::Program && world().elevated && world().in_administrators;
}

int integrity_of(Actor actor) { return actor == Actor::Program && world().elevated ? 3 : 2; }

// What a new file or folder under `parent` inherits, with its owner for
// CREATOR OWNER. An entry that a folder passes on to folders (CI) stays
// inheritable there unless NP says otherwise; CREATOR OWNER becomes the
// owner for the object itself and stays CREATOR OWNER for what it passes on.
Security inherit(const Security& parent, bool folder, const std::string& owner) {
  Security child;
  child.owner = owner;
  if (parent.label) {
    const DWORD flags = parent.label->flags;
    if (folder ? (flags & kContainerInherit) != 0 : (flags & kObjectInherit) != 0) {
      child.label = parent.label;
      if (!folder || (flags & kNoPropagate)) child.label->flags = 0;
    }
  }
  for (const Ace& ace : parent.aces) {
    const bool applies = folder ? (ace.flags & kContainerInherit) != 0 : (ace.flags & kObjectInherit) != 0;
    if (!applies) continue;
    Ace own = ace;
    own.flags = 0;
    if (own.sid == "CO") own.sid = owner;
    child.aces.push_back(own);
    if (folder && !(ace.flags & kNoPropagate)) {
      Ace passed = ace;
      passed.flags = (ace.flags & (kObjectInherit | kContainerInherit)) | kInheritOnly;
      child.aces.push_back(passed);
    }
  }
  return child;
}

std::string owner_of(Actor actor) {
  return actor == Actor::Program && world().elevated && world().in_administrators ? "BA" : "UU";
}

std::optional<std::string> read_sid(std::u16string_view text) {
  for (const char* sid : {"SY", "BA", "BU", "AU", "WD", "CO", "OW", "UU"}) {
    if (text.size() == 2 && text[0] == static_cast<char16_t>(sid[0]) && text[1] == static_cast<char16_t>(sid[1])) {
      return std::string(sid);
    }
  }
  return std::nullopt;
}

std::optional<DWORD> read_rights(std::u16string_view text) {
  if (text.starts_with(u"0x") && text.size() > 2) {
    DWORD value = 0;
    for (const char16_t c : text.substr(2)) {
      const int digit = c >= u'0' && c <= u'9'   ? c - u'0'
                        : c >= u'a' && c <= u'f' ? c - u'a' + 10
                        : c >= u'A' && c <= u'F' ? c - u'A' + 10
                                                 : -1;
      if (digit < 0) return std::nullopt;
      value = value * 16 + static_cast<DWORD>(digit);
    }
    return map_generic(value);
  }
  if (text.empty() || text.size() % 2 != 0) return std::nullopt;
  DWORD mask = 0;
  for (std::size_t i = 0; i < text.size(); i += 2) {
    const std::u16string_view right = text.substr(i, 2);
    if (right == u"FA" || right == u"GA")
      mask |= kFileAllAccess;
    else if (right == u"GR" || right == u"FR")
      mask |= 0x120089;
    else if (right == u"GW" || right == u"FW")
      mask |= 0x120116;
    else if (right == u"GX" || right == u"FX")
      mask |= 0x1200A0;
    else
      return std::nullopt;
  }
  return mask;
}

std::optional<DWORD> read_ace_flags(std::u16string_view text) {
  DWORD flags = 0;
  if (text.size() % 2 != 0) return std::nullopt;
  for (std::size_t i = 0; i < text.size(); i += 2) {
    const std::u16string_view flag = text.substr(i, 2);
    if (flag == u"OI")
      flags |= kObjectInherit;
    else if (flag == u"CI")
      flags |= kContainerInherit;
    else if (flag == u"NP")
      flags |= kNoPropagate;
    else if (flag == u"IO")
      flags |= kInheritOnly;
    else if (flag != u"ID")
      return std::nullopt;
  }
  return flags;
}

}  // namespace

std::u16string parent_folder(std::u16string_view path) {
  const std::size_t slash = path.find_last_of(u'\\');
  if (slash == std::u16string_view::npos) return std::u16string();
  // The parent of C:\a is C:\, spelt with its separator as the file table
  // spells a drive's root.
  if (slash == 2 && path.size() > 3 && path[1] == u':') return std::u16string(path.substr(0, 3));
  return std::u16string(path.substr(0, slash));
}

// Gives a new entry of the file table its security: `explicit_security`
// (from CreateDirectoryW's attributes), with what its folder passes on
// unless that is protected. Under no DACL at all (the user's own folders)
// nothing is kept, so the entry belongs to the user as well.
void give_new_entry_security(const std::u16string& key, bool folder, Actor actor, const Security* explicit_security) {
  auto& w = world();
  const std::u16string parent = parent_folder(key);
  const bool parent_has_dacl = [&] {
    for (std::u16string at = parent; !at.empty(); at = parent_folder(at)) {
      if (w.security.count(at) != 0) return true;
      if (at.size() <= 3) break;
    }
    return false;
  }();
  if (explicit_security == nullptr && !parent_has_dacl) return;
  Security security;
  security.owner =
      explicit_security != nullptr && !explicit_security->owner.empty() ? explicit_security->owner : owner_of(actor);
  if (explicit_security != nullptr) {
    security.dacl_protected = explicit_security->dacl_protected;
    security.aces = explicit_security->aces;
    security.label = explicit_security->label;
  }
  if (parent_has_dacl) {
    const Security inherited = inherit(w.security_of(parent), folder, security.owner);
    if (!security.dacl_protected)
      security.aces.insert(security.aces.end(), inherited.aces.begin(), inherited.aces.end());
    if (!security.label) security.label = inherited.label;
  }
  w.security[key] = security;
}

std::optional<Security> parse_sddl(std::u16string_view text) {
  Security security;
  if (text.starts_with(u"O:")) {
    const std::size_t end = text.find(u"D:");
    if (end == std::u16string_view::npos) return std::nullopt;
    const auto owner = read_sid(text.substr(2, end - 2));
    if (!owner) return std::nullopt;
    security.owner = *owner;
    text.remove_prefix(end);
  }
  if (!text.starts_with(u"D:")) return std::nullopt;
  text.remove_prefix(2);
  // A label after the DACL: S:(ML;<flags>;<policy>;;;<level>).
  if (const std::size_t sacl = text.find(u"S:("); sacl != std::u16string_view::npos) {
    std::u16string_view label = text.substr(sacl + 3);
    text = text.substr(0, sacl);
    if (!label.ends_with(u")")) return std::nullopt;
    label.remove_suffix(1);
    std::vector<std::u16string_view> fields;
    for (std::size_t start = 0;;) {
      const std::size_t semicolon = label.find(u';', start);
      fields.push_back(label.substr(start, semicolon == std::u16string_view::npos ? label.npos : semicolon - start));
      if (semicolon == std::u16string_view::npos) break;
      start = semicolon + 1;
    }
    if (fields.size() != 6 || fields[0] != u"ML" || !fields[3].empty() || !fields[4].empty()) return std::nullopt;
    const auto flags = read_ace_flags(fields[1]);
    if (!flags) return std::nullopt;
    Label parsed;
    parsed.flags = *flags;
    for (std::size_t i = 0; i + 1 < fields[2].size() + 1; i += 2) {
      const std::u16string_view policy = fields[2].substr(i, 2);
      if (policy == u"NW")
        parsed.no_write_up = true;
      else if (policy == u"NR")
        parsed.no_read_up = true;
      else if (policy == u"NX")
        parsed.no_execute_up = true;
      else
        return std::nullopt;
    }
    const std::u16string_view level = fields[5];
    parsed.level = level == u"LW" ? 1 : level == u"ME" ? 2 : level == u"HI" ? 3 : level == u"SI" ? 4 : 0;
    if (parsed.level == 0) return std::nullopt;
    security.label = parsed;
  }
  while (!text.empty() && text[0] != u'(') {
    if (text.starts_with(u"P")) {
      security.dacl_protected = true;
      text.remove_prefix(1);
    } else if (text.starts_with(u"AI") || text.starts_with(u"AR")) {
      text.remove_prefix(2);
    } else {
      return std::nullopt;
    }
  }
  while (!text.empty()) {
    const std::size_t end = text.find(u')');
    if (text[0] != u'(' || end == std::u16string_view::npos) return std::nullopt;
    std::u16string_view ace = text.substr(1, end - 1);
    text.remove_prefix(end + 1);
    std::vector<std::u16string_view> fields;
    for (std::size_t start = 0;;) {
      const std::size_t semicolon = ace.find(u';', start);
      fields.push_back(ace.substr(start, semicolon == std::u16string_view::npos ? ace.npos : semicolon - start));
      if (semicolon == std::u16string_view::npos) break;
      start = semicolon + 1;
    }
    if (fields.size() != 6 || fields[0] != u"A" || !fields[3].empty() || !fields[4].empty()) return std::nullopt;
    const auto flags = read_ace_flags(fields[1]);
    const auto rights = read_rights(fields[2]);
    const auto sid = read_sid(fields[5]);
    if (!flags || !rights || !sid) return std::nullopt;
    security.aces.push_back(Ace{*sid, *rights, *flags});
  }
  return security;
}

Security FakeWindows::security_of(std::u16string_view disk_path) const {
  const std::u16string path(disk_path);
  if (const auto own = security.find(path); own != security.end()) return own->second;
  const auto entry = files.find(path);
  const bool folder = entry != files.end() && (entry->second & win::FILE_ATTRIBUTE_DIRECTORY) != 0;
  for (std::u16string at = parent_folder(path); !at.empty(); at = parent_folder(at)) {
    if (const auto above = security.find(at); above != security.end()) {
      return inherit(above->second, folder, above->second.owner);
    }
    if (at.size() <= 3) break;
  }
  // The user's own: full control for every identity the model knows.
  return Security{"UU", false, {Ace{"WD", kFileAllAccess, 0}}, std::nullopt};
}

bool FakeWindows::may(Actor actor, std::u16string_view disk_path, DWORD access) const {
  const Security object = security_of(disk_path);
  DWORD granted = 0;
  for (const Ace& ace : object.aces) {
    if (!(ace.flags & kInheritOnly) && has_sid(actor, ace.sid, object.owner)) granted |= ace.mask;
  }
  // The label is checked after the DACL, whatever it granted.
  if (object.label && integrity_of(actor) < object.label->level) {
    if (object.label->no_write_up) granted &= ~DWORD{0xD0156};  // write data, EA, attributes, delete, DAC, owner
    if (object.label->no_read_up) granted &= ~DWORD{0x89};      // read data, EA, attributes
    if (object.label->no_execute_up) granted &= ~kExecuteFile;
  }
  return (map_generic(access) & ~granted) == 0;
}

bool FakeWindows::may_delete(Actor actor, std::u16string_view disk_path) const {
  return may(actor, disk_path, kDeleteRight) || may(actor, parent_folder(disk_path), kDeleteChild);
}

DWORD FakeWindows::child_writes_file(std::u16string_view path, std::string content) {
  const std::u16string key = file_system_path(path);
  const auto parent = files.find(parent_folder(key));
  if (parent == files.end() || !(parent->second & win::FILE_ATTRIBUTE_DIRECTORY)) return win::ERROR_PATH_NOT_FOUND;
  if (files.count(key) != 0) {
    if (!may(Actor::Program, key, kAddFile)) return win::ERROR_ACCESS_DENIED;
    if (const DWORD error = sharing_conflict(key, kAddFile, 0x7)) return error;
  } else {
    if (!may(Actor::Program, parent->first, kAddFile)) return win::ERROR_ACCESS_DENIED;
    files[key] = win::FILE_ATTRIBUTE_NORMAL;
    give_new_entry_security(key, false, Actor::Program, nullptr);
  }
  contents[key] = std::move(content);
  signatures.erase(key);
  return 0;
}

DWORD FakeWindows::other_party_creates(std::u16string_view path, std::string content) {
  const std::u16string key = disk_path(path);
  if (files.count(key) != 0) return 80;  // ERROR_FILE_EXISTS
  if (files.count(parent_folder(key)) == 0) return win::ERROR_PATH_NOT_FOUND;
  if (!may(Actor::OtherParty, parent_folder(key), kAddFile)) return win::ERROR_ACCESS_DENIED;
  files[key] = win::FILE_ATTRIBUTE_NORMAL;
  give_new_entry_security(key, false, Actor::OtherParty, nullptr);
  contents[key] = std::move(content);
  return 0;
}

DWORD FakeWindows::other_party_creates_folder(std::u16string_view path) {
  const std::u16string key = disk_path(path);
  if (files.count(key) != 0) return win::ERROR_ALREADY_EXISTS;
  if (files.count(parent_folder(key)) == 0) return win::ERROR_PATH_NOT_FOUND;
  if (!may(Actor::OtherParty, parent_folder(key), kAddSubdirectory)) return win::ERROR_ACCESS_DENIED;
  files[key] = win::FILE_ATTRIBUTE_DIRECTORY;
  give_new_entry_security(key, true, Actor::OtherParty, nullptr);
  return 0;
}

DWORD FakeWindows::other_party_redirects(std::u16string_view path, std::u16string_view target) {
  const std::u16string key = disk_path(path);
  const auto entry = files.find(key);
  if (entry == files.end()) {
    if (const DWORD error = other_party_creates_folder(path)) return error;
  } else {
    if (!(entry->second & win::FILE_ATTRIBUTE_DIRECTORY)) return win::ERROR_ACCESS_DENIED;
    if (!may(Actor::OtherParty, key, kWriteAttributes)) return win::ERROR_ACCESS_DENIED;
    for (const auto& [inside, attributes] : files) {
      if (inside.size() > key.size() + 1 && same_no_case(std::u16string_view(inside).substr(0, key.size()), key) &&
          inside[key.size()] == u'\\') {
        return 145;  // ERROR_DIR_NOT_EMPTY
      }
    }
  }
  files[key] = win::FILE_ATTRIBUTE_DIRECTORY | 0x400;  // FILE_ATTRIBUTE_REPARSE_POINT
  // Kept without a final separator, as the file table's keys are.
  std::u16string to = disk_path(target);
  if (to.size() > 3 && to.back() == u'\\') to.pop_back();
  junctions[key] = to;
  return 0;
}

bool FakeWindows::is_system_function(win::FARPROC proc, std::u16string_view library, std::string_view function) {
  const auto found = procedures.find(static_cast<std::uintptr_t>(proc));
  if (found == procedures.end() || found->second.name != function) {
    throw std::logic_error("Invoke" + std::string(function) + ": not the address of " + std::string(function));
  }
  const std::u16string path = system_directory + u"\\" + std::u16string(library);
  if (same_no_case(found->second.library, path)) return true;
  foreign_calls.push_back(utf8(found->second.library) + "!" + std::string(function));
  last_error() = win::ERROR_INVALID_PARAMETER;
  return false;
}

}  // namespace fake

// ---- The seam, bound to the model ------------------------------------------

namespace win {

using fake::world;

BOOL OpenProcessToken(HANDLE ProcessHandle, DWORD DesiredAccess, HANDLE* TokenHandle) {
  auto& w = world();
  fake::log("OpenProcessToken");
  *TokenHandle = NULL_HANDLE;
  if (ProcessHandle != w.current_process) {
    w.last_error() = ERROR_INVALID_HANDLE;
    return 0;
  }
  if (w.open_token_error) {
    w.last_error() = *w.open_token_error;
    return 0;
  }
  auto token = std::make_shared<fake::Object>();
  token->label = "token:" + std::to_string(DesiredAccess);
  *TokenHandle = w.add_object(std::move(token));
  return 1;
}

BOOL GetTokenInformation(HANDLE TokenHandle, TOKEN_INFORMATION_CLASS TokenInformationClass, void* TokenInformation,
                         DWORD TokenInformationLength, DWORD* ReturnLength) {
  auto& w = world();
  fake::log("GetTokenInformation(" + std::to_string(static_cast<int>(TokenInformationClass)) + ")");
  const auto token = w.object_of(TokenHandle);
  // A token opened without TOKEN_QUERY cannot be asked.
  if (!token || !token->label.starts_with("token:")) {
    w.last_error() = ERROR_INVALID_HANDLE;
    return 0;
  }
  if ((std::stoul(token->label.substr(6)) & TOKEN_QUERY) == 0) {
    w.last_error() = ERROR_ACCESS_DENIED;
    return 0;
  }
  if (w.token_information_error) {
    w.last_error() = *w.token_information_error;
    return 0;
  }
  if (TokenInformationClass != TOKEN_INFORMATION_CLASS::TokenElevation) {
    w.last_error() = ERROR_INVALID_PARAMETER;
    return 0;
  }
  *ReturnLength = sizeof(TOKEN_ELEVATION);
  if (TokenInformationLength < sizeof(TOKEN_ELEVATION)) {
    w.last_error() = ERROR_INSUFFICIENT_BUFFER;
    return 0;
  }
  const TOKEN_ELEVATION answer{w.elevated ? 1u : 0u};
  std::memcpy(TokenInformation, &answer, sizeof answer);
  return 1;
}

// The descriptor's bytes are the fake's own (a token to look it up by); the
// program never reads them.
BOOL ConvertStringSecurityDescriptorToSecurityDescriptorW(const char16_t* StringSecurityDescriptor,
                                                          DWORD StringSDRevision, void** SecurityDescriptor,
                                                          ULONG* SecurityDescriptorSize) {
  auto& w = world();
  const std::u16string text = StringSecurityDescriptor ? StringSecurityDescriptor : u"";
  fake::log("ConvertStringSecurityDescriptorToSecurityDescriptorW(" + fake::utf8(text) + ")");
  *SecurityDescriptor = nullptr;
  if (w.descriptor_error) {
    w.last_error() = *w.descriptor_error;
    return 0;
  }
  if (StringSDRevision != SDDL_REVISION_1) {
    w.last_error() = 1305;  // ERROR_UNKNOWN_REVISION
    return 0;
  }
  const auto parsed = fake::parse_sddl(text);
  if (!parsed) {
    // Windows gives ERROR_INVALID_PARAMETER or ERROR_INVALID_ACL; the
    // program only needs to see a failure.
    w.last_error() = ERROR_INVALID_PARAMETER;
    return 0;
  }
  void* block = ::operator new(20);
  w.descriptors[reinterpret_cast<std::uintptr_t>(block)] = *parsed;
  *SecurityDescriptor = block;
  if (SecurityDescriptorSize != nullptr) *SecurityDescriptorSize = 20;
  return 1;
}

void* LocalFree(void* hMem) {
  auto& w = world();
  fake::log("LocalFree");
  const auto it = w.descriptors.find(reinterpret_cast<std::uintptr_t>(hMem));
  if (it == w.descriptors.end()) {
    w.bad_frees.push_back(reinterpret_cast<std::uintptr_t>(hMem));
    w.last_error() = ERROR_INVALID_HANDLE;
    return hMem;
  }
  w.descriptors.erase(it);
  ::operator delete(hMem);
  return nullptr;
}

NTSTATUS InvokeBCryptGenRandom(FARPROC proc, void* hAlgorithm, std::uint8_t* pbBuffer, ULONG cbBuffer, ULONG dwFlags) {
  auto& w = world();
  fake::log("BCryptGenRandom(" + std::to_string(cbBuffer) + ")");
  constexpr NTSTATUS kInvalidParameter = static_cast<NTSTATUS>(0xC000000D);
  if (!w.is_system_function(proc, u"bcrypt.dll", "BCryptGenRandom")) return kInvalidParameter;
  ++w.random_calls;
  // Without an algorithm handle only the system's preferred generator can
  // be asked for.
  if (hAlgorithm != nullptr || dwFlags != BCRYPT_USE_SYSTEM_PREFERRED_RNG) return kInvalidParameter;
  if (w.random_status) return *w.random_status;
  if (!w.random_answers.empty()) {
    const std::vector<std::uint8_t> answer = w.random_answers.front();
    w.random_answers.pop_front();
    if (answer.size() != cbBuffer) throw std::logic_error("random_answers: an answer of another size");
    std::copy(answer.begin(), answer.end(), pbBuffer);
    return STATUS_SUCCESS;
  }
  for (ULONG i = 0; i < cbBuffer; ++i) {
    w.random_counter = w.random_counter * 6364136223846793005u + 1442695040888963407u;
    pbBuffer[i] = static_cast<std::uint8_t>(w.random_counter >> 56);
  }
  return STATUS_SUCCESS;
}

}  // namespace win
