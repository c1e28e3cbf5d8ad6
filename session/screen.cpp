// Screen layout for the calculators.
#include "session/screen.h"

#include <algorithm>
#include <utility>

namespace velora {

namespace {

std::uint8_t Model(std::uint8_t calcType) {
  return calcType < CalcTypeCount ? calcType : 0;
}

// The calculator ends a text or a caption at a 0 byte, so one inside typed text (any byte can be
// typed) would cut a page short or split a caption in two and shift the items after it.
void BlankNulBytes(std::string& text) {
  for (char& c : text) {
    if (c == '\0') c = ' ';
  }
}

}  // namespace

std::string WrapText(std::string_view text, int width) {
  if (width <= 0) return std::string(text);
  const int w = width;
  int col = 0;
  std::string out;
  std::string_view s = text;
  while (!s.empty()) {
    // b: 1-based position of the delimiter ending the token, or one past the end without one.
    const std::size_t found = s.find_first_of(" \n");
    int b = static_cast<int>(found == std::string_view::npos ? s.size() + 1 : found + 1);
    const bool hasDelimiter = found != std::string_view::npos;
    // Dropping the delimiter is done by skipping it after the word has been written.
    bool dropDelimiter = false;

    if (b <= w - col) {
      col += b;
    } else if (b == w + 1 - col) {
      // The word fills the line; its delimiter would not fit and is dropped.
      dropDelimiter = hasDelimiter;
      b -= 1;
      col = 0;
    } else if (b > w + 1) {
      // Longer than a line: written as it comes, running over the line ends.
      col = static_cast<int>((out.size() + static_cast<std::size_t>(b)) % w);
    } else if (b == w + 1) {
      dropDelimiter = hasDelimiter;
      b -= 1;
      out.append(static_cast<std::size_t>(w - col), ' ');
      col = 0;
    } else {
      out.append(static_cast<std::size_t>(w - col), ' ');
      col = b;
    }

    const auto take = std::min(static_cast<std::size_t>(b), s.size());
    if (!dropDelimiter && b >= 1 && static_cast<std::size_t>(b) <= s.size() && s[b - 1] == '\n') {
      // The LF ends the line; its own position counts towards the padding.
      out.append(s.substr(0, static_cast<std::size_t>(b - 1)));
      out.append(static_cast<std::size_t>(w + 1 - col), ' ');
      col = 0;
    } else {
      out.append(s.substr(0, take));
    }
    s.remove_prefix(take);
    if (dropDelimiter) s.remove_prefix(1);
  }
  return out;
}

int TextPageStep(std::uint8_t calcType) {
  const std::uint8_t m = Model(calcType);
  return ScreenChars[m] - ScreenColumns[m];
}

int TextLastPage(std::size_t length, std::uint8_t calcType) {
  if (length <= ScreenChars[Model(calcType)]) return 0;
  return static_cast<int>((length - 1) / static_cast<std::size_t>(TextPageStep(calcType)));
}

std::string TextPagePayload(std::string_view pageText, int page, int lastPage,
                            std::uint8_t calcType) {
  const std::size_t start = static_cast<std::size_t>(page) * TextPageStep(calcType);
  std::string chars =
      start < pageText.size()
          ? TranslateText(pageText.substr(start, ScreenChars[Model(calcType)]), calcType)
          : std::string();
  BlankNulBytes(chars);
  if (!chars.empty()) {
    if (page > 0) chars.front() = static_cast<char>(MarkPageAbove);
    if (page < lastPage) chars.back() = static_cast<char>(MarkPageBelow);
  }
  chars += '\0';
  return chars;
}

std::string MenuTitleLine(std::string_view title, std::uint8_t calcType, bool hasPrevious,
                          bool hasNext) {
  const std::size_t w = ScreenColumns[Model(calcType)];
  std::string line = TranslateText(title.substr(0, w), calcType);
  line.append(w - line.size(), ' ');
  if (hasPrevious) {
    line.insert(line.begin(), static_cast<char>(MarkMenuPageAbove));
    line.resize(w);
  }
  if (hasNext) line[w - 1] = static_cast<char>(MarkMenuPageBelow);
  return line;
}

std::string MenuScreenPayload(std::string_view titleLine, const std::vector<std::string>& captions,
                              std::uint8_t calcType) {
  std::string data;
  data += static_cast<char>(captions.size());
  data += '\x01';
  data += '\0';
  data += titleLine;
  data += '\0';
  for (const std::string& caption : captions) {
    std::string shown = TranslateText(caption, calcType);
    BlankNulBytes(shown);
    data += shown;
    data += '\0';
  }
  return data;
}

std::string InputScreenPayload(const InputScreen& screen) {
  const std::string_view prompt = std::string_view(screen.prompt).substr(0, 255);
  const std::string_view current = std::string_view(screen.current).substr(0, 255);
  std::string data;
  data += static_cast<char>(screen.promptRow);
  data += '\0';
  data += static_cast<char>(prompt.size());
  data += prompt;
  data += static_cast<char>(screen.fieldRow);
  data += '\0';
  data += '\0';
  data += static_cast<char>(screen.width);
  data += static_cast<char>(screen.maxLength);
  data += static_cast<char>(current.size());
  data += current;
  return data;
}

}  // namespace velora
