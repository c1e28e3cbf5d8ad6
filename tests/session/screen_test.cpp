// Layout for the calculators: translation tables, word wrap, page payloads, menu titles, packets.
#include "session/screen.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "common/cp1252.h"

namespace velora {
namespace {

std::string Blanks(std::size_t n) {
  return std::string(n, ' ');
}

TEST(TranslationTest, TablesHaveTheListedEntries) {
  const auto nonZero = [](const CharTable& t) {
    return std::count_if(t.begin(), t.end(), [](std::uint8_t v) { return v != 0; });
  };
  EXPECT_EQ(nonZero(TranslationTable(0)), 60);
  EXPECT_EQ(nonZero(TranslationTable(1)), 62);
  // A sample from each list.
  for (std::uint8_t model : {0, 1}) {
    const CharTable& t = TranslationTable(model);
    EXPECT_EQ(t[0xA1], 0xBA);
    EXPECT_EQ(t[0xB2], 0x12);
    EXPECT_EQ(t[0xC4], 0x8D);  // Ä
    EXPECT_EQ(t[0xD6], 0xA5);  // Ö
    EXPECT_EQ(t[0xDC], 0xAD);  // Ü
    EXPECT_EQ(t[0xE4], 0x91);  // ä
    EXPECT_EQ(t[0xF6], 0xA9);  // ö
    EXPECT_EQ(t[0xFC], 0xB1);  // ü
    EXPECT_EQ(t[0xDF], 0xBC);  // ß
    EXPECT_EQ(t[0xF0], 0xBF);
    EXPECT_EQ(t['A'], 0);
    EXPECT_EQ(t[0x00], 0);
  }
  const CharTable& ti82 = TranslationTable(0);
  const CharTable& ti86 = TranslationTable(1);
  EXPECT_EQ(ti82[0x0A], 0x20);
  EXPECT_EQ(ti86[0x0A], 0);
  EXPECT_EQ(ti82[0xD8], 0x5B);
  EXPECT_EQ(ti86[0xD8], 0);
  EXPECT_EQ(ti82[0xD7], 0xCD);
  EXPECT_EQ(ti86[0xD7], 0x0A);
  EXPECT_EQ(ti82[0xAA], 0xE0);
  EXPECT_EQ(ti86[0xAA], 0xE3);
  EXPECT_EQ(ti82[0xB0], 0xD4);
  EXPECT_EQ(ti86[0xB0], 0x14);
  EXPECT_EQ(ti86[0x0D], 0xD6);
  EXPECT_EQ(ti82[0x0D], 0);
  EXPECT_EQ(ti86[0x9B], 0x06);
  EXPECT_EQ(ti86[0x85], 0xCE);
  EXPECT_EQ(ti86[0x8B], 0xCF);
  EXPECT_EQ(ti86[0xAD], 0xD2);
  EXPECT_EQ(TranslationTable(7), ti82) << "an unknown model falls back to the TI 82";
}

TEST(TranslationTest, TranslatesByteForByte) {
  EXPECT_EQ(TranslateText("Grüße"_cp, 0),
            "Gr\xB1\xBC"
            "e");
  EXPECT_EQ(TranslateText("[x]\n", 0), "\xC1x]\x20");
  EXPECT_EQ(TranslateText("[x]\n", 1), "[x]\n");
  EXPECT_EQ(TranslateText("", 0), "");
  const std::string all = [] {
    std::string s;
    for (int i = 0; i < 256; ++i)
      s += static_cast<char>(i);
    return s;
  }();
  for (std::uint8_t model : {0, 1}) {
    const std::string out = TranslateText(all, model);
    ASSERT_EQ(out.size(), 256u);
    for (int i = 0; i < 256; ++i) {
      const std::uint8_t entry = TranslationTable(model)[i];
      EXPECT_EQ(static_cast<std::uint8_t>(out[i]), entry != 0 ? entry : i) << i;
    }
  }
}

TEST(WrapTest, LineEndsAndPadding) {
  EXPECT_EQ(WrapText("Hallo Welt\n", 16), "Hallo Welt" + Blanks(6));
  EXPECT_EQ(WrapText("\n", 16), Blanks(16)) << "an empty line is a line of blanks";
  EXPECT_EQ(WrapText("a\n\nb", 16), "a" + Blanks(15) + Blanks(16) + "b");
  EXPECT_EQ(WrapText("", 16), "");
  EXPECT_EQ(WrapText("ohne Ende", 16), "ohne Ende") << "a last partial line is not padded";
  EXPECT_EQ(WrapText("Hallo Welt\n", 21), "Hallo Welt" + Blanks(11));
}

TEST(WrapTest, WordsMoveToTheNextLine) {
  // Column 14: a 3-letter word with its blank does not fit.
  EXPECT_EQ(WrapText("abcdefghijklm abc x", 16), "abcdefghijklm " + Blanks(2) + "abc x");
  // Column 14: a 2-letter word with its blank ends at the line end; the blank is dropped.
  EXPECT_EQ(WrapText("abcdefghijklm ab x", 16),
            "abcdefghijklm ab"
            "x");
  // A word with its blank fitting exactly keeps the blank; the next word starts a new line.
  EXPECT_EQ(WrapText("abcdefghijklm a xy", 16),
            "abcdefghijklm a "
            "xy");
}

TEST(WrapTest, WordsOfALineAndLonger) {
  const std::string w16 = "abcdefghijklmnop";
  // A 16-letter word at the start of a line fills it; its blank is dropped.
  EXPECT_EQ(WrapText(w16 + " next", 16), w16 + "next");
  // The same word after other text: the line is ended first.
  EXPECT_EQ(WrapText("ab " + w16 + " x", 16), "ab " + Blanks(13) + w16 + "x");
  // Its LF is dropped too: no empty line follows.
  EXPECT_EQ(WrapText(w16 + "\nx", 16), w16 + "x");
  // A 20-letter word runs 4 letters into the next line; the text continues after them.
  const std::string w20 = "abcdefghijklmnopqrst";
  EXPECT_EQ(WrapText(w20 + " ab cd", 16), w20 + " ab cd");
  EXPECT_EQ(WrapText("xy " + w20 + " ab", 16), "xy " + w20 + " ab");
  // Where the long word ends decides what fits after it: here 8 columns are left.
  EXPECT_EQ(WrapText("xy " + w20 + " abcdefgh", 16), "xy " + w20 + " abcdefgh");
  EXPECT_EQ(WrapText("xy " + w20 + " abcdefghij", 16),
            "xy " + w20 + " " + Blanks(8) + "abcdefghij");
  // With an LF the long word's last line is padded.
  EXPECT_EQ(WrapText(w20 + "\nab", 16), w20 + Blanks(12) + "ab");
  // A blank at the very end of a full line disappears.
  EXPECT_EQ(WrapText("abcdefghijklmno  x", 16),
            "abcdefghijklmno "
            "x");
}

TEST(WrapTest, LaidOutTextKeepsItsLinesWhole) {
  // Any text of short words and line breaks ending in LF comes out in whole lines, with every
  // word unbroken on one line.
  std::mt19937 rng(7);
  for (int round = 0; round < 300; ++round) {
    std::string text;
    std::vector<std::string> words;
    const int count = 1 + static_cast<int>(rng() % 30);
    for (int i = 0; i < count; ++i) {
      std::string word(1 + rng() % 15, static_cast<char>('a' + rng() % 26));
      words.push_back(word);
      text += word;
      text += (rng() % 5 == 0) ? '\n' : ' ';
    }
    text.back() = '\n';
    for (int width : {16, 21}) {
      const std::string out = WrapText(text, width);
      ASSERT_EQ(out.size() % width, 0u) << text;
      std::vector<std::string> seen;
      for (std::size_t line = 0; line < out.size(); line += width) {
        const std::string row = out.substr(line, width);
        std::size_t pos = 0;
        while (pos < row.size()) {
          if (row[pos] == ' ') {
            ++pos;
            continue;
          }
          const std::size_t end = std::min(row.find(' ', pos), row.size());
          seen.push_back(row.substr(pos, end - pos));
          pos = end;
        }
      }
      EXPECT_EQ(seen, words) << text;
    }
  }
}

TEST(TextPageTest, PagesOverlapByOneLine) {
  EXPECT_EQ(TextPageStep(0), 112);
  EXPECT_EQ(TextPageStep(1), 147);
  EXPECT_EQ(TextLastPage(0, 0), 0);
  EXPECT_EQ(TextLastPage(128, 0), 0);
  EXPECT_EQ(TextLastPage(129, 0), 1);
  EXPECT_EQ(TextLastPage(168, 1), 0);
  EXPECT_EQ(TextLastPage(169, 1), 1);
  EXPECT_EQ(TextLastPage(241, 0), 2);
}

TEST(TextPageTest, MarksForPagesBeforeAndAfter) {
  std::string text;
  for (int i = 0; i < 129; ++i)
    text += static_cast<char>('A' + i % 26);
  const std::string first = TextPagePayload(text, 0, 1, 0);
  ASSERT_EQ(first.size(), 129u);
  EXPECT_EQ(first.substr(0, 127), text.substr(0, 127));
  EXPECT_EQ(first[127], '\x07');
  EXPECT_EQ(first[128], '\0');
  const std::string second = TextPagePayload(text, 1, 1, 0);
  ASSERT_EQ(second.size(), 18u) << "characters 113 to 129 and the 0 byte";
  EXPECT_EQ(second[0], '\x06');
  EXPECT_EQ(second.substr(1, 16), text.substr(113, 16));
  EXPECT_EQ(second.back(), '\0');

  const std::string single = TextPagePayload(text.substr(0, 128), 0, 0, 0);
  EXPECT_EQ(single, text.substr(0, 128) + '\0') << "one page has no marks";
  EXPECT_EQ(TextPagePayload("", 0, 0, 0), std::string(1, '\0'));
  EXPECT_EQ(TextPagePayload("\xE4", 0, 0, 1), "\x91" + std::string(1, '\0'));
}

TEST(MenuTitleTest, MarksAndWidth) {
  EXPECT_EQ(MenuTitleLine("Menu", 0, false, false), "Menu" + Blanks(12));
  EXPECT_EQ(MenuTitleLine("Menu", 0, false, true), "Menu" + Blanks(11) + "\x05");
  EXPECT_EQ(MenuTitleLine("Menu", 0, true, true), "\xCFMenu" + Blanks(10) + "\x05");
  EXPECT_EQ(MenuTitleLine("Menu", 0, true, false), "\xCFMenu" + Blanks(11));
  EXPECT_EQ(MenuTitleLine("abcdefghijklmnop", 0, true, false),
            "\xCF"
            "abcdefghijklmno");
  EXPECT_EQ(MenuTitleLine("Men\xFC", 1, false, true), "Men\xB1" + Blanks(16) + "\x05");
}

TEST(ScreenPayloadTest, MenuAndInputLayouts) {
  const std::string title = MenuTitleLine("T", 0, false, false);
  EXPECT_EQ(MenuScreenPayload(title, {"eins", "zw\xF6"}, 0),
            std::string("\x02\x01\x00", 3) + title + std::string(1, '\0') + "eins" +
                std::string(1, '\0') + "zw\xA9" + std::string(1, '\0'));
  EXPECT_EQ(MenuScreenPayload(title, {}, 0), std::string("\x00\x01\x00", 3) + title + '\0');

  InputScreen in;
  in.promptRow = 1;
  in.prompt = "Name?";
  in.fieldRow = 3;
  in.width = 12;
  in.maxLength = 20;
  in.current = "ab";
  EXPECT_EQ(InputScreenPayload(in), std::string("\x01\x00\x05", 3) + "Name?" +
                                        std::string("\x03\x00\x00\x0C\x14\x02", 6) + "ab");
  in.prompt = std::string(300, 'p');
  in.current.clear();
  const std::string cut = InputScreenPayload(in);
  EXPECT_EQ(static_cast<std::uint8_t>(cut[2]), 255) << "the length byte stays truthful";
  EXPECT_EQ(cut.size(), 3u + 255u + 6u);
}

TEST(ScreenPayloadTest, ReplyKinds) {
  EXPECT_EQ(ReplyKindOf(11), 33);
  EXPECT_EQ(ReplyKindOf(12), 34);
  EXPECT_EQ(ReplyKindOf(13), 35);
  EXPECT_EQ(ReplyKindOf(14), 32);
  EXPECT_EQ(ReplyKindOf(15), 36);
  EXPECT_EQ(ReplyKindOf(KindRegistered), 0);
  EXPECT_EQ(ReplyKindOf(KindLogoutAck), 0);
}

}  // namespace
}  // namespace velora
