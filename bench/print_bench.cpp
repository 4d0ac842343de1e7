// Throughput of print_stdout against raw NtWriteFile calls of the same bytes,
// on whatever standard output is (run it with output on a pipe or a file).
// Results go to the error stream.
//
// Workloads, each about 8 MB per run; print and raw runs alternate, five of
// each, and the best of each counts:
//   lines   80-byte lines, each ending in a line feed: one write per print
//           for both; print_stdout adds the handle fetch and console check.
//   pieces  the same lines printed as five 16-byte pieces, a line feed in the
//           last: print_stdout buffers them into one write per line; raw
//           writes each piece.
//   large   64 KiB pieces without a line feed: straight past the buffer.
// A last line gives the platform's own costs: GetConsoleMode on the stream
// (the console check every write makes), one raw 80-byte write, and the two
// together, which is what printing a line costs at the least.
#include <windows.h>
#include <winternl.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "console/output.h"

extern "C" NTSTATUS NTAPI NtWriteFile(HANDLE, HANDLE, PVOID, PVOID, PIO_STATUS_BLOCK, const void*, ULONG,
                                      const LARGE_INTEGER*, const ULONG*);

namespace {

double seconds_now() {
  LARGE_INTEGER counter;
  LARGE_INTEGER frequency;
  QueryPerformanceCounter(&counter);
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

void raw_write(HANDLE handle, std::string_view bytes) {
  while (!bytes.empty()) {
    IO_STATUS_BLOCK block{};
    const NTSTATUS status = NtWriteFile(handle, nullptr, nullptr, nullptr, &block, bytes.data(),
                                        static_cast<ULONG>(bytes.size()), nullptr, nullptr);
    if (status < 0) return;
    bytes.remove_prefix(block.Information);
  }
}

struct Workload {
  const char* name;
  std::vector<std::string> pieces;  // one round
  std::size_t rounds;

  std::size_t bytes() const {
    std::size_t total = 0;
    for (const auto& piece : pieces) total += piece.size();
    return total * rounds;
  }
};

template <typename Write>
double seconds_for(const Workload& workload, Write write) {
  const double start = seconds_now();
  for (std::size_t round = 0; round < workload.rounds; ++round) {
    for (const auto& piece : workload.pieces) write(std::string_view(piece));
  }
  return seconds_now() - start;
}

void report(std::string_view line) { vant::print_stderr(line); }

}  // namespace

int main() {
  const std::string line = std::string(79, 'x') + "\n";
  std::vector<std::string> pieces;
  for (std::size_t i = 0; i < 5; ++i) pieces.push_back(line.substr(i * 16, 16));
  const std::string large(64 * 1024, 'y');
  const Workload workloads[] = {
      {"lines", {line}, 100'000},
      {"pieces", pieces, 100'000},
      {"large", {large}, 128},
  };

  const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  vant::print_stdout("");  // makes the output stream and its buffer
  for (const Workload& workload : workloads) {
    double printed = 1e9;
    double raw = 1e9;
    for (int run = 0; run < 5; ++run) {
      printed = std::min(printed, seconds_for(workload, [](std::string_view piece) { vant::print_stdout(piece); }));
      raw = std::min(raw, seconds_for(workload, [out](std::string_view piece) { raw_write(out, piece); }));
    }
    const double megabytes = static_cast<double>(workload.bytes()) / 1e6;
    char text[160];
    std::snprintf(text, sizeof text, "%-7s print_stdout %8.1f MB/s   raw %8.1f MB/s   ratio %.2f\n", workload.name,
                  megabytes / printed, megabytes / raw, raw / printed);
    report(text);
  }

  constexpr int kCalls = 20'000;
  double mode = 1e9;
  double write = 1e9;
  double both = 1e9;
  for (int run = 0; run < 5; ++run) {
    double start = seconds_now();
    for (int i = 0; i < kCalls; ++i) {
      DWORD value = 0;
      (void)GetConsoleMode(out, &value);
    }
    mode = std::min(mode, seconds_now() - start);
    start = seconds_now();
    for (int i = 0; i < kCalls; ++i) raw_write(out, line);
    write = std::min(write, seconds_now() - start);
    start = seconds_now();
    for (int i = 0; i < kCalls; ++i) {
      DWORD value = 0;
      (void)GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &value);
      raw_write(out, line);
    }
    both = std::min(both, seconds_now() - start);
  }
  char text[160];
  std::snprintf(text, sizeof text,
                "per call: GetConsoleMode %.2f us, NtWriteFile of 80 bytes %.2f us, both (the platform part of "
                "printing a line) %.2f us\n",
                mode / kCalls * 1e6, write / kCalls * 1e6, both / kCalls * 1e6);
  report(text);
  return 0;
}
