// Where curl writes the installer, by download folder and by the system's
// ANSI code page (setup/curl_folder.h has the rule). The rest of the run
// does not change: the installer is held and started from its full path,
// and shown by it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <string_view>

#include "fake_windows.h"
#include "support/driver_run.h"

namespace vant {
namespace {

using Outcome = testing::RunOutcome;

constexpr std::u16string_view kName = u"vant_installer_latest.exe";
const std::string kAddress = std::string("https://") + VANT_DOWNLOAD_HOST + "/download/latest";

std::u16string curl_command_line(std::u16string_view output) {
  return u"\"curl\" --disable -L --proto-redir =https --fail --progress-bar --retry 3 --retry-delay 2 "
         u"--connect-timeout 120 --speed-limit 1 --speed-time 120 --retry-connrefused -o " +
         std::u16string(output) + u" " + fake::u16(kAddress);
}

// What curl does with its "-o" argument: a relative one names a file in
// its own current folder. (The rows' paths have no spaces, so the argument
// is not quoted.)
void write_where_curl_is_told(const fake::CreateProcessCall& call) {
  const std::u16string& line = call.command_line;
  const std::size_t from = line.find(u" -o ") + 4;
  const std::u16string argument = line.substr(from, line.find(u' ', from) - from);
  const bool absolute = argument.size() > 2 && argument[1] == u':';
  const std::u16string folder =
      call.current_directory_null ? fake::world().current_directory + u"\\" : call.current_directory;
  fake::world().add_file(absolute ? argument : folder + argument);
}

std::u16string without_trailing_backslash(const std::u16string& folder) { return folder.substr(0, folder.size() - 1); }

// A folder with an unpaired high surrogate in a name (Windows allows it).
std::u16string lone_surrogate_folder() {
  std::u16string folder = u"C:\\Users\\T";
  folder.push_back(char16_t(0xD800));
  return folder + u"\\Temp\\";
}

// A folder whose Chinese name 1252 cannot spell, `units` long with its
// trailing backslash.
std::u16string long_chinese_folder(std::size_t units) {
  const std::u16string base = u"C:\\Users\\张三\\";
  return base + std::u16string(units - base.size() - 1, u'a') + u"\\";
}

struct FolderCase {
  const char* name;
  std::u16string folder;  // as GetTempPathW gives it
  win::UINT code_page;
  bool in_folder;  // curl starts in the folder with the bare name
};

void PrintTo(const FolderCase& c, std::ostream* os) { *os << c.name; }

class DownloadFolder : public testing::DriverRun, public ::testing::WithParamInterface<FolderCase> {};

TEST_P(DownloadFolder, CurlStartsInTheFolderOnlyWhenTheCodePageCannotSpellIt) {
  const FolderCase& c = GetParam();
  w().temp_path = c.folder;
  w().add_directory(without_trailing_backslash(c.folder));
  w().use_ansi_code_page(c.code_page);
  w().programs[testing::kRunCurl] = fake::Program{.on_start = write_where_curl_is_told};
  const Outcome outcome = run();

  EXPECT_EQ(outcome.exit_code, 0u);
  EXPECT_EQ(outcome.err, "");
  ASSERT_EQ(created().size(), 2u);
  const std::u16string installer = c.folder + std::u16string(kName);
  const fake::CreateProcessCall curl = created()[0];
  EXPECT_EQ(curl.application, testing::kRunCurl);
  EXPECT_FALSE(curl.application_null);
  EXPECT_EQ(curl.command_line, curl_command_line(c.in_folder ? kName : installer));
  EXPECT_EQ(curl.current_directory_null, !c.in_folder);
  EXPECT_EQ(curl.current_directory, c.in_folder ? c.folder : u"");
  EXPECT_TRUE(curl.attributes_null);
  EXPECT_EQ(curl.inherit_handles, 1);
  EXPECT_EQ(curl.creation_flags, win::CREATE_UNICODE_ENVIRONMENT | win::EXTENDED_STARTUPINFO_PRESENT);
  EXPECT_TRUE(curl.environment_null);
  EXPECT_EQ(curl.startup_cb, sizeof(win::STARTUPINFOEXW));
  EXPECT_EQ(curl.startup_flags, win::STARTF_USESTDHANDLES);
  EXPECT_TRUE(curl.startup_otherwise_zero);
  // The file curl left is the one held and started, by its full path.
  ASSERT_EQ(w().create_file_calls.size(), 1u);
  EXPECT_EQ(w().disk_path(w().create_file_calls[0].path), installer);
  EXPECT_EQ(created()[1].image_file, installer);
  EXPECT_TRUE(created()[1].current_directory_null);
}

const std::u16string kAscii = u"C:\\Users\\user\\AppData\\Local\\Temp\\";
const std::u16string kChinese = u"C:\\Users\\张三\\AppData\\Local\\Temp\\";  // 936 spells it, 1252 not
const std::u16string kKorean = u"C:\\Users\\김민준\\Temp\\";                 // neither spells it
const std::u16string kOutsideBmp = u"C:\\Users\\\U00020BB7田\\Temp\\";       // neither spells it
const std::u16string kLookAlike = u"C:\\Users\\Jānis\\Temp\\";               // 1252 has only a look-alike

INSTANTIATE_TEST_SUITE_P(
    Rows, DownloadFolder,
    ::testing::Values(FolderCase{"Ascii1252", kAscii, 1252, false}, FolderCase{"Ascii936", kAscii, 936, false},
                      FolderCase{"Ascii65001", kAscii, 65001, false}, FolderCase{"Chinese1252", kChinese, 1252, true},
                      FolderCase{"Chinese936", kChinese, 936, false},
                      FolderCase{"Chinese65001", kChinese, 65001, false}, FolderCase{"Korean1252", kKorean, 1252, true},
                      FolderCase{"Korean936", kKorean, 936, true}, FolderCase{"Korean65001", kKorean, 65001, false},
                      FolderCase{"OutsideTheBmp1252", kOutsideBmp, 1252, true},
                      FolderCase{"OutsideTheBmp936", kOutsideBmp, 936, true},
                      FolderCase{"OutsideTheBmp65001", kOutsideBmp, 65001, false},
                      FolderCase{"LookAlike1252", kLookAlike, 1252, true},
                      FolderCase{"LookAlike65001", kLookAlike, 65001, false},
                      FolderCase{"LoneSurrogate1252", lone_surrogate_folder(), 1252, true},
                      FolderCase{"LoneSurrogate936", lone_surrogate_folder(), 936, true},
                      FolderCase{"LoneSurrogate65001", lone_surrogate_folder(), 65001, true},
                      // CreateProcessW takes a current folder of 258 units
                      // (its NUL makes MAX_PATH - 1), not one more.
                      FolderCase{"LongestCurrentFolder1252", long_chinese_folder(258), 1252, true},
                      FolderCase{"TooLongForACurrentFolder1252", long_chinese_folder(259), 1252, false},
                      FolderCase{"TooLongForACurrentFolder936", long_chinese_folder(259), 936, false}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

class DownloadFolderTest : public testing::DriverRun {
 protected:
  void SetUp() override {
    DriverRun::SetUp();
    w().temp_path = kChinese;
    w().use_ansi_code_page(1252);
  }
};

// A check that cannot be made says nothing about the folder: curl gets the
// full path, which every curl with Unicode support takes.
TEST_F(DownloadFolderTest, AFailedCheckKeepsTheFullPath) {
  w().add_directory(without_trailing_backslash(kChinese));
  w().on_WideCharToMultiByte = [](const char16_t*, int, char*, int) {
    fake::world().last_error() = win::ERROR_NOT_ENOUGH_MEMORY;
    return 0;
  };
  curl_exits(0, false);
  run();
  ASSERT_FALSE(created().empty());
  EXPECT_EQ(created()[0].command_line, curl_command_line(kChinese + std::u16string(kName)));
  EXPECT_TRUE(created()[0].current_directory_null);
}

// Windows refuses a current folder that does not exist, so the download
// tool cannot be started (where a curl without Unicode support would have
// failed to write the file, and a curl with it too).
TEST_F(DownloadFolderTest, AMissingFolderIsReportedAsTheToolsFailedStart) {
  curl_exits(0, false);
  streams_.input->readable = "\r\n";
  const Outcome outcome = run();
  EXPECT_EQ(outcome.exit_code, 1u);
  EXPECT_EQ(outcome.err,
            "无法运行下载工具：The directory name is invalid. (os error 267)\n"
            "请确保系统为 Windows 10 或更高版本。\n");
  ASSERT_EQ(created().size(), 1u);
  EXPECT_EQ(created()[0].current_directory, kChinese);
}

// The message still names the file by its full path.
TEST_F(DownloadFolderTest, AnInstallerThatCannotStartIsShownByItsFullPath) {
  w().add_directory(without_trailing_backslash(kChinese));
  w().programs[testing::kRunCurl] = fake::Program{.on_start = write_where_curl_is_told};
  w().programs[kChinese + std::u16string(kName)] = fake::Program{.start_error = win::ERROR_BAD_EXE_FORMAT};
  const Outcome outcome = run();
  EXPECT_EQ(outcome.exit_code, 1u);
  EXPECT_THAT(outcome.err, ::testing::HasSubstr("安装包已下载到：C:\\Users\\张三\\AppData\\Local\\Temp\\"
                                                "vant_installer_latest.exe\n"));
  EXPECT_FALSE(created()[0].current_directory_null);
}

}  // namespace
}  // namespace vant
