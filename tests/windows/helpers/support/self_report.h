// What a stand-in child knows about its own start: how it was called, which
// standard handles it got, which inheritable handles it holds, when it was
// created, and whether its parent still holds the handles it passed on. Both
// stand-ins record the same facts, so a test can set the download tool's
// start beside the installer's.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string_view>

#include "support/record.h"

namespace vant_test {

struct StartFacts {
  std::uint64_t main_ticks = 0;
};

StartFacts capture_start();

// The record of this process's start: role, ids, image, command line and
// its split arguments, current folder, the environment variables an
// elevated run must keep from or give its children ("env.NAME", present only
// when set), standard handles (kind, value, and the file for a disk file),
// creation time, and every inheritable handle it holds. Handles keep their values and their inheritable flag when they
// are inherited, and a fresh process opens none of its own as inheritable, so the inheritable ones are exactly what the
// parent let it inherit.
RecordBuilder describe_start(std::string_view role, const StartFacts& facts);

// Whether the parent still holds, under the same values, the standard
// handles it passed to this child ("parent_holds.stdin=0/1" and so on).
// An inherited handle has the value it had in the parent, so the parent's
// duplicate made for this start sits at that value until the parent closes
// it. The parent closes it only after CreateProcessW has returned, which may
// be after this child runs, so the check waits up to a second for that; a
// value the parent has meanwhile reused for some other object counts as
// closed. Only disk files can be told apart, so tests use files here.
void add_parent_holds_check(RecordBuilder& record);

// Writes the record to <VANT_TEST_RECORD_DIR>\<role>.txt when that variable
// is set; a stand-in run by hand records nothing.
void store_record(std::string_view role, const RecordBuilder& record);

// Writes bytes to one of this process's standard handles, if it has one.
void write_to_std(DWORD which, std::string_view bytes);

}  // namespace vant_test
