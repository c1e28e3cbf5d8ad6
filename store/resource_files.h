// The resource files beside the content pages: the message of the day (one candidate per line)
// and the dictionary (German line, English line, pair after pair). The rules for picking a line
// and for looking a word up; the lines come from the file as it is read at each use.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "common/text.h"

namespace velora {

// The line index a uniform draw x in [0, 1) picks: the whole part of x times the last index, so
// with two or more lines the last line is never chosen. Nothing for no lines; a draw outside
// [0, 1) is held to the lines there are.
std::optional<std::size_t> PickResourceLine(std::size_t lineCount, double x);

enum class DictionaryDirection { GermanToEnglish, EnglishToGerman };

struct DictionaryEntry {
  std::string word;         // the dictionary's own form of the word looked up
  std::string translation;  // the other line of the pair
};

// The first pair whose line in the direction's column equals the word, both lower-cased in A to Z
// only, whole lines compared. An odd last line is a German word with an empty English line.
std::optional<DictionaryEntry> LookupDictionary(const TAoS& lines, std::string_view word,
                                                DictionaryDirection direction);

}  // namespace velora
