#include "process/environment_block.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake_windows.h"
#include "process/spawn.h"
#include "support/seam_test.h"

namespace vant {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using testing::SeamTest;

constexpr std::u16string_view kCurl = u"C:\\Windows\\system32\\curl.exe";

class ChildEnvironmentTest : public SeamTest {
 protected:
  void SetUp() override {
    SeamTest::SetUp();
    w().add_file(kCurl);
  }

  // Starts curl with `command`'s changes; the call Windows got.
  static const fake::CreateProcessCall& start(const ProcessCommand& command) {
    auto child = spawn_process(command);
    EXPECT_TRUE(child.has_value()) << child.error().display_text();
    if (child) release_child_handles(std::move(*child));
    EXPECT_THAT(w().environment_blocks, IsEmpty()) << "every block read is freed";
    EXPECT_THAT(w().bad_environment_frees, IsEmpty());
    return w().created.back();
  }

  // The block exactly as the child got it: strings up to the empty one.
  static std::u16string raw_block(const ProcessCommand& command) {
    auto block = build_environment_block(command.variables());
    EXPECT_TRUE(block.has_value());
    return block.value_or(u"");
  }
};

TEST_F(ChildEnvironmentTest, WithoutChangesTheChildInheritsThisProcesssEnvironment) {
  const auto& call = start(ProcessCommand("curl"));
  EXPECT_TRUE(call.environment_null);
  EXPECT_EQ(w().count_calls("GetEnvironmentStringsW"), 0u);
  EXPECT_NE(call.creation_flags & win::CREATE_UNICODE_ENVIRONMENT, 0u);
}

TEST_F(ChildEnvironmentTest, ChangesReplaceAndRemoveVariablesWhateverTheirCase) {
  w().environment = {{u"=C:", u"C:\\work"},           {u"=D:", u"D:\\x"},  {u"Path", u"C:\\Windows"},
                     {u"ssl_cert_file", u"C:\\evil"}, {u"Temp", u"C:\\u"}, {u"https_PROXY", u"http://old:1"}};
  ProcessCommand command("curl");
  command.remove_variable("SSL_CERT_FILE")
      .set_variable("TEMP", PathText::from_utf8("C:\\Windows\\Temp\\vant-1"))
      .set_variable("https_proxy", PathText::from_utf8("http://proxy:8080"))
      .set_variable("NEW", PathText::from_utf8("新"));
  const auto& call = start(command);
  EXPECT_FALSE(call.environment_null);
  EXPECT_NE(call.creation_flags & win::CREATE_UNICODE_ENVIRONMENT, 0u);
  // Windows' hidden per-drive folders first ('=' sorts before letters),
  // then by name without case; a replaced variable takes the new spelling.
  EXPECT_THAT(call.environment, ElementsAre(u"=C:=C:\\work", u"=D:=D:\\x", u"https_proxy=http://proxy:8080",
                                            u"NEW=\u65B0", u"Path=C:\\Windows", u"TEMP=C:\\Windows\\Temp\\vant-1"));
}

TEST_F(ChildEnvironmentTest, TheBlockIsSortedAsWindowsSortsNames) {
  // Windows compares upper-cased units: '_' (0x5F) after the letters, and
  // a name before a longer one it begins.
  w().environment_strings = std::u16string(u"a_b=1\0AB=2\0A=3\0=C:=C:\\\0b=4\0\0", 27);
  ProcessCommand command("curl");
  command.set_variable("Aa", PathText::from_utf8("5"));
  EXPECT_THAT(start(command).environment, ElementsAre(u"=C:=C:\\", u"A=3", u"Aa=5", u"AB=2", u"a_b=1", u"b=4"));
}

TEST_F(ChildEnvironmentTest, LaterChangesWinAndTheBlockEndsInTwoNuls) {
  w().environment = {{u"X", u"1"}};
  ProcessCommand command("curl");
  command.set_variable("y", PathText::from_utf8("2")).remove_variable("Y").set_variable("x", PathText::from_utf8("3"));
  EXPECT_EQ(raw_block(command), std::u16string(u"x=3\0\0", 5));

  ProcessCommand empty("curl");
  empty.remove_variable("x");
  EXPECT_EQ(raw_block(empty), std::u16string(u"\0\0", 2));
  EXPECT_THAT(start(empty).environment, IsEmpty());
}

TEST_F(ChildEnvironmentTest, AnEmptyValueIsAVariableThatIsSet) {
  w().environment = {};
  ProcessCommand command("curl");
  command.set_variable("E", PathText());
  EXPECT_EQ(raw_block(command), std::u16string(u"E=\0\0", 4));
}

TEST_F(ChildEnvironmentTest, LookAlikesOfAsciiLettersAreRemovedToo) {
  w().environment = {{u"\u017FSL_CERT_FILE", u"C:\\evil"}, {u"CURL_\u0131CA_BUNDLE", u"keep"}};
  ProcessCommand command("curl");
  command.remove_variable("SSL_CERT_FILE");
  EXPECT_THAT(start(command).environment, ElementsAre(u"CURL_\u0131CA_BUNDLE=keep"));
  EXPECT_TRUE(same_variable_name(u"TEMP", u"temp"));
  EXPECT_TRUE(same_variable_name(u"\u212Aey", u"KEY"));
  EXPECT_FALSE(same_variable_name(u"TMP", u"TEMP"));
}

TEST_F(ChildEnvironmentTest, BadChangesFailBeforeAnythingIsReadOrStarted) {
  struct Case {
    const char* name;
    std::string variable;
    std::string value;
    std::string error;
  };
  const std::vector<Case> cases = {
      {"empty name", "", "1", "The parameter is incorrect. (os error 87)"},
      {"'=' in the name", "A=B", "1", "The parameter is incorrect. (os error 87)"},
      {"NUL in the name", std::string("A\0B", 3), "1", "strings passed to WinAPI cannot contain NULs"},
      {"NUL in the value", "A", std::string("1\0", 2), "strings passed to WinAPI cannot contain NULs"},
  };
  w().system_messages[87] = u"The parameter is incorrect.\r\n";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ProcessCommand command("curl");
    command.set_variable(c.variable, PathText::from_wtf8(c.value));
    const auto child = spawn_process(command);
    ASSERT_FALSE(child.has_value());
    EXPECT_EQ(child.error().display_text(), c.error);
  }
  EXPECT_EQ(w().count_calls("GetEnvironmentStringsW"), 0u);
  EXPECT_THAT(w().created, IsEmpty());
}

TEST_F(ChildEnvironmentTest, AFailedReadOfTheEnvironmentIsItsError) {
  w().environment_strings_error = win::ERROR_NOT_ENOUGH_MEMORY;
  ProcessCommand command("curl");
  command.remove_variable("X");
  const auto child = spawn_process(command);
  ASSERT_FALSE(child.has_value());
  EXPECT_EQ(child.error().os_code(), static_cast<std::int32_t>(win::ERROR_NOT_ENOUGH_MEMORY));
  EXPECT_THAT(w().created, IsEmpty());
}

}  // namespace
}  // namespace vant
