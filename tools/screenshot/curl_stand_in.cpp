// A stand-in for curl.exe for the README screenshot only (never shipped,
// never part of the tests): draws curl's --progress-bar on the error stream
// up to 45 %, then fails the way curl does when the server drops the
// connection: "curl: (56) ..." and exit code 56.
#include <windows.h>

#include <cstdio>

namespace {

void write_error(const char* text, int length) {
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_ERROR_HANDLE), text, static_cast<DWORD>(length), &written, nullptr);
}

}  // namespace

int main() {
  // curl's bar: 72 columns of '#', then the percentage, redrawn after '\r'.
  constexpr int kWidth = 72;
  char line[128];
  for (int tenths = 0; tenths <= 450; tenths += 15) {
    const int filled = kWidth * tenths / 1000;
    int length =
        std::snprintf(line, sizeof line, "\r%-*.*s %5.1f%%", kWidth, filled,
                      "########################################################################", tenths / 10.0);
    write_error(line, length);
    Sleep(40);
  }
  const char failure[] = "\ncurl: (56) Recv failure: Connection was reset\n";
  write_error(failure, sizeof failure - 1);
  return 56;
}
