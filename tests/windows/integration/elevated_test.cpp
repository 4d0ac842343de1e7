// An elevated run downloads into a new folder of its own under the Windows
// folder's Temp and starts the installer from there; it never uses TEMP,
// and finds curl only in the system and Windows folders. Every process
// Wine starts is elevated; the fixture's runs use the linked, unelevated
// token unless a test turns it off, as these do.
//
// Wine stores no DACL: it answers CreateDirectoryW with one, but its access
// checks are Unix permissions, which root passes. So these tests show the
// folder chosen and used; that only administrators can change it is shown
// against the fake (host tests). As a user other than root, Wine turns a
// DACL that grants that user nothing into mode 000, and the run's curl could
// not write there: the tests then skip.
//
// curl lies in the prefix's system folder (a run that is elevated never
// looks beside the program), so these run with the system folder tests.
#include <windows.h>
#include <sddl.h>

#include <cwctype>
#include <set>
#include <string>

#include "expected_output.h"
#include "setup_run.h"
#include "support/text.h"

namespace vant_test {
namespace {

std::wstring lower(std::wstring text) {
  for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(c));
  return text;
}

bool this_process_is_wow64() {
  BOOL wow64 = FALSE;
  return IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
}

std::wstring native_system32() {
  return this_process_is_wow64() ? L"C:\\windows\\sysnative" : L"C:\\windows\\system32";
}

// <Windows>\Temp\ as this test reads it.
std::wstring windows_temp() {
  wchar_t folder[MAX_PATH];
  const UINT n = GetSystemWindowsDirectoryW(folder, MAX_PATH);
  return std::wstring(folder, n) + L"\\temp\\";
}

// Whether a folder made with the run's DACL can take a file from this
// process (see above).
bool dacl_leaves_a_writable_folder(const std::wstring& probe) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)", SDDL_REVISION_1,
                                                            &descriptor, nullptr)) {
    return false;
  }
  SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
  const bool made = CreateDirectoryW(probe.c_str(), &attributes);
  LocalFree(descriptor);
  if (!made) return false;
  const std::wstring file = probe + L"\\probe.txt";
  const HANDLE handle =
      CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  const bool writable = handle != INVALID_HANDLE_VALUE;
  if (writable) CloseHandle(handle);
  DeleteFileW(file.c_str());
  RemoveDirectoryW(probe.c_str());
  return writable;
}

class ElevatedRun : public SetupRun {
 protected:
  void SetUp() override {
    SetupRun::SetUp();
    if (!dacl_leaves_a_writable_folder(scratch_ + L"probe")) {
      GTEST_SKIP() << "Wine gives a folder with this DACL no Unix permission for this user (not root)";
    }
    limited_token_ = false;
    DeleteFileW((native_system32() + L"\\curl.exe").c_str());
    // Wine runs a file in its system folders as its own built-in program
    // unless told to load the file itself.
    env_[L"WINEDLLOVERRIDES"] = L"curl=n";
  }

  void TearDown() override {
    DeleteFileW((native_system32() + L"\\curl.exe").c_str());
    // What the runs left in Windows' Temp.
    for (const std::wstring& folder : made_) {
      DeleteFileW((folder + L"\\vant_installer_latest.exe").c_str());
      RemoveDirectoryW(folder.c_str());
    }
  }

  // The folder of the installer path curl was given, remembered for the
  // clean-up.
  std::wstring download_folder(const RunResult& result) {
    const std::wstring path = only_record(result.curl, "curl").units(expected::kCurlOutputPath).value_or(L"");
    const std::wstring folder = path.substr(0, path.rfind(L'\\'));
    made_.insert(folder);
    return folder;
  }

  // Whether `folder` is <Windows>\Temp\vant-<32 hex digits>.
  static ::testing::AssertionResult is_own_folder(const std::wstring& folder) {
    const std::wstring temp = lower(windows_temp());
    const std::wstring seen = lower(folder);
    if (!seen.starts_with(temp))
      return ::testing::AssertionFailure() << to_utf8(folder) << " is not in " << to_utf8(temp);
    const std::wstring name = seen.substr(temp.size());
    if (name.size() != 37 || !name.starts_with(L"vant-") ||
        name.find_first_not_of(L"0123456789abcdef", 5) != std::wstring::npos) {
      return ::testing::AssertionFailure() << to_utf8(name) << " is not vant- and 32 hex digits";
    }
    return ::testing::AssertionSuccess();
  }

  bool temp_is_empty() const {
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW((temp_ + L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return true;
    bool empty = true;
    do {
      const std::wstring name = found.cFileName;
      if (name != L"." && name != L"..") empty = false;
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return empty;
  }

  std::set<std::wstring> made_;
};

TEST_F(ElevatedRun, DownloadsIntoANewFolderUnderWindowsTempAndStartsTheInstallerThere) {
  place_curl(native_system32());
  const RunResult result = run();

  EXPECT_EQ(result.launch.exit_code, 0u) << result.err;
  EXPECT_EQ(result.out, expected::kSuccessOutput);
  EXPECT_EQ(result.err, "");
  const std::wstring folder = download_folder(result);
  EXPECT_TRUE(is_own_folder(folder));
  const std::wstring installer = folder + L"\\vant_installer_latest.exe";
  const Record& curl = only_record(result.curl, "curl");
  EXPECT_EQ(curl.get("argc"), expected::kCurlArgcText);
  EXPECT_EQ(curl.units(expected::kCurlOutputFlag), L"-o");
  // Wine spells the image's folders as the disk does (temp, not Temp).
  EXPECT_EQ(lower(only_record(result.installer, "the installer").units("image").value_or(L"")), lower(installer));
  // TEMP was set, and nothing came there.
  EXPECT_TRUE(temp_is_empty());
}

TEST_F(ElevatedRun, TwoRunsUseTwoFolders) {
  place_curl(native_system32());
  const RunResult first = run();
  ASSERT_EQ(first.launch.exit_code, 0u) << first.err;
  const std::wstring first_folder = download_folder(first);
  DeleteFileW((records_ + L"\\curl.txt").c_str());
  DeleteFileW((records_ + L"\\installer.txt").c_str());
  const RunResult second = run();
  ASSERT_EQ(second.launch.exit_code, 0u) << second.err;
  const std::wstring second_folder = download_folder(second);
  EXPECT_TRUE(is_own_folder(first_folder));
  EXPECT_TRUE(is_own_folder(second_folder));
  EXPECT_NE(lower(first_folder), lower(second_folder));
}

// The system has no curl: one beside the program (the fixture puts it
// there) and one on PATH are never run.
TEST_F(ElevatedRun, CurlBesideTheProgramOrOnPathDoesNotRun) {
  const std::wstring on_path = folder(L"tools");
  place_curl(on_path);
  env_[L"PATH"] = on_path + L";C:\\windows\\system32;C:\\windows";
  const RunResult result = run();

  EXPECT_EQ(result.launch.exit_code, 1u);
  EXPECT_EQ(result.err, expected::cannot_run_tool("program not found"));
  EXPECT_EQ(result.out, expected::kBanner + expected::kPressEnter);
  EXPECT_TRUE(result.curl.empty());
}

// With the linked token the run is as it always was: TEMP, and the system
// folder's curl before the one beside the program.
TEST_F(ElevatedRun, UnelevatedRunStillUsesTemp) {
  limited_token_ = true;
  place_curl(native_system32());
  const RunResult result = run();

  EXPECT_EQ(result.launch.exit_code, 0u) << result.err;
  const Record& curl = only_record(result.curl, "curl");
  EXPECT_EQ(curl.units(expected::kCurlOutputPath), installer_path());
  EXPECT_EQ(only_record(result.installer, "the installer").units("image"), installer_path());
}

// What the user's own programs can set: variables that change whom curl
// trusts or where it writes, TEMP and TMP, and the current folder.
constexpr const wchar_t* kUserTrustVariables[] = {L"CURL_CA_BUNDLE", L"SSL_CERT_FILE", L"SSL_CERT_DIR",
                                                  L"SSLKEYLOGFILE", L"CURL_SSL_BACKEND"};

class ElevatedChildren : public ElevatedRun {
 protected:
  void SetUp() override {
    ElevatedRun::SetUp();
    if (IsSkipped()) return;
    place_curl(native_system32());
    planted_ = folder(L"user files") + L"\\planted";
    for (const wchar_t* name : kUserTrustVariables) env_[name] = planted_;
    // A proxy sees only encrypted bytes: the user's stays.
    env_[L"https_proxy"] = L"http://127.0.0.1:9";
    current_folder_ = folder(L"Downloads");
  }
  std::wstring planted_;
};

TEST_F(ElevatedChildren, GetNoneOfTheUsersTrustVariablesAndWorkInTheRunsFolder) {
  const RunResult result = run();
  ASSERT_EQ(result.launch.exit_code, 0u) << result.err;
  const std::wstring run_folder = lower(download_folder(result));
  ASSERT_TRUE(is_own_folder(run_folder));
  const Record& curl = only_record(result.curl, "curl");
  const Record& installer = only_record(result.installer, "the installer");
  for (const Record* child : {&curl, &installer}) {
    for (const wchar_t* name : kUserTrustVariables) {
      EXPECT_EQ(child->units("env." + to_utf8(name)), std::nullopt) << to_utf8(name);
    }
    EXPECT_EQ(child->units("env.https_proxy"), L"http://127.0.0.1:9");
    EXPECT_EQ(lower(child->units("cwd").value_or(L"")), run_folder);
  }
  // The installer unpacks into the run's folder, not the user's TEMP.
  EXPECT_EQ(lower(installer.units("env.TEMP").value_or(L"")), run_folder);
  EXPECT_EQ(lower(installer.units("env.TMP").value_or(L"")), run_folder);
}

TEST_F(ElevatedChildren, UnelevatedTheyGetTheUsersVariablesAndFolderUnchanged) {
  limited_token_ = true;
  const RunResult result = run();
  ASSERT_EQ(result.launch.exit_code, 0u) << result.err;
  for (const Record* child : {&only_record(result.curl, "curl"), &only_record(result.installer, "the installer")}) {
    for (const wchar_t* name : kUserTrustVariables) EXPECT_EQ(child->units("env." + to_utf8(name)), planted_);
    EXPECT_EQ(child->units("cwd"), current_folder_);
  }
}

}  // namespace
}  // namespace vant_test
