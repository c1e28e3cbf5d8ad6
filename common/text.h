// Small 8-bit text helpers shared by every layer: ASCII case folding, readable bytes, numbers.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace velora {

// An array of 8-bit strings.
using TAoS = std::vector<std::string>;

// Only a-z and A-Z change; umlauts and every other byte stay as they are.
std::string AsciiUpper(std::string_view text);
std::string AsciiLower(std::string_view text);

// Bytes below 32 or above 127 as "<" + decimal value + ">", all others as themselves.
std::string ReadableBytes(std::string_view bytes);

// Below 32, 127, and the five bytes Windows-1252 leaves unassigned, which stand for C1 controls.
constexpr bool IsControlByte(unsigned char b) {
  return b < 32 || b == 127 || b == 0x81 || b == 0x8D || b == 0x8F || b == 0x90 || b == 0x9D;
}

// For the operator's event list and terminal: control bytes as "\xNN", everything else as it is.
std::string EscapeControlBytes(std::string_view text);

// Leading blanks, then decimal digits up to the first other character; 0 without digits.
std::int64_t LeadingNumber(std::string_view text);

// Leading blanks, an optional sign, then decimal digits or hexadecimal digits after "$", "x" or
// "0x"; stops at the first character that does not fit and keeps what it read. Saturates at the
// 32-bit range so that an over-long number cannot wrap to a small one.
std::int32_t ConvertNumber(std::string_view text);

// Splits at every occurrence of the separator; an empty text gives one empty field.
TAoS SplitText(std::string_view text, char separator);

}  // namespace velora
