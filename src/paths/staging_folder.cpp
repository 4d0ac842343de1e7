#include "paths/staging_folder.h"

#include <array>
#include <cstdint>
#include <span>
#include <string>

#include "paths/join_path.h"
#include "paths/windows_path.h"
#include "platform/random.h"
#include "platform/unique_resource.h"
#include "platform/win_api.h"
#include "platform/windows_text.h"

namespace vant {
namespace {

// D: the DACL; P: protected, so none of Temp's inheritable entries (Users
// may create files and folders, CREATOR OWNER full control) reach the
// folder; each (A;OICI;FA;;;X): allow X full control of the folder, and of
// every file (OI) and folder (CI) created in it. SY is SYSTEM, BA the
// Administrators group, which an elevated token has enabled and an
// unelevated one of the same user only for denying. The owner is left to
// the token's default (Administrators when elevated).
constexpr char16_t kAdministratorsOnly[] = u"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";

// Memory that Windows allocated for the caller (a security descriptor),
// given back with LocalFree.
struct LocalMemoryTraits {
  using Value = void*;
  static constexpr Value kNone = nullptr;
  void close(Value memory) const { (void)win::LocalFree(memory); }
};

// <Windows folder>\Temp\ as UTF-16. Example: C:\Windows -> C:\Windows\Temp\;
// a root C:\ -> C:\Temp\.
std::expected<std::u16string, SystemError> windows_temp() {
  auto folder =
      fill_text_buffer([](win::DWORD size, char16_t* buffer) { return win::GetSystemWindowsDirectoryW(buffer, size); },
                       [](std::span<const char16_t> units) { return std::u16string(units.begin(), units.end()); });
  if (!folder) return std::unexpected(folder.error());
  // Windows always has a Windows folder; an empty answer would make the
  // folder relative to the current drive.
  if (folder->empty()) return std::unexpected(SystemError::from_code(win::ERROR_PATH_NOT_FOUND));
  if (folder->back() != u'\\') folder->push_back(u'\\');
  folder->append(u"Temp\\");
  return std::move(*folder);
}

// Appends "vant-" and the bytes in lower-case hex, high nibble first.
// Example: 0f 1e ... f0 -> vant-0f1e...f0
void append_folder_name(std::u16string& path, std::span<const std::uint8_t> bytes) {
  constexpr char16_t kDigits[] = u"0123456789abcdef";
  path.append(u"vant-");
  for (const std::uint8_t byte : bytes) {
    path.push_back(kDigits[byte >> 4]);
    path.push_back(kDigits[byte & 0xF]);
  }
}

}  // namespace

std::expected<PathText, SystemError> create_staging_folder() {
  auto folder = windows_temp();
  if (!folder) return std::unexpected(folder.error());
  const std::size_t temp_length = folder->size();

  UniqueResource<LocalMemoryTraits> descriptor;
  if (!win::ConvertStringSecurityDescriptorToSecurityDescriptorW(kAdministratorsOnly, win::SDDL_REVISION_1,
                                                                 descriptor.out(), nullptr)) {
    return std::unexpected(SystemError::from_last_error());
  }
  // bInheritHandle means nothing here: CreateDirectoryW makes no handle.
  const win::SECURITY_ATTRIBUTES attributes{sizeof(win::SECURITY_ATTRIBUTES), descriptor.get(), 0};

  for (int attempt = 0; attempt < kStagingFolderAttempts; ++attempt) {
    std::array<std::uint8_t, 16> bytes{};
    if (auto filled = fill_random(bytes); !filled) return std::unexpected(filled.error());
    // Short enough for a plain path: the Windows folder is a short drive
    // path on every Windows that installs, and a longer one fails here with
    // CreateDirectoryW's error rather than going anywhere else.
    folder->resize(temp_length);
    append_folder_name(*folder, bytes);
    if (win::CreateDirectoryW(folder->c_str(), &attributes)) return path_from_wide(*folder);
    const SystemError error = SystemError::from_last_error();
    if (error.os_code() != static_cast<std::int32_t>(win::ERROR_ALREADY_EXISTS)) return std::unexpected(error);
  }
  return std::unexpected(SystemError::from_code(win::ERROR_ALREADY_EXISTS));
}

}  // namespace vant

namespace vant {

std::expected<void, SystemError> remove_staging_folder(const PathText& folder, std::string_view file_name) {
  const auto file = to_windows_path(join_path(folder, file_name).bytes());
  if (!file) return std::unexpected(file.error());
  if (!win::DeleteFileW(file->c_str())) {
    const SystemError error = SystemError::from_last_error();
    if (error.os_code() != static_cast<std::int32_t>(win::ERROR_FILE_NOT_FOUND)) return std::unexpected(error);
  }
  const auto path = to_windows_path(folder.bytes());
  if (!path) return std::unexpected(path.error());
  if (!win::RemoveDirectoryW(path->c_str())) return std::unexpected(SystemError::from_last_error());
  return {};
}

}  // namespace vant
