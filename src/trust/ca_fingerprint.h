// The SHA-256 fingerprints of the vendor's certificate authorities, as the
// program is built with them: the fingerprint of the whole DER certificate,
// what `openssl x509 -fingerprint -sha256` prints.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace vant {

using CaFingerprint = std::array<std::uint8_t, 32>;

namespace ca_fingerprint_detail {
// Not constexpr: reaching it while compiling stops the build.
void malformed_fingerprint_text();

consteval std::uint8_t hex_digit(char c) {
  if (c >= '0' && c <= '9') return static_cast<std::uint8_t>(c - '0');
  if (c >= 'A' && c <= 'F') return static_cast<std::uint8_t>(c - 'A' + 10);
  malformed_fingerprint_text();
  return 0;
}
}  // namespace ca_fingerprint_detail

// The fingerprints of `text`, which the build writes: 64 upper-case hex
// digits each, ';' between them, nothing else; empty for none. Computed when
// compiling; any other text does not compile.
// Example: "00...1F;A0...BF" (64 digits each) -> {{0x00, ..., 0x1F}, {0xA0, ..., 0xBF}}.
template <std::size_t N>
consteval std::array<CaFingerprint, N / 65> parse_ca_fingerprints(const char (&text)[N]) {
  // Each fingerprint takes 64 digits and a ';' (the terminating NUL for
  // the last one).
  if (N % 65 != 0 && N != 1) ca_fingerprint_detail::malformed_fingerprint_text();
  std::array<CaFingerprint, N / 65> fingerprints{};
  for (std::size_t f = 0; f < fingerprints.size(); ++f) {
    const char* digits = text + f * 65;
    for (std::size_t b = 0; b < 32; ++b) {
      fingerprints[f][b] = static_cast<std::uint8_t>(ca_fingerprint_detail::hex_digit(digits[2 * b]) << 4 |
                                                     ca_fingerprint_detail::hex_digit(digits[2 * b + 1]));
    }
    if (digits[64] != (f + 1 < fingerprints.size() ? ';' : '\0')) ca_fingerprint_detail::malformed_fingerprint_text();
  }
  return fingerprints;
}

}  // namespace vant
