#include "setup_run.h"

#include <windows.h>

#include <cwchar>

#include "support/text.h"

namespace vant_test {

namespace {

void remove_tree(const std::wstring& path) {
  WIN32_FIND_DATAW found;
  const HANDLE search = FindFirstFileW((path + L"\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = found.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring child = path + L"\\" + name;
      SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        remove_tree(child);
      } else {
        DeleteFileW(child.c_str());
      }
    } while (FindNextFileW(search, &found));
    FindClose(search);
  }
  RemoveDirectoryW(path.c_str());
}

void make_folders(const std::wstring& path) {
  for (std::size_t i = 3; i <= path.size(); ++i) {
    if (i == path.size() || path[i] == L'\\') CreateDirectoryW(path.substr(0, i).c_str(), nullptr);
  }
}

// The exe starts the installer and exits 0 without waiting for it, so the
// installer's record and output may still be on their way when the exe has
// ended: under qemu on a busy machine, for seconds. Waits, until `until`,
// for the record to be complete and then for that installer (its pid, and
// its creation time in case the pid was reused) to exit.
void wait_for_installer(const std::wstring& record_path, ULONGLONG until) {
  std::vector<Record> records = read_records(record_path);
  while ((records.empty() || !records.back().complete) && GetTickCount64() < until) {
    Sleep(20);
    records = read_records(record_path);
  }
  if (records.empty() || !records.back().complete) return;
  const auto pid = records.back().number("pid");
  const auto created = records.back().number("creation_ticks");
  if (!pid || !created) return;
  const HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(*pid));
  if (process == nullptr) return;  // it has ended
  FILETIME creation{}, exited{}, kernel{}, user{};
  if (GetProcessTimes(process, &creation, &exited, &kernel, &user) &&
      ((static_cast<ULONGLONG>(creation.dwHighDateTime) << 32) | creation.dwLowDateTime) == *created) {
    const ULONGLONG now = GetTickCount64();
    WaitForSingleObject(process, now < until ? static_cast<DWORD>(until - now) : 0);
  }
  CloseHandle(process);
}

// VANT_TEST_TIME_SCALE (a whole number, 1 when unset) multiplies every
// run's time limit: a guard against hangs, which runs through qemu, where
// each start of a 32-bit program costs about a second, need more room for.
DWORD time_scale() {
  wchar_t text[16];
  const DWORD n = GetEnvironmentVariableW(L"VANT_TEST_TIME_SCALE", text, 16);
  const unsigned long scale = n > 0 && n < 16 ? std::wcstoul(text, nullptr, 10) : 1;
  return scale >= 1 && scale <= 100 ? static_cast<DWORD>(scale) : 1;
}

std::wstring without_trailing_backslash(std::wstring path) {
  while (!path.empty() && path.back() == L'\\') path.pop_back();
  return path;
}

}  // namespace

std::wstring SetupRun::folder_of_this_program() {
  wchar_t path[1024];
  const DWORD n = GetModuleFileNameW(nullptr, path, 1024);
  std::wstring self(path, n);
  return self.substr(0, self.rfind(L'\\') + 1);
}

std::wstring SetupRun::helper(std::wstring_view file_name) {
  return folder_of_this_program() + std::wstring(file_name);
}

void SetupRun::SetUp() {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::wstring name = from_utf8(std::string(info->test_suite_name()) + "." + info->name());
  for (wchar_t& c : name) {
    if (c == L'/') c = L'_';
  }
  scratch_ = folder_of_this_program() + L"scratch\\" + name + L"\\";
  remove_tree(without_trailing_backslash(scratch_));
  make_folders(without_trailing_backslash(scratch_));

  app_ = folder(L"app");
  exe_ = app_ + L"\\vant-setup.exe";
  ASSERT_TRUE(CopyFileW(helper(VANT_SETUP_EXE_FROM_TESTS).c_str(), exe_.c_str(), FALSE))
      << "vant-setup.exe not found beside the tests: " << GetLastError();
  place_curl(app_);
  records_ = folder(L"records");
  out_path_ = scratch_ + L"out.txt";
  err_path_ = scratch_ + L"err.txt";
  std_out_ = StdStream::file(out_path_);
  std_err_ = StdStream::file(err_path_);

  env_[L"PATH"] = L"C:\\windows\\system32;C:\\windows";
  env_[L"VANT_TEST_RECORD_DIR"] = records_;
  env_[L"VANT_TEST_CURL_PAYLOAD"] = helper(L"vant_stand_in_installer.exe");
  set_temp(folder(L"tmp"));
}

std::wstring SetupRun::folder(std::wstring_view relative) const {
  const std::wstring path = scratch_ + std::wstring(relative);
  make_folders(path);
  return path;
}

std::wstring SetupRun::write_file(std::wstring_view relative, std::string_view bytes) const {
  const std::wstring path = scratch_ + std::wstring(relative);
  const HANDLE file =
      CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  EXPECT_NE(file, INVALID_HANDLE_VALUE) << "cannot create a scratch file: " << GetLastError();
  DWORD written = 0;
  if (!bytes.empty()) WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
  return path;
}

void SetupRun::place_curl(const std::wstring& in_folder) const {
  ASSERT_TRUE(CopyFileW(helper(L"vant_stand_in_curl.exe").c_str(), (in_folder + L"\\curl.exe").c_str(), FALSE))
      << GetLastError();
}

void SetupRun::remove_curl_beside_program() const { DeleteFileW((app_ + L"\\curl.exe").c_str()); }

void SetupRun::set_temp(const std::wstring& folder_path) {
  env_[L"TMP"] = folder_path;
  env_[L"TEMP"] = folder_path;
  temp_ = without_trailing_backslash(folder_path) + L"\\";
}

RunResult SetupRun::run() {
  LaunchRequest request;
  request.application = exe_;
  for (const auto& [name, value] : env_) request.environment.push_back(name + L"=" + value);
  request.std_in = std_in_;
  request.std_out = std_out_;
  request.std_err = std_err_;
  request.current_folder = current_folder_;
  request.timeout_ms = timeout_ms_ * time_scale();
  request.sample_memory = sample_memory_;
  request.limited_token = limited_token_;

  RunResult result;
  const ULONGLONG until = GetTickCount64() + request.timeout_ms;
  result.launch = launch(request);
  EXPECT_TRUE(result.launch.started) << "the launch failed at " << result.launch.failed_step << " with "
                                     << result.launch.error;
  EXPECT_FALSE(result.launch.timed_out) << "vant-setup was still running after " << request.timeout_ms << " ms";
  if (result.launch.started && !result.launch.timed_out && result.launch.exit_code == 0) {
    wait_for_installer(records_ + L"\\installer.txt", until);
  }
  if (std_out_.kind == StdStream::Kind::File && std_out_.path == out_path_) {
    result.out = read_file_bytes(out_path_).value_or("");
  }
  if (std_err_.kind == StdStream::Kind::File && std_err_.path == err_path_) {
    result.err = read_file_bytes(err_path_).value_or("");
  }
  result.curl = read_records(records_ + L"\\curl.txt");
  result.curl_version = read_records(records_ + L"\\curl-version.txt");
  result.installer = read_records(records_ + L"\\installer.txt");
  return result;
}

const Record& only_record(const std::vector<Record>& records, const char* who) {
  static const Record kNone;
  EXPECT_EQ(records.size(), 1u) << who << " should have been started exactly once";
  if (records.empty()) return kNone;
  EXPECT_TRUE(records.front().complete) << who << "'s record is cut short";
  return records.front();
}

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find('\n', start);
    const std::size_t stop = end == std::string::npos ? text.size() : end + 1;
    lines.push_back(text.substr(start, stop - start));
    start = stop;
  }
  return lines;
}

::testing::AssertionResult is_os_error_line(const std::string& line, const std::string& prefix,
                                            const std::string& code) {
  const std::string marker = " (os error ";
  if (line.rfind(prefix, 0) != 0) return ::testing::AssertionFailure() << "no prefix \"" << prefix << "\" in: " << line;
  const std::size_t at = line.rfind(marker);
  if (at == std::string::npos || at < prefix.size()) {
    return ::testing::AssertionFailure() << "no \"(os error N)\" in: " << line;
  }
  if (at == prefix.size()) return ::testing::AssertionFailure() << "no description before the code in: " << line;
  std::string number = line.substr(at + marker.size());
  if (number.size() < 3 || number.substr(number.size() - 2) != ")\n") {
    return ::testing::AssertionFailure() << "the line does not end in \")\\n\": " << line;
  }
  number.resize(number.size() - 2);
  if (!code.empty() && number != code) {
    return ::testing::AssertionFailure() << "os error " << number << ", expected " << code << ", in: " << line;
  }
  const std::string digits = number.starts_with('-') ? number.substr(1) : number;
  if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos) {
    return ::testing::AssertionFailure() << "not a number: " << number;
  }
  const std::string description = line.substr(prefix.size(), at - prefix.size());
  if (description.find_first_of("\r\n") != std::string::npos) {
    return ::testing::AssertionFailure() << "the description keeps a line break: " << line;
  }
  return ::testing::AssertionSuccess();
}

}  // namespace vant_test
