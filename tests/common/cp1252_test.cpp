#include <gtest/gtest.h>

#include "common/cp1252.h"

namespace velora {
namespace {

TEST(Cp1252Test, LiteralConvertsUtf8SourceText) {
  EXPECT_EQ("Prüfsummenfehler"_cp,
            "Pr\xFC"
            "fsummenfehler");
  EXPECT_EQ("Paßwort"_cp, "Pa\xDFwort");
  EXPECT_EQ("€‚„…"_cp, "\x80\x82\x84\x85");
  EXPECT_EQ("plain"_cp, "plain");
  EXPECT_EQ(""_cp.size(), 0u);
}

TEST(Cp1252Test, EveryByteSurvivesTheRoundTripThroughUnicode) {
  std::string all;
  for (int b = 0; b < 256; ++b)
    all += static_cast<char>(b);
  EXPECT_EQ(Utf16ToCp1252(Cp1252ToUtf16(all)), all);
  EXPECT_EQ(Utf8ToCp1252(Cp1252ToUtf8(all)), all);
}

TEST(Cp1252Test, HighRangeUsesTheWindowsTable) {
  EXPECT_EQ(Cp1252ToUtf16("\x80"), u"\u20AC");
  EXPECT_EQ(Cp1252ToUtf16("\x9F"), u"\u0178");
  EXPECT_EQ(Cp1252ToUtf16("\xE4"), u"\u00E4");
  EXPECT_EQ(Cp1252ToUtf8("\xE4"), "ä");
  EXPECT_EQ(Cp1252ToUtf8("\x80"), "€");
}

TEST(Cp1252Test, CharactersOutsideTheCodePageBecomeTheReplacement) {
  EXPECT_EQ(Utf16ToCp1252(u"a\u4E2Db"), "a?b");
  EXPECT_EQ(Utf16ToCp1252(u"\U0001F600", '#'), "#");
  EXPECT_EQ(Utf8ToCp1252("a\xE4"
                         "b"),
            "a?b")
      << "a stray Latin-1 byte is not UTF-8";
  EXPECT_EQ(Utf8ToCp1252("x\xC3"), "x?") << "a sequence cut at the end";
  EXPECT_EQ(Utf8ToCp1252("😀"), "?");
}

}  // namespace
}  // namespace velora
