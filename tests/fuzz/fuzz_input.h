// What the fuzz targets share: reading choices out of the fuzzer's bytes, and a check that stops
// the run with a message (libFuzzer keeps the input that made it fail).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#define FUZZ_CHECK(condition, message)                                                      \
  do {                                                                                      \
    if (!(condition)) {                                                                     \
      std::fprintf(stderr, "%s:%d: check failed: %s: %s\n", __FILE__, __LINE__, #condition, \
                   std::string(message).c_str());                                           \
      std::abort();                                                                         \
    }                                                                                       \
  } while (false)

namespace velora::fuzz {

// Takes bytes from the front; past the end every value is 0 and every string empty, so each
// input is a valid program of choices.
class FuzzInput {
 public:
  FuzzInput(const std::uint8_t* data, std::size_t size)
      : bytes_(reinterpret_cast<const char*>(data), size) {}

  bool Empty() const { return bytes_.empty(); }
  std::size_t Left() const { return bytes_.size(); }

  std::uint8_t Byte() {
    if (bytes_.empty()) return 0;
    const auto b = static_cast<std::uint8_t>(bytes_.front());
    bytes_.remove_prefix(1);
    return b;
  }
  bool Flag() { return (Byte() & 1) != 0; }
  // One of n choices (n > 0).
  std::size_t Pick(std::size_t n) { return Byte() % n; }
  template <typename T, std::size_t N>
  const T& PickOf(const T (&choices)[N]) {
    return choices[Pick(N)];
  }
  // Up to n bytes.
  std::string Bytes(std::size_t n) {
    const std::string_view taken = bytes_.substr(0, n);
    bytes_.remove_prefix(taken.size());
    return std::string(taken);
  }
  // A string preceded by its length byte, at most maxLength long.
  std::string Text(std::size_t maxLength = 255) { return Bytes(Byte() % (maxLength + 1)); }
  std::string Rest() { return Bytes(bytes_.size()); }

 private:
  std::string_view bytes_;
};

}  // namespace velora::fuzz
