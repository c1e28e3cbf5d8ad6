#include <gtest/gtest.h>

#include <cstdio>

#include "common/constants.h"
#include "common/cp1252.h"
#include "common/text.h"
#include "common/thash.h"

namespace velora {
namespace {

TEST(THashTest, KeysCompareUpperCasedAndGetAddsMissingKeys) {
  THash hash;
  hash.Put("name", "x");
  EXPECT_EQ(hash.Get("NAME"), "x");
  EXPECT_EQ(hash.Get("Name"), "x");
  EXPECT_EQ(hash.Keys().size(), 1u);

  EXPECT_EQ(hash.Get("unknown"), "");
  ASSERT_EQ(hash.Keys().size(), 2u);
  EXPECT_EQ(hash.Keys()[1], "UNKNOWN");
  hash.Put("Unknown", "later");
  EXPECT_EQ(hash.Keys().size(), 2u) << "a later Put reuses the entry Get added";
  EXPECT_EQ(hash.Values()[1], "later");
}

TEST(THashTest, OnlyAsciiLettersAreFolded) {
  THash hash;
  hash.Put("\xE4", "lower umlaut"_cp);  // ä
  hash.Put("\xC4", "upper umlaut"_cp);  // Ä
  hash.Put(
      "stra\xDF"
      "e",
      "sharp s");
  EXPECT_EQ(hash.Keys().size(), 3u);
  EXPECT_EQ(hash.Get("\xE4"), "lower umlaut");
  EXPECT_EQ(hash.Keys()[2],
            "STRA\xDF"
            "E");
}

TEST(ReadableBytesTest, ControlAndHighBytesAreShownAsNumbers) {
  EXPECT_EQ(ReadableBytes(""), "");
  EXPECT_EQ(ReadableBytes(std::string("\x55\x01\xFF", 3)), "U<1><255>");
  EXPECT_EQ(ReadableBytes(std::string("\x00\x06\x06\x01\x01\x42", 6)), "<0><6><6><1><1>B");
  EXPECT_EQ(ReadableBytes("\x7F"), "\x7F");
  EXPECT_EQ(ReadableBytes("\x80"), "<128>");
  EXPECT_EQ(ReadableBytes(" ~"), " ~");
}

TEST(EscapeControlBytesTest, NoByteReachesATerminalAsAControlCharacter) {
  EXPECT_EQ(EscapeControlBytes("a\x1B[2Jb\r\n"), "a\\x1B[2Jb\\x0D\\x0A");
  EXPECT_EQ(EscapeControlBytes(std::string("\x00\x7F", 2)), "\\x00\\x7F");
  EXPECT_EQ(EscapeControlBytes("Gr\xFC\xDF \x80 \\ ~"), "Gr\xFC\xDF \x80 \\ ~") << "text stays";
  for (int b = 0; b < 256; ++b) {
    const std::string escaped = EscapeControlBytes(std::string(1, static_cast<char>(b)));
    for (const char16_t c : Cp1252ToUtf16(escaped)) {
      EXPECT_FALSE(c < 0x20 || (c >= 0x7F && c <= 0x9F)) << "byte " << b;
    }
    if (escaped.size() > 1) {
      char expected[8];
      std::snprintf(expected, sizeof expected, "\\x%02X", static_cast<unsigned>(b));
      EXPECT_EQ(escaped, expected);
    }
  }
}

TEST(CaseFoldingTest, OnlyAToZChange) {
  EXPECT_EQ(AsciiUpper("m\xF6we gast"), "M\xF6WE GAST");
  EXPECT_EQ(AsciiLower("IDMenuMain \xC4"), "idmenumain \xC4");
}

TEST(NumberTest, ConvertNumberTakesSignsAndHexPrefixes) {
  EXPECT_EQ(ConvertNumber("249"), 249);
  EXPECT_EQ(ConvertNumber("  42"), 42);
  EXPECT_EQ(ConvertNumber("-7"), -7);
  EXPECT_EQ(ConvertNumber("+7"), 7);
  EXPECT_EQ(ConvertNumber("$1F"), 31);
  EXPECT_EQ(ConvertNumber("x1f"), 31);
  EXPECT_EQ(ConvertNumber("X10"), 16);
  EXPECT_EQ(ConvertNumber("0x10"), 16);
  EXPECT_EQ(ConvertNumber("0X10"), 16);
  EXPECT_EQ(ConvertNumber("12abc"), 12);
  EXPECT_EQ(ConvertNumber("$1G"), 1);
  EXPECT_EQ(ConvertNumber(""), 0);
  EXPECT_EQ(ConvertNumber("abc"), 0);
  EXPECT_EQ(ConvertNumber("0"), 0);
  EXPECT_EQ(ConvertNumber("99999999999"), 2147483647);
  EXPECT_EQ(ConvertNumber("-99999999999"), -2147483647 - 1);
}

TEST(NumberTest, LeadingNumberReadsDigitsAfterBlanks) {
  EXPECT_EQ(LeadingNumber("15   "), 15);
  EXPECT_EQ(LeadingNumber("  3x"), 3);
  EXPECT_EQ(LeadingNumber("word"), 0);
  EXPECT_EQ(LeadingNumber("-3"), 0);
  EXPECT_EQ(LeadingNumber(""), 0);
  EXPECT_EQ(LeadingNumber("99999999999999999999999"), 1'000'000'000'000);
}

TEST(SplitTextTest, KeepsEmptyFields) {
  EXPECT_EQ(SplitText("a=b=c", '='), (TAoS{"a", "b", "c"}));
  EXPECT_EQ(SplitText("", '='), (TAoS{""}));
  EXPECT_EQ(SplitText("=", '='), (TAoS{"", ""}));
}

TEST(CalcTypeTest, PerModelTables) {
  EXPECT_EQ(ScreenColumns[1], 21);
  EXPECT_EQ(ScreenChars[1], 168);
  EXPECT_EQ(ScreenColumns[0] * ScreenRows, ScreenChars[0]);
  EXPECT_EQ(CalcTypeFromCode(0x82), 0);
  EXPECT_EQ(CalcTypeFromCode(0x86), 1);
  EXPECT_EQ(CalcTypeFromCode(0x83), 0);
  EXPECT_EQ(CalcTypeNames[1], "TI86");
}

}  // namespace
}  // namespace velora
