#include "support/driver_run.h"

#include <gtest/gtest.h>

#include "setup/driver.h"

namespace vant::testing {

void DriverRun::SetUp() {
  SeamTest::SetUp();
  streams_ = w().use_byte_streams();
  w().temp_path = kRunTemp;
  w().add_file(kRunCurl);
}

void DriverRun::curl_exits(win::DWORD code, bool writes_installer) {
  fake::Program curl;
  curl.exit_code = code;
  if (writes_installer) {
    curl.on_start = [](const fake::CreateProcessCall&) { fake::world().add_file(kRunInstaller); };
  }
  w().programs[kRunCurl] = curl;
}

void DriverRun::scanner_holds_installer_after_curl() {
  fake::Program& curl = w().programs[kRunCurl];
  curl.on_start = [curl_start = curl.on_start](const fake::CreateProcessCall& call) {
    if (curl_start) curl_start(call);
    ASSERT_EQ(fake::world().other_party_holds(kRunInstaller, win::GENERIC_READ, 0), 0u);
  };
}

namespace {
bool is_version_probe(const fake::CreateProcessCall& call) { return call.command_line.ends_with(u"\" -V"); }
}  // namespace

std::vector<fake::CreateProcessCall> DriverRun::created() const {
  std::vector<fake::CreateProcessCall> calls;
  for (const auto& call : fake::world().created) {
    if (!is_version_probe(call)) calls.push_back(call);
  }
  return calls;
}

std::vector<fake::CreateProcessCall> DriverRun::version_probes() const {
  std::vector<fake::CreateProcessCall> calls;
  for (const auto& call : fake::world().created) {
    if (is_version_probe(call)) calls.push_back(call);
  }
  return calls;
}

RunOutcome DriverRun::run() {
  RunOutcome outcome;
  try {
    run_setup();
    ADD_FAILURE() << "run_setup returned";
  } catch (const fake::ProcessExited& end) {
    outcome.exit_code = end.code;
  } catch (const fake::FailedFast& end) {
    outcome.fail_fast = end.code;
  }
  outcome.out = streams_.output->written;
  outcome.err = streams_.error->written;
  return outcome;
}

}  // namespace vant::testing
