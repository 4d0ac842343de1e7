// One owner for every kind of resource Windows hands out: a handle, memory
// to give back with LocalFree, a certificate chain. The owner lets go of its
// resource once, treats the kind's "none" values as empty, moves but never
// copies. What differs from kind to kind is said by a Traits type:
//
//   struct Traits {
//     using Value = ...;                      // what Windows hands out
//     static constexpr Value kNone = ...;     // the empty value
//     static bool is_none(Value value);       // optional: more than one empty value
//     void close(Value value) const;          // lets go; a failure is ignored
//   };
//
// Traits may carry state (the function that frees a chain, found at run
// time); it moves with the resource. Plain C++ without Windows types, so
// that the test programs use it too.
#pragma once

#include <utility>

namespace vant {

template <typename Traits>
class UniqueResource {
 public:
  using Value = typename Traits::Value;

  constexpr UniqueResource() = default;
  constexpr explicit UniqueResource(Value value, Traits traits = {}) : value_(value), traits_(traits) {}
  UniqueResource(UniqueResource&& other) noexcept : value_(other.release()), traits_(other.traits_) {}
  UniqueResource& operator=(UniqueResource&& other) noexcept {
    if (this != &other) {
      reset(other.release());
      traits_ = other.traits_;
    }
    return *this;
  }
  UniqueResource(const UniqueResource&) = delete;
  UniqueResource& operator=(const UniqueResource&) = delete;
  ~UniqueResource() { reset(); }

  static bool is_none(Value value) {
    if constexpr (requires { Traits::is_none(value); }) {
      return Traits::is_none(value);
    } else {
      return value == Traits::kNone;
    }
  }

  bool empty() const { return is_none(value_); }
  explicit operator bool() const { return !empty(); }
  Value get() const { return value_; }

  // Gives up ownership without letting go.
  Value release() { return std::exchange(value_, Traits::kNone); }

  // Lets go of the held resource, if any, and holds `value` instead.
  void reset(Value value = Traits::kNone) {
    const Value old = std::exchange(value_, value);
    if (!is_none(old)) traits_.close(old);
  }

  // For a call that hands out the resource through a pointer and leaves it
  // untouched when it fails: lets go of the held one and gives the place
  // for the new one.
  Value* out() {
    reset();
    return &value_;
  }

 private:
  Value value_ = Traits::kNone;
  [[no_unique_address]] Traits traits_{};
};

}  // namespace vant
