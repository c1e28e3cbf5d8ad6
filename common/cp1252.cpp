// Windows-1252 conversions.
#include "common/cp1252.h"

namespace velora {

namespace {

char32_t CodePointOf(unsigned char b) {
  return b >= 0x80 && b <= 0x9F ? cp1252_detail::High[b - 0x80] : b;
}

char ByteOrReplacement(char32_t cp, char replacement) {
  const int b = cp1252_detail::ByteOf(cp);
  return b < 0 ? replacement : static_cast<char>(b);
}

}  // namespace

std::u16string Cp1252ToUtf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (char c : text)
    out += static_cast<char16_t>(CodePointOf(static_cast<unsigned char>(c)));
  return out;
}

std::string Utf16ToCp1252(std::u16string_view text, char replacement) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t u = text[i];
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < text.size()) {
      ++i;  // a surrogate pair is one character outside the code page
      out += replacement;
      continue;
    }
    out += ByteOrReplacement(u, replacement);
  }
  return out;
}

std::string Cp1252ToUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 4);
  for (char c : text) {
    const char32_t cp = CodePointOf(static_cast<unsigned char>(c));
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp < 0x800) {
      out += static_cast<char>(0xC0 | (cp >> 6));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      out += static_cast<char>(0xE0 | (cp >> 12));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    }
  }
  return out;
}

std::string Utf8ToCp1252(std::string_view text, char replacement) {
  std::string out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    const auto b0 = static_cast<unsigned char>(text[i]);
    int extra = 0;
    char32_t cp = b0;
    if (b0 >= 0xC0 && b0 < 0xE0) {
      extra = 1;
      cp = b0 & 0x1F;
    } else if (b0 >= 0xE0 && b0 < 0xF0) {
      extra = 2;
      cp = b0 & 0x0F;
    } else if (b0 >= 0xF0) {
      extra = 3;
      cp = b0 & 0x07;
    } else if (b0 >= 0x80) {
      out += replacement;  // a stray continuation byte
      ++i;
      continue;
    }
    bool valid = i + extra < text.size();  // a sequence cut short is invalid
    for (int k = 1; valid && k <= extra; ++k) {
      const auto bk = static_cast<unsigned char>(text[i + k]);
      if ((bk & 0xC0) != 0x80) valid = false;
      cp = (cp << 6) | (bk & 0x3F);
    }
    if (!valid) {
      out += replacement;
      ++i;
      continue;
    }
    out += ByteOrReplacement(cp, replacement);
    i += 1 + extra;
  }
  return out;
}

}  // namespace velora
