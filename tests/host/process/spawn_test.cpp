#include "process/spawn.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "fake_windows.h"
#include "paths/path_text.h"
#include "process/inherited_handles.h"
#include "process/launch_lock.h"
#include "support/seam_test.h"

namespace vant {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using testing::SeamTest;
using namespace std::string_view_literals;

constexpr std::u16string_view kCurl = u"C:\\Windows\\system32\\curl.exe";

class SpawnTest : public SeamTest {
 protected:
  void SetUp() override {
    SeamTest::SetUp();
    w().add_file(kCurl);
  }

  // Index of the first logged call named `name` (with or without detail).
  static std::ptrdiff_t first_call(std::string_view name) {
    const auto& calls = w().calls;
    const auto it = std::find_if(calls.begin(), calls.end(), [&](const std::string& call) {
      return call == name || (call.starts_with(name) && call.size() > name.size() && call[name.size()] == '(');
    });
    return it == calls.end() ? -1 : it - calls.begin();
  }
  static std::ptrdiff_t last_call(std::string_view name) {
    const auto& calls = w().calls;
    for (std::size_t i = calls.size(); i-- > 0;) {
      const std::string& call = calls[i];
      if (call == name || (call.starts_with(name) && call.size() > name.size() && call[name.size()] == '(')) {
        return static_cast<std::ptrdiff_t>(i);
      }
    }
    return -1;
  }

  static std::set<win::HANDLE> open_set() {
    const auto handles = w().open_handles();
    return {handles.begin(), handles.end()};
  }

  // Checks that a failed start left nothing behind.
  static void expect_nothing_left(const std::set<win::HANDLE>& before) {
    EXPECT_EQ(open_set(), before);
    EXPECT_THAT(w().inheritable_handles(), IsEmpty());
    EXPECT_EQ(w().locks_held, 0);
  }
};

TEST_F(SpawnTest, StartsTheResolvedProgramWithTheGivenProgramText) {
  w().use_byte_streams();
  ProcessCommand command("curl");
  command.arg("-o").arg("C:\\A B\\x.exe");
  auto child = spawn_process(command);
  ASSERT_TRUE(child.has_value()) << child.error().display_text();
  ASSERT_EQ(w().created.size(), 1u);
  const fake::CreateProcessCall& call = w().created[0];
  EXPECT_FALSE(call.application_null);
  EXPECT_EQ(call.application, kCurl);
  EXPECT_EQ(call.command_line, u"\"curl\" -o \"C:\\A B\\x.exe\"");

  EXPECT_EQ(w().object_of(child->process_handle.get())->kind, fake::Object::Kind::Process);
  EXPECT_EQ(w().object_of(child->thread_handle.get())->kind, fake::Object::Kind::Thread);
}

TEST_F(SpawnTest, InstallerIsStartedByItsExactPathAlone) {
  const std::u16string installer = u"C:\\Users\\A B\\AppData\\Local\\Temp\\vant_installer_latest.exe";
  w().add_file(installer);
  auto child = spawn_process(ProcessCommand(path_from_wide(installer)));
  ASSERT_TRUE(child.has_value());
  EXPECT_EQ(w().created[0].application, installer);
  EXPECT_EQ(w().created[0].command_line, u"\"" + installer + u"\"");
}

TEST_F(SpawnTest, FixedCreationValues) {
  w().use_console();
  ASSERT_TRUE(spawn_process(ProcessCommand("curl")).has_value());
  const fake::CreateProcessCall& call = w().created[0];
  EXPECT_EQ(call.creation_flags, win::CREATE_UNICODE_ENVIRONMENT | win::EXTENDED_STARTUPINFO_PRESENT);
  EXPECT_EQ(call.inherit_handles, 1);
  EXPECT_TRUE(call.environment_null);
  EXPECT_TRUE(call.current_directory_null);
  EXPECT_EQ(call.current_directory, u"");
  EXPECT_TRUE(call.attributes_null);
  EXPECT_EQ(call.startup_cb, sizeof(win::STARTUPINFOEXW));
  EXPECT_TRUE(call.startup_otherwise_zero);
}

// A command's own folder reaches CreateProcessW as exactly its units, a
// lone surrogate included; the program is still looked up as without it.
TEST_F(SpawnTest, StartsInTheCommandsFolderByItsExactUnits) {
  std::u16string folder = u"C:\\Users\\张三\\T";
  folder.push_back(char16_t(0xDC00));
  folder += u"\\";
  w().add_directory(folder.substr(0, folder.size() - 1));
  ProcessCommand command("curl");
  command.arg("-o").arg("x.exe").in_folder(path_from_wide(folder));
  ASSERT_TRUE(spawn_process(command).has_value());
  ASSERT_EQ(w().created.size(), 1u);
  EXPECT_FALSE(w().created[0].current_directory_null);
  EXPECT_EQ(w().created[0].current_directory, folder);
  EXPECT_EQ(w().created[0].application, kCurl);
  EXPECT_EQ(w().created[0].command_line, u"\"curl\" -o x.exe");
}

// Windows' refusal of the folder is the start's failure, and nothing is
// left behind.
TEST_F(SpawnTest, AFolderWindowsRefusesFailsInCreateProcess) {
  w().use_byte_streams();
  const auto before = open_set();
  ProcessCommand command("curl");
  command.in_folder(PathText::from_utf8("C:\\missing\\"));
  EXPECT_EQ(spawn_process(command), std::unexpected(SystemError::from_code(win::ERROR_DIRECTORY)));
  EXPECT_EQ(w().created.size(), 1u);
  expect_nothing_left(before);
}

TEST_F(SpawnTest, CallOrder) {
  w().use_byte_streams();
  const auto child = spawn_process(ProcessCommand("curl"));
  ASSERT_TRUE(child.has_value());
  const std::ptrdiff_t lookup_done = last_call("GetFileAttributesW");
  const std::ptrdiff_t ending_check = last_call("GetFullPathNameW");
  ASSERT_GE(lookup_done, 0);
  EXPECT_GT(ending_check, lookup_done);
  EXPECT_LT(ending_check, first_call("GetStdHandle"));

  // From the first standard handle on, the calls are exactly these.
  std::vector<std::string> tail(w().calls.begin() + first_call("GetStdHandle"), w().calls.end());
  EXPECT_THAT(tail, ElementsAre("GetStdHandle(-10)", "GetCurrentProcess", "DuplicateHandle", "GetStdHandle(-11)",
                                "GetCurrentProcess", "DuplicateHandle", "GetStdHandle(-12)", "GetCurrentProcess",
                                "DuplicateHandle", "InitializeProcThreadAttributeList(1)",
                                "InitializeProcThreadAttributeList(1)", "UpdateProcThreadAttribute",
                                "CreateProcessW(C:\\Windows\\system32\\curl.exe)", "CloseHandle", "CloseHandle",
                                "CloseHandle", "DeleteProcThreadAttributeList"));
}

TEST_F(SpawnTest, LookupAndCommandLineHappenBeforeTheLockIsTaken) {
  std::vector<int> locks_during_lookup;
  w().on_GetFileAttributesW = [&](const char16_t* name) {
    locks_during_lookup.push_back(w().locks_held);
    return w().exists(name) ? win::FILE_ATTRIBUTE_NORMAL : win::INVALID_FILE_ATTRIBUTES;
  };
  w().on_GetFullPathNameW = [&](const char16_t* name, win::DWORD size, char16_t* buffer) {
    locks_during_lookup.push_back(w().locks_held);
    const std::u16string path(name);
    if (path.size() + 1 > size) return static_cast<win::DWORD>(path.size() + 1);
    std::copy(path.begin(), path.end(), buffer);
    buffer[path.size()] = 0;
    return static_cast<win::DWORD>(path.size());
  };
  std::vector<int> locks_at_std_handles;
  w().on_GetStdHandle = [&](win::DWORD) {
    locks_at_std_handles.push_back(w().locks_held);
    return win::NULL_HANDLE;
  };
  ASSERT_TRUE(spawn_process(ProcessCommand("curl")).has_value());
  EXPECT_FALSE(locks_during_lookup.empty());
  EXPECT_THAT(locks_during_lookup, ::testing::Each(0));
  EXPECT_THAT(locks_at_std_handles, ElementsAre(1, 1, 1));
  EXPECT_EQ(w().created[0].locks_held, 1);
  EXPECT_EQ(w().locks_held, 0);
}

TEST_F(SpawnTest, HoldsTheProcessLaunchLockDuringCreateProcess) {
  bool lock_was_free = true;
  fake::Program curl;
  curl.on_start = [&](const fake::CreateProcessCall&) {
    lock_was_free = process_launch_lock.try_lock();
    if (lock_was_free) process_launch_lock.unlock();
  };
  w().programs[std::u16string(kCurl)] = curl;
  ASSERT_TRUE(spawn_process(ProcessCommand("curl")).has_value());
  EXPECT_FALSE(lock_was_free);
  EXPECT_TRUE(process_launch_lock.try_lock());
  process_launch_lock.unlock();
}

struct HandleCase {
  const char* name;
  bool input, output, error;  // which standard handles the parent has
};

class SpawnHandles : public SpawnTest, public ::testing::WithParamInterface<HandleCase> {};

TEST_P(SpawnHandles, ChildGetsDuplicatesOfThoseThatExist) {
  const HandleCase& c = GetParam();
  const auto streams = w().use_byte_streams();
  const win::HANDLE originals[] = {w().std_input, w().std_output, w().std_error};
  if (!c.input) w().std_input = win::NULL_HANDLE;
  if (!c.output) w().std_output = win::INVALID_HANDLE_VALUE;
  if (!c.error) w().std_error = win::NULL_HANDLE;
  // What each handle given to the child refers to while it is created.
  std::shared_ptr<fake::ByteStream> seen[3];
  fake::Program curl;
  curl.on_start = [&](const fake::CreateProcessCall& started) {
    const win::HANDLE handles[] = {started.std_input, started.std_output, started.std_error};
    for (int i = 0; i < 3; ++i) {
      if (const auto object = w().object_of(handles[i])) seen[i] = object->stream;
    }
  };
  w().programs[std::u16string(kCurl)] = curl;
  const auto before = open_set();

  auto child = spawn_process(ProcessCommand("curl"));
  ASSERT_TRUE(child.has_value());
  const fake::CreateProcessCall& call = w().created[0];
  const bool any = c.input || c.output || c.error;
  EXPECT_EQ(call.startup_flags, any ? win::STARTF_USESTDHANDLES : 0u);

  const bool present[] = {c.input, c.output, c.error};
  const win::HANDLE given[] = {call.std_input, call.std_output, call.std_error};
  const std::shared_ptr<fake::ByteStream> objects[] = {streams.input, streams.output, streams.error};
  std::vector<win::HANDLE> duplicates;
  for (int i = 0; i < 3; ++i) {
    if (!present[i]) {
      EXPECT_EQ(given[i], win::NULL_HANDLE) << i;
      continue;
    }
    // A new handle to the same stream, not the parent's own.
    EXPECT_NE(given[i], originals[i]) << i;
    EXPECT_EQ(seen[i], objects[i]) << i;
    EXPECT_TRUE(std::find(call.inheritable_handles.begin(), call.inheritable_handles.end(), given[i]) !=
                call.inheritable_handles.end())
        << i;
    duplicates.push_back(given[i]);
  }
  EXPECT_EQ(call.inheritable_handles.size(), duplicates.size());
  // The child inherits exactly those, through the handle list; with none,
  // nothing at all.
  if (any) {
    ASSERT_TRUE(call.handle_list.has_value());
    EXPECT_THAT(*call.handle_list, ::testing::UnorderedElementsAreArray(duplicates));
    EXPECT_EQ(call.inherit_handles, 1);
    EXPECT_TRUE(call.extended);
  } else {
    EXPECT_FALSE(call.handle_list.has_value());
    EXPECT_EQ(call.inherit_handles, 0);
    EXPECT_FALSE(call.extended);
    EXPECT_EQ(call.startup_cb, sizeof(win::STARTUPINFOW));
  }
  EXPECT_THAT(call.inherited, ::testing::UnorderedElementsAreArray(duplicates));
  EXPECT_THAT(w().attribute_lists, IsEmpty()) << "the list is deleted after the start";
  // Closed right after the call, in the order error, output, input.
  std::reverse(duplicates.begin(), duplicates.end());
  EXPECT_EQ(w().closed, duplicates);
  EXPECT_THAT(w().inheritable_handles(), IsEmpty());
  for (const auto& duplicate : w().duplicates) {
    EXPECT_EQ(duplicate.source_process, w().current_process);
    EXPECT_EQ(duplicate.target_process, w().current_process);
    EXPECT_EQ(duplicate.access, 0u);
    EXPECT_EQ(duplicate.inherit, 1);
    EXPECT_EQ(duplicate.options, win::DUPLICATE_SAME_ACCESS);
  }
  EXPECT_EQ(w().duplicates.size(), duplicates.size());
  // What is left open is the child's process and thread handle.
  EXPECT_EQ(open_set().size(), before.size() + 2);
}

INSTANTIATE_TEST_SUITE_P(
    Table, SpawnHandles,
    ::testing::Values(HandleCase{"None", false, false, false}, HandleCase{"AllThree", true, true, true},
                      HandleCase{"NoInput", false, true, true}, HandleCase{"NoOutput", true, false, true},
                      HandleCase{"NoError", true, true, false}, HandleCase{"OnlyError", false, false, true}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

// A handle some other code made inheritable stays with this process.
TEST_F(SpawnTest, AnInheritableHandleThatIsNotAStandardOneIsNotInherited) {
  const auto streams = w().use_byte_streams();
  auto stray = std::make_shared<fake::Object>();
  stray->kind = fake::Object::Kind::File;
  const win::HANDLE leaked = w().add_object(stray, /*inheritable=*/true);
  ASSERT_TRUE(spawn_process(ProcessCommand("curl")).has_value());
  const fake::CreateProcessCall& call = w().created[0];
  EXPECT_THAT(call.inheritable_handles, ::testing::Contains(leaked));
  EXPECT_THAT(call.inherited, ::testing::Not(::testing::Contains(leaked)));
  EXPECT_EQ(call.inherited.size(), 3u);
}

// Windows refuses a list with an empty handle or one handle twice: the
// list holds each handle placed in the startup information once.
TEST_F(SpawnTest, TheHandleListHoldsEachGivenHandleOnceAndNoEmptyOne) {
  auto stream = std::make_shared<fake::Object>();
  const win::HANDLE handle = w().add_object(stream, /*inheritable=*/true);
  struct Case {
    const char* name;
    win::HANDLE input, output, error;
    std::vector<win::HANDLE> listed;
  };
  const std::vector<Case> cases = {
      {"one handle in every slot", handle, handle, handle, {handle}},
      {"null and invalid around it", win::NULL_HANDLE, handle, win::INVALID_HANDLE_VALUE, {handle}},
      {"none", win::NULL_HANDLE, win::INVALID_HANDLE_VALUE, win::NULL_HANDLE, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    win::STARTUPINFOEXW extended{};
    extended.StartupInfo.hStdInput = c.input;
    extended.StartupInfo.hStdOutput = c.output;
    extended.StartupInfo.hStdError = c.error;
    InheritedHandles inherited;
    const auto inherits = inherited.attach(extended);
    ASSERT_TRUE(inherits.has_value());
    EXPECT_EQ(*inherits, !c.listed.empty());
    if (c.listed.empty()) {
      EXPECT_EQ(extended.lpAttributeList, nullptr);
      continue;
    }
    const auto list = w().attribute_lists.find(reinterpret_cast<std::uintptr_t>(extended.lpAttributeList));
    ASSERT_NE(list, w().attribute_lists.end());
    const std::vector<win::HANDLE> listed(list->second.handles,
                                          list->second.handles + list->second.handles_size / sizeof(win::HANDLE));
    EXPECT_EQ(listed, c.listed);
  }
  EXPECT_THAT(w().attribute_lists, IsEmpty());
}

TEST_F(SpawnTest, AFailedHandleListFailsTheStartAndLeavesNothing) {
  w().use_byte_streams();
  const auto before = open_set();
  w().attribute_update_error = win::ERROR_NOT_ENOUGH_MEMORY;
  const auto child = spawn_process(ProcessCommand("curl"));
  ASSERT_FALSE(child.has_value());
  EXPECT_EQ(child.error().os_code(), static_cast<std::int32_t>(win::ERROR_NOT_ENOUGH_MEMORY));
  EXPECT_THAT(w().created, IsEmpty());
  EXPECT_THAT(w().attribute_lists, IsEmpty());
  expect_nothing_left(before);
}

TEST_F(SpawnTest, CreateProcessFailureIsReadBeforeAnythingIsClosed) {
  w().use_byte_streams();
  w().close_sets_last_error = win::ERROR_INVALID_HANDLE;
  fake::Program curl;
  curl.start_error = win::ERROR_BAD_EXE_FORMAT;
  w().programs[std::u16string(kCurl)] = curl;
  const auto before = open_set();
  const auto child = spawn_process(ProcessCommand("curl"));
  EXPECT_EQ(child, std::unexpected(SystemError::from_code(193)));
  ASSERT_EQ(w().created.size(), 1u);
  EXPECT_EQ(w().created[0].inheritable_handles.size(), 3u);
  EXPECT_EQ(w().closed.size(), 3u);
  expect_nothing_left(before);
}

TEST_F(SpawnTest, MissingExactPathFailsInCreateProcess) {
  w().use_byte_streams();
  const auto before = open_set();
  const auto child = spawn_process(ProcessCommand("C:\\Temp\\vant_installer_latest.exe"));
  EXPECT_EQ(child, std::unexpected(SystemError::from_code(2)));
  EXPECT_EQ(w().created.size(), 1u);
  expect_nothing_left(before);
}

TEST_F(SpawnTest, AFolderChosenByTheLookupFailsInCreateProcess) {
  w().remove_path(kCurl);
  w().add_directory(u"C:\\Program Files\\VANT\\curl.exe");
  const auto child = spawn_process(ProcessCommand("curl"));
  ASSERT_FALSE(child.has_value());
  EXPECT_TRUE(child.error().os_code().has_value());
  EXPECT_EQ(w().created.at(0).application, u"C:\\Program Files\\VANT\\curl.exe");
}

class SpawnDuplicateFailure : public SpawnTest, public ::testing::WithParamInterface<std::size_t> {};

TEST_P(SpawnDuplicateFailure, ClosesEarlierDuplicatesAndReleasesTheLock) {
  w().use_byte_streams();
  w().duplicate_fail_at = GetParam();
  w().duplicate_fail_error = 1450;
  const auto before = open_set();
  const auto child = spawn_process(ProcessCommand("curl"));
  EXPECT_EQ(child, std::unexpected(SystemError::from_code(1450)));
  EXPECT_THAT(w().created, IsEmpty());
  EXPECT_EQ(w().duplicates.size(), GetParam() + 1);
  EXPECT_EQ(w().closed.size(), GetParam());
  expect_nothing_left(before);
}

INSTANTIATE_TEST_SUITE_P(InputOutputError, SpawnDuplicateFailure, ::testing::Values(0u, 1u, 2u));

TEST_F(SpawnTest, StaleStandardHandleFailsWithInvalidHandle) {
  w().use_byte_streams();
  w().std_error = static_cast<win::HANDLE>(0x7777);  // no longer open
  const auto before = open_set();
  EXPECT_EQ(spawn_process(ProcessCommand("curl")), std::unexpected(SystemError::from_code(6)));
  expect_nothing_left(before);
}

TEST_F(SpawnTest, ErrorsBeforeTheLockStartNothing) {
  struct Case {
    const char* name;
    ProcessCommand command;
    SystemError error;
  };
  const Case cases[] = {
      {"empty program", ProcessCommand(""), errors::no_file_name},
      {"trailing separator", ProcessCommand("C:\\Tools\\"), errors::no_file_name},
      {"not found", ProcessCommand("missing-tool"), errors::program_not_found},
      {"NUL in bare name", ProcessCommand("cu\0rl"sv), errors::nul_in_data},
      {"NUL in path", ProcessCommand("C:\\cu\0rl.exe"sv), errors::nul_in_wide_text},
      {"NUL in argument", ProcessCommand("curl").arg("-o").arg("a\0b"sv), errors::nul_in_data},
      {"NUL in folder", ProcessCommand("curl").in_folder(PathText::from_utf8("C:\\a\0b"sv)), errors::nul_in_wide_text},
  };
  for (const Case& c : cases) {
    testing::reset_process();
    w().add_file(kCurl);
    w().use_byte_streams();
    EXPECT_EQ(spawn_process(c.command), std::unexpected(c.error)) << c.name;
    EXPECT_THAT(w().created, IsEmpty()) << c.name;
    EXPECT_EQ(w().count_calls("GetStdHandle"), 0u) << c.name;
    EXPECT_EQ(w().count_calls("DuplicateHandle"), 0u) << c.name;
    EXPECT_EQ(w().locks_held, 0) << c.name;
  }
}

TEST_F(SpawnTest, EndingCheckFailureIsGetFullPathNameWsCode) {
  // A short absolute .exe path needs no conversion call, so the only
  // GetFullPathNameW is the ending check.
  w().on_GetFullPathNameW = [](const char16_t*, win::DWORD, char16_t*) {
    win::SetLastError(win::ERROR_FILENAME_EXCED_RANGE);
    return win::DWORD{0};
  };
  EXPECT_EQ(spawn_process(ProcessCommand("C:\\Temp\\setup.exe")), std::unexpected(SystemError::from_code(206)));
  EXPECT_EQ(w().count_calls("GetFullPathNameW"), 1u);
  EXPECT_THAT(w().created, IsEmpty());
}

TEST_F(SpawnTest, BatchScriptsAreRefused) {
  struct Case {
    const char* name;
    std::string program;
    std::u16string file;
  };
  const Case cases[] = {
      {"bat path", "C:\\Tools\\setup.bat", u"C:\\Tools\\setup.bat"},
      {"cmd path in upper case", "C:\\Tools\\SETUP.CMD", u"C:\\Tools\\SETUP.CMD"},
      {"mixed case", "C:\\Tools\\run.bAt", u"C:\\Tools\\run.bAt"},
      {"bare name found on PATH", "tool.cmd", u"C:\\Windows\\tool.cmd"},
      {"path completed to .bat by the system", "C:\\Tools\\x.bat. ", u"C:\\Tools\\x.bat"},
  };
  for (const Case& c : cases) {
    testing::reset_process();
    w().use_byte_streams();
    w().add_file(c.file);
    // Like Windows, the full path drops trailing dots and spaces.
    w().on_GetFullPathNameW = [](const char16_t* name, win::DWORD size, char16_t* buffer) {
      std::u16string path(name);
      while (!path.empty() && (path.back() == u'.' || path.back() == u' ')) path.pop_back();
      if (path.size() + 1 > size) return static_cast<win::DWORD>(path.size() + 1);
      std::copy(path.begin(), path.end(), buffer);
      buffer[path.size()] = 0;
      return static_cast<win::DWORD>(path.size());
    };
    const auto child = spawn_process(ProcessCommand(c.program));
    EXPECT_EQ(child, std::unexpected(errors::batch_script_refused)) << c.name;
    EXPECT_THAT(w().created, IsEmpty()) << c.name;
    EXPECT_EQ(w().count_calls("GetStdHandle"), 0u) << c.name;
  }
  EXPECT_EQ(errors::batch_script_refused.display_text(), "batch scripts cannot be started");
  EXPECT_EQ(errors::batch_script_refused.kind(), SystemErrorKind::InvalidInput);
}

TEST_F(SpawnTest, VerbatimBatchScriptIsRecognisedWithoutAFullPathCall) {
  // ".." keeps the prefix through the conversion, so the name stays verbatim.
  const char* program = "\\\\?\\C:\\Tools\\..\\x.bat";
  const auto child = spawn_process(ProcessCommand(program));
  EXPECT_EQ(child, std::unexpected(errors::batch_script_refused));
  // Both calls belong to the lookup; the ending check makes none.
  EXPECT_EQ(w().count_calls("GetFullPathNameW"), 2u);
  EXPECT_THAT(w().created, IsEmpty());
}

TEST_F(SpawnTest, ExeAndOtherEndingsAreNotBatchScripts) {
  for (const char* program : {"C:\\Tools\\a.exe", "C:\\Tools\\abat", "C:\\Tools\\a.batx", "C:\\Tools\\bat"}) {
    testing::reset_process();
    w().add_file(fake::u16(program));
    EXPECT_TRUE(spawn_process(ProcessCommand(program)).has_value()) << program;
  }
}

TEST_F(SpawnTest, IsExceptionNeutral) {
  // The fake ends the process by throwing; handles and the lock must still
  // be released on the way out.
  w().use_byte_streams();
  fake::Program curl;
  curl.on_start = [](const fake::CreateProcessCall&) { throw fake::ProcessExited{3}; };
  w().programs[std::u16string(kCurl)] = curl;
  const auto before = open_set();
  EXPECT_THROW((void)spawn_process(ProcessCommand("curl")), fake::ProcessExited);
  expect_nothing_left(before);
}

class WaitTest : public SpawnTest {
 protected:
  ChildProcess start(const fake::Program& program) {
    w().programs[std::u16string(kCurl)] = program;
    auto child = spawn_process(ProcessCommand("curl"));
    if (!child) throw std::logic_error("start failed");
    return std::move(*child);
  }
};

TEST_F(WaitTest, ReturnsTheExitCodeWithAllItsBits) {
  for (const win::DWORD code : {0u, 1u, 0xC0000005u, 0xFFFFFFFFu, 0x80000000u}) {
    fake::Program program;
    program.exit_code = code;
    ChildProcess child = start(program);
    const auto exit_code = wait_for_exit(child);
    ASSERT_TRUE(exit_code.has_value());
    EXPECT_EQ(*exit_code, code);
    release_child_handles(std::move(child));
  }
}

TEST_F(WaitTest, WaitsWithoutATimeLimitThenReadsTheCode) {
  ChildProcess child = start({});
  w().calls.clear();
  ASSERT_TRUE(wait_for_exit(child).has_value());
  EXPECT_THAT(w().calls, ElementsAre("WaitForSingleObject", "GetExitCodeProcess"));
  // The wait leaves the handles to the caller.
  EXPECT_TRUE(w().is_open(child.process_handle.get()));
  EXPECT_TRUE(w().is_open(child.thread_handle.get()));
}

TEST_F(WaitTest, FailureOfTheWaitOrOfTheCodeIsThatError) {
  struct Case {
    const char* name;
    fake::Program program;
    win::DWORD error;
    std::size_t exit_code_reads;
  };
  const Case cases[] = {
      {"wait fails", fake::Program{.wait_error = win::ERROR_ACCESS_DENIED}, 5, 0},
      {"exit code unreadable", fake::Program{.exit_code_error = win::ERROR_INVALID_HANDLE}, 6, 1},
  };
  for (const Case& c : cases) {
    w().calls.clear();
    ChildProcess child = start(c.program);
    EXPECT_EQ(wait_for_exit(child), std::unexpected(SystemError::from_code(static_cast<std::int32_t>(c.error))))
        << c.name;
    EXPECT_EQ(w().count_calls("GetExitCodeProcess"), c.exit_code_reads) << c.name;
    // The caller still owns the handles and closes them.
    EXPECT_TRUE(w().is_open(child.process_handle.get())) << c.name;
    release_child_handles(std::move(child));
  }
}

TEST_F(WaitTest, ReleasingTheHandlesClosesProcessThenThreadAndEndsNothing) {
  ChildProcess child = start({});
  const win::HANDLE process = child.process_handle.get();
  const win::HANDLE thread = child.thread_handle.get();
  w().closed.clear();
  w().calls.clear();
  release_child_handles(std::move(child));
  EXPECT_THAT(w().closed, ElementsAre(process, thread));
  // Closing neither waits for the child nor ends it.
  EXPECT_EQ(w().count_calls("WaitForSingleObject"), 0u);
  EXPECT_EQ(w().calls.size(), 2u);
}

}  // namespace
}  // namespace vant
