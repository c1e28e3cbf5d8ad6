// Message-of-the-day and dictionary rules.
#include "store/resource_files.h"

#include <cmath>

namespace velora {

std::optional<std::size_t> PickResourceLine(std::size_t lineCount, double x) {
  if (lineCount == 0) return std::nullopt;
  const auto last = static_cast<double>(lineCount - 1);
  const double picked = std::floor(x * last);
  if (!(picked >= 0.0)) return 0;  // also a draw that is not a number
  if (picked > last) return lineCount - 1;
  return static_cast<std::size_t>(picked);
}

std::optional<DictionaryEntry> LookupDictionary(const TAoS& lines, std::string_view word,
                                                DictionaryDirection direction) {
  const std::string wanted = AsciiLower(word);
  static const std::string noEnglish;
  for (std::size_t i = 0; i < lines.size(); i += 2) {
    const std::string& german = lines[i];
    const std::string& english = i + 1 < lines.size() ? lines[i + 1] : noEnglish;
    const bool toEnglish = direction == DictionaryDirection::GermanToEnglish;
    const std::string& compared = toEnglish ? german : english;
    if (AsciiLower(compared) != wanted) continue;
    return DictionaryEntry{compared, toEnglish ? english : german};
  }
  return std::nullopt;
}

}  // namespace velora
