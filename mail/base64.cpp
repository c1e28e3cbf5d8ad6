// Base64 encoding and decoding.
#include "mail/base64.h"

#include <cstdint>

namespace velora {

namespace {

constexpr std::string_view kAlphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int ValueOf(char c) {
  const auto position = kAlphabet.find(c);
  return position == std::string_view::npos ? -1 : static_cast<int>(position);
}

}  // namespace

std::string Base64Encode(std::string_view bytes) {
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    const std::size_t n = bytes.size() - i < 3 ? bytes.size() - i : 3;
    std::uint32_t group = 0;
    for (std::size_t k = 0; k < 3; ++k) {
      group <<= 8;
      if (k < n) group |= static_cast<unsigned char>(bytes[i + k]);
    }
    for (std::size_t k = 0; k < 4; ++k) {
      out += k <= n ? kAlphabet[(group >> (18 - 6 * k)) & 0x3F] : '=';
    }
  }
  return out;
}

std::optional<std::string> Base64Decode(std::string_view text) {
  if (text.size() % 4 != 0) return std::nullopt;
  std::string out;
  out.reserve(text.size() / 4 * 3);
  for (std::size_t i = 0; i < text.size(); i += 4) {
    const bool last = i + 4 == text.size();
    std::uint32_t group = 0;
    std::size_t padding = 0;
    for (std::size_t k = 0; k < 4; ++k) {
      const char c = text[i + k];
      group <<= 6;
      if (c == '=') {
        // Padding only at the end of the last group, at most two.
        if (!last || k < 2) return std::nullopt;
        ++padding;
        continue;
      }
      if (padding > 0) return std::nullopt;
      const int value = ValueOf(c);
      if (value < 0) return std::nullopt;
      group |= static_cast<std::uint32_t>(value);
    }
    for (std::size_t k = 0; k < 3 - padding; ++k) {
      out += static_cast<char>((group >> (16 - 8 * k)) & 0xFF);
    }
  }
  return out;
}

}  // namespace velora
