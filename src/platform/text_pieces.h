// A message made of several UTF-8 pieces: the literal parts of a message and
// the pieces of each inserted value, in order. The console writes each piece
// on its own, so a message never has to be joined into one heap string.
#pragma once

#include <array>
#include <cstddef>
#include <initializer_list>
#include <span>
#include <string_view>

namespace vant {

class TextPieces {
 public:
  static constexpr std::size_t kCapacity = 12;

  constexpr TextPieces() = default;
  constexpr TextPieces(std::string_view piece) { add(piece); }                      // NOLINT: implicit by design
  constexpr TextPieces(const char* piece) : TextPieces(std::string_view(piece)) {}  // NOLINT
  constexpr TextPieces(std::initializer_list<std::string_view> pieces) {
    for (std::string_view piece : pieces) add(piece);
  }

  // Pieces are views: whatever they point into must outlive this object.
  constexpr TextPieces& add(std::string_view piece) {
    if (count_ == kCapacity) overflow();
    pieces_[count_++] = piece;
    return *this;
  }
  constexpr TextPieces& append(const TextPieces& more) {
    for (std::string_view piece : more.pieces()) add(piece);
    return *this;
  }

  constexpr std::span<const std::string_view> pieces() const { return {pieces_.data(), count_}; }

 private:
  // A message with more pieces than kCapacity is a programming error.
  [[noreturn]] static void overflow();

  std::array<std::string_view, kCapacity> pieces_{};
  std::size_t count_ = 0;
};

}  // namespace vant
