// A content page read the way the server reads it. The session shows a page from this reading and
// the content check judges the same reading, so the two never disagree about a page.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "common/text.h"

namespace velora {

// One line of a page: its number counted from 1, and its text.
struct PageLine {
  std::size_t line = 0;
  std::string text;
};

// A line read as a number: blanks skipped, then the digits; a line without them reads as 0.
struct PageNumber {
  std::size_t line = 0;
  std::int64_t value = 0;
  bool digits = false;  // false: a word or an empty line
};

struct ContentPage {
  struct Text {
    PageLine action;   // line 3
    std::string text;  // line 4 on, each line followed by LF
  };
  struct MenuItem {
    PageLine caption;
    PageLine action;
  };
  struct Menu {
    PageLine title;                // line 5
    std::vector<MenuItem> items;   // from line 6 on, in pairs
    std::size_t unpairedLine = 0;  // a last caption without its action line, which is ignored
  };
  struct Input {
    PageNumber promptRow;  // line 3
    PageNumber fieldRow;   // line 4
    PageLine prompt;       // line 5; line 6 is not read
    PageNumber maxLength;  // line 7
    PageLine ok;           // line 8
    PageLine cancel;       // line 9
    PageLine name;         // line 10
    PageNumber width;      // line 11
  };

  std::size_t lines = 0;  // the lines of the file
  std::int64_t type = 0;  // line 2
  // Where a file too short for its type ends: its first missing line (2 without a type line); 0
  // when the file has every line its type reads.
  std::size_t missingLine = 0;
  // Empty for a type none of 11, 14 and 15, and when a line is missing.
  std::variant<std::monostate, Text, Menu, Input> screen;
};

ContentPage ParseContentPage(const TAoS& lines);

}  // namespace velora
