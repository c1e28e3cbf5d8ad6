// Windows-1252, the PC side's 8-bit text: conversion to and from Unicode for the windows and the
// terminal, and the _cp literal that turns UTF-8 source text into 8-bit text at compile time.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace velora {

namespace cp1252_detail {

// Code points of 0x80-0x9F; the five unassigned bytes map to the C1 control of the same value so
// that every byte survives a round trip.
inline constexpr std::array<char16_t, 32> High{
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// The byte of a code point, or -1 when Windows-1252 has none.
constexpr int ByteOf(char32_t cp) {
  if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<int>(cp);
  for (int i = 0; i < 32; ++i) {
    if (High[i] == cp) return 0x80 + i;
  }
  return -1;
}

template <std::size_t N>
struct Literal {
  char bytes[N]{};
  std::size_t size = 0;

  consteval Literal(const char (&utf8)[N]) {
    std::size_t i = 0;
    while (i + 1 < N) {
      const auto b0 = static_cast<unsigned char>(utf8[i]);
      char32_t cp = 0;
      int extra = 0;
      if (b0 < 0x80) {
        cp = b0;
      } else if ((b0 & 0xE0) == 0xC0) {
        cp = b0 & 0x1F;
        extra = 1;
      } else if ((b0 & 0xF0) == 0xE0) {
        cp = b0 & 0x0F;
        extra = 2;
      } else {
        throw "characters beyond U+FFFF have no Windows-1252 byte";
      }
      for (int k = 1; k <= extra; ++k)
        cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
      i += 1 + extra;
      const int b = ByteOf(cp);
      if (b < 0) throw "character has no Windows-1252 byte";
      bytes[size++] = static_cast<char>(b);
    }
  }
};

}  // namespace cp1252_detail

// "Prüfsummenfehler"_cp is the Windows-1252 text of the UTF-8 source literal. clang 14 crashes on
// a std::string variable initialised from it (`std::string s("ä"_cp);`); append it instead.
template <cp1252_detail::Literal L>
constexpr std::string_view operator""_cp() {
  return std::string_view(L.bytes, L.size);
}

std::u16string Cp1252ToUtf16(std::string_view text);
// Characters without a Windows-1252 byte become the replacement byte.
std::string Utf16ToCp1252(std::u16string_view text, char replacement = '?');
std::string Cp1252ToUtf8(std::string_view text);
std::string Utf8ToCp1252(std::string_view text, char replacement = '?');

}  // namespace velora
