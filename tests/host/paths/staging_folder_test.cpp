// The elevated run's own folder: where it is made, under which name, with
// which DACL, and what happens when a name is taken or nothing can be made.
#include "paths/staging_folder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "fake_windows.h"
#include "support/seam_test.h"

namespace vant {
namespace {

using testing::SeamTest;
using ::testing::UnorderedElementsAre;

// Random bytes 00 01 .. 0f, and the folder they name.
const std::vector<std::uint8_t> kFirstBytes = {0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07,
                                               0x08, 0x09, 0x0a, 0x0b, 0x0c, 0x0d, 0x0e, 0x0f};
const std::vector<std::uint8_t> kSecondBytes = {0xf0, 0xe1, 0xd2, 0xc3, 0xb4, 0xa5, 0x96, 0x87,
                                                0x78, 0x69, 0x5a, 0x4b, 0x3c, 0x2d, 0x1e, 0xff};
constexpr char16_t kFirstFolder[] = u"C:\\Windows\\Temp\\vant-000102030405060708090a0b0c0d0e0f";
constexpr char16_t kSecondFolder[] = u"C:\\Windows\\Temp\\vant-f0e1d2c3b4a5968778695a4b3c2d1eff";

constexpr win::DWORD kOiCi = fake::kObjectInherit | fake::kContainerInherit;

class StagingFolderTest : public SeamTest {
 protected:
  void SetUp() override {
    SeamTest::SetUp();
    w().elevated = true;
  }
};

TEST_F(StagingFolderTest, IsANewFolderInTheWindowsTempNamedBy128RandomBits) {
  w().random_answers = {kFirstBytes};
  const auto folder = create_staging_folder();
  ASSERT_TRUE(folder.has_value()) << folder.error().display_text();
  EXPECT_EQ(folder->bytes(), fake::utf8(kFirstFolder));
  EXPECT_TRUE(w().exists(kFirstFolder));
  EXPECT_EQ(w().random_calls, 1u);
  EXPECT_EQ(w().count_calls("BCryptGenRandom(16)"), 1u);
  // The shared Windows folder, never the user's environment.
  EXPECT_EQ(w().count_calls("GetSystemWindowsDirectoryW"), 1u);
  for (const char* never : {"GetTempPathW", "GetTempPath2W", "GetEnvironmentVariableW", "GetWindowsDirectoryW"}) {
    EXPECT_EQ(w().count_calls(never), 0u) << never;
  }
  // bcrypt.dll from the system folder only.
  ASSERT_EQ(w().loads.size(), 1u);
  EXPECT_EQ(w().loads[0].name, u"bcrypt.dll");
  EXPECT_EQ(w().loads[0].flags, win::LOAD_LIBRARY_SEARCH_SYSTEM32);
}

TEST_F(StagingFolderTest, GetsAProtectedDaclForSystemAdministratorsAndTheOwnerAndAHighLabelAtCreation) {
  ASSERT_TRUE(create_staging_folder().has_value());
  ASSERT_EQ(w().directory_calls.size(), 1u);
  const auto& call = w().directory_calls[0];
  EXPECT_FALSE(call.attributes_null);
  EXPECT_EQ(call.attributes_length, sizeof(win::SECURITY_ATTRIBUTES));
  EXPECT_EQ(call.inherit_handle, 0);
  ASSERT_TRUE(call.security.has_value());
  EXPECT_TRUE(call.security->dacl_protected);
  EXPECT_THAT(call.security->aces, UnorderedElementsAre(fake::Ace{"SY", fake::kFileAllAccess, kOiCi},
                                                        fake::Ace{"BA", fake::kFileAllAccess, kOiCi},
                                                        fake::Ace{"OW", fake::kFileAllAccess, kOiCi}));
  // S:(ML;OICI;NWNRNX;;;HI)
  EXPECT_EQ(call.security->label, (fake::Label{3, true, true, true, kOiCi}));
  // Nothing of Temp's own entries (Users may create, CREATOR OWNER) made
  // it into the folder.
  const fake::Security made = w().security_of(w().disk_path(call.path));
  EXPECT_THAT(made.aces, UnorderedElementsAre(fake::Ace{"SY", fake::kFileAllAccess, kOiCi},
                                              fake::Ace{"BA", fake::kFileAllAccess, kOiCi},
                                              fake::Ace{"OW", fake::kFileAllAccess, kOiCi}));
  // The descriptor Windows allocated is freed again.
  EXPECT_TRUE(w().descriptors.empty());
  EXPECT_TRUE(w().bad_frees.empty());
  EXPECT_EQ(w().count_calls("LocalFree"), 1u);
}

// What the folder's DACL means for the user's other programs: nothing can
// be created in it, and what is created in it (curl's file) cannot be
// touched either.
TEST_F(StagingFolderTest, OnlyAdministratorsCanChangeItOrWhatIsMadeInIt) {
  w().random_answers = {kFirstBytes};
  ASSERT_TRUE(create_staging_folder().has_value());
  const std::u16string folder = kFirstFolder;
  const std::u16string file = folder + u"\\vant_installer_latest.exe";
  ASSERT_EQ(w().child_writes_file(file, "genuine"), 0u);

  EXPECT_EQ(w().other_party_creates(folder + u"\\version.dll", "planted"), win::ERROR_ACCESS_DENIED);
  EXPECT_EQ(w().other_party_creates_folder(folder + u"\\sub"), win::ERROR_ACCESS_DENIED);
  EXPECT_EQ(w().other_party_writes(file, "planted"), win::ERROR_ACCESS_DENIED);
  EXPECT_EQ(w().other_party_deletes(file), win::ERROR_ACCESS_DENIED);
  EXPECT_EQ(w().other_party_renames(file, folder + u"\\moved.exe"), win::ERROR_ACCESS_DENIED);
  EXPECT_EQ(w().other_party_renames(folder, u"C:\\Windows\\Temp\\moved"), win::ERROR_ACCESS_DENIED);
  EXPECT_EQ(w().other_party_deletes(folder), win::ERROR_ACCESS_DENIED);
  EXPECT_EQ(w().contents[file], "genuine");
}

TEST_F(StagingFolderTest, ATakenNameIsSkippedAndNeverUsed) {
  // Someone made the first name already: a junction to a folder of theirs.
  ASSERT_EQ(w().other_party_redirects(kFirstFolder, u"C:\\Users\\user\\AppData\\Local\\Temp"), 0u);
  w().random_answers = {kFirstBytes, kSecondBytes};
  const auto folder = create_staging_folder();
  ASSERT_TRUE(folder.has_value());
  EXPECT_EQ(folder->bytes(), fake::utf8(kSecondFolder));
  ASSERT_EQ(w().directory_calls.size(), 2u);
  EXPECT_EQ(w().directory_calls[0].result, win::ERROR_ALREADY_EXISTS);
  EXPECT_EQ(w().directory_calls[1].result, 0u);
}

TEST_F(StagingFolderTest, GivesUpAfterEveryNameWasTaken) {
  for (int i = 0; i < kStagingFolderAttempts; ++i) w().directory_errors.push_back(win::ERROR_ALREADY_EXISTS);
  const auto folder = create_staging_folder();
  ASSERT_FALSE(folder.has_value());
  EXPECT_EQ(folder.error().os_code(), static_cast<std::int32_t>(win::ERROR_ALREADY_EXISTS));
  EXPECT_EQ(w().directory_calls.size(), static_cast<std::size_t>(kStagingFolderAttempts));
  EXPECT_EQ(w().random_calls, static_cast<std::size_t>(kStagingFolderAttempts));
  EXPECT_TRUE(w().descriptors.empty());
}

TEST_F(StagingFolderTest, AWindowsFolderAtTheRootOfADrive) {
  w().system_windows_directory = u"D:\\";
  w().add_directory(u"D:\\Temp");
  w().random_answers = {kFirstBytes};
  const auto folder = create_staging_folder();
  ASSERT_TRUE(folder.has_value());
  EXPECT_EQ(folder->bytes(), "D:\\Temp\\vant-000102030405060708090a0b0c0d0e0f");
}

struct FailureCase {
  const char* name;
  std::function<void(fake::FakeWindows&)> arrange;
  win::DWORD error;
  std::size_t directory_calls;
};

class StagingFolderFailure : public StagingFolderTest, public ::testing::WithParamInterface<FailureCase> {};

// Any other failure ends the attempt at once: a second name would not help.
TEST_P(StagingFolderFailure, IsReturnedAtOnce) {
  GetParam().arrange(w());
  const auto folder = create_staging_folder();
  ASSERT_FALSE(folder.has_value());
  EXPECT_EQ(folder.error().os_code(), static_cast<std::int32_t>(GetParam().error));
  EXPECT_EQ(w().directory_calls.size(), GetParam().directory_calls);
  EXPECT_TRUE(w().descriptors.empty());
  EXPECT_TRUE(w().bad_frees.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StagingFolderFailure,
    ::testing::Values(
        FailureCase{"CreateDirectoryRefused", [](auto& w) { w.directory_errors = {win::ERROR_ACCESS_DENIED}; },
                    win::ERROR_ACCESS_DENIED, 1},
        // The model's own answer, not a scripted one.
        FailureCase{"NoWindowsTemp", [](auto& w) { w.remove_path(u"C:\\Windows\\Temp"); }, win::ERROR_PATH_NOT_FOUND,
                    1},
        FailureCase{"GeneratorFails", [](auto& w) { w.random_status = static_cast<win::NTSTATUS>(0xC000000D); },
                    win::ERROR_INVALID_PARAMETER, 0},
        FailureCase{"NoBcryptInTheSystemFolder",
                    [](auto& w) {
                      w.libraries.clear();
                      // A copy beside the program is never loaded.
                      w.add_library(u"C:\\Program Files\\VANT\\bcrypt.dll", fake::Library{{"BCryptGenRandom"}});
                    },
                    win::ERROR_MOD_NOT_FOUND, 0},
        FailureCase{"DescriptorRefused", [](auto& w) { w.descriptor_error = win::ERROR_NOT_ENOUGH_MEMORY; },
                    win::ERROR_NOT_ENOUGH_MEMORY, 0},
        FailureCase{"NoWindowsFolder",
                    [](auto& w) {
                      w.on_GetSystemWindowsDirectoryW = [](char16_t*, win::UINT) {
                        win::SetLastError(win::ERROR_ACCESS_DENIED);
                        return 0u;
                      };
                    },
                    win::ERROR_ACCESS_DENIED, 0},
        FailureCase{"EmptyWindowsFolder",
                    [](auto& w) {
                      w.on_GetSystemWindowsDirectoryW = [](char16_t* buffer, win::UINT) {
                        buffer[0] = 0;
                        win::SetLastError(0);
                        return 0u;
                      };
                    },
                    win::ERROR_PATH_NOT_FOUND, 0}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

}  // namespace
}  // namespace vant
