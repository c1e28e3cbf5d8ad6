// Screen layout for the calculators: character translation, word wrap, the payloads of text, menu
// and input screens.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/constants.h"
#include "link/char_tables.h"
#include "link/frame.h"

namespace velora {

// Lays text out in lines of `width` characters: words move to the next line, lines ended by LF or
// by a word that does not fit are padded with blanks, and a word longer than a line runs on.
std::string WrapText(std::string_view text, int width);

// Pages of a text screen overlap by one line: page p starts at character p * step.
int TextPageStep(std::uint8_t calcType);
// Index of the last page of a laid-out text of this length.
int TextLastPage(std::size_t length, std::uint8_t calcType);
// The translated characters of page `page` with the paging marks, followed by a 0 byte.
std::string TextPagePayload(std::string_view pageText, int page, int lastPage,
                            std::uint8_t calcType);

// The title line of a menu page: exactly one screen line, with the marks for more pages.
std::string MenuTitleLine(std::string_view title, std::uint8_t calcType, bool hasPrevious,
                          bool hasNext);
// Count, 1, 0, the title line, 0, then each caption translated and 0-terminated.
std::string MenuScreenPayload(std::string_view titleLine, const std::vector<std::string>& captions,
                              std::uint8_t calcType);

struct InputScreen {
  std::uint8_t promptRow = 0;
  std::string prompt;  // already in calculator characters
  std::uint8_t fieldRow = 0;
  std::uint8_t width = InputWidthDefault;
  std::uint8_t maxLength = InputWidthDefault;
  std::string current;  // the value offered for editing
};
// Longer prompts and values than a length byte can announce are cut to 255 bytes.
std::string InputScreenPayload(const InputScreen& screen);

}  // namespace velora
