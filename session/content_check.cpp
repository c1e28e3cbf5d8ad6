// The content check: the rules the server applies when it turns a page into a screen, applied to
// every file ahead of time, so that a fault shows before a calculator meets it.
#include "session/content_check.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

#include "common/constants.h"
#include "common/text.h"
#include "link/char_tables.h"
#include "session/action.h"
#include "session/content.h"
#include "session/screen.h"

namespace velora {

namespace {

namespace fs = std::filesystem;

// ParseAction names unknown ids in the log; the check reports them itself.
class SilentLog : public LogSink {
 public:
  void Log(std::string_view) override {}
  LogLevel Level() const override { return 0; }
  void MainLog(std::string_view, bool) override {}
};

bool EndsWith(std::string_view text, std::string_view tail) {
  return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

// Printable ASCII, and the PC characters both calculator models have a character for.
bool Shown(unsigned char b) {
  if (b >= 0x20 && b <= 0x7E) return true;
  return TranslationTable(0)[b] != 0 && TranslationTable(1)[b] != 0;
}

// A number line as the server reads it: digits after leading blanks.
bool IsNumberLine(std::string_view line) {
  const std::size_t first = line.find_first_not_of(' ');
  return first != std::string_view::npos && line[first] >= '0' && line[first] <= '9';
}

std::string Hex(unsigned char b) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%02X", b);
  return text;
}

// The rows a prompt takes on a model, translated and wrapped as the server lays it out.
int PromptRows(const std::string& prompt, int model) {
  const int width = ScreenColumns[static_cast<std::size_t>(model)];
  const std::size_t n =
      WrapText(TranslateText(prompt, static_cast<std::uint8_t>(model)), width).size();
  return static_cast<int>((n + static_cast<std::size_t>(width) - 1) /
                          static_cast<std::size_t>(width));
}

class Checker {
 public:
  explicit Checker(std::string folder) : folder_(std::move(folder)) {
    if (!folder_.empty() && folder_.back() != '/') folder_ += '/';
  }

  ContentReport Run() {
    std::error_code ec;
    if (!fs::is_directory(folder_, ec)) {
      Problem("", 0, "the content folder " + folder_ + " does not exist");
      return std::move(report_);
    }
    std::vector<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder_, ec)) {
      const std::string name = entry.path().filename().string();
      if (EndsWith(name, ".txt") && entry.is_regular_file(ec)) names.push_back(name);
    }
    if (ec) Problem("", 0, "the content folder " + folder_ + " cannot be read: " + ec.message());
    std::sort(names.begin(), names.end());
    files_.insert(names.begin(), names.end());

    for (const std::string& name : names) {
      CheckBytes(name);
      if (name == MotdFile || name == DictionaryFile) continue;
      ++report_.pages;
      CheckPage(name);
    }
    for (std::string_view page : PagesOpenedByName) {
      if (!files_.count(std::string(page))) {
        Problem(std::string(page), 0, "missing; the program opens this page by name");
      }
    }
    CheckResources();
    return std::move(report_);
  }

 private:
  void Problem(const std::string& file, std::size_t line, std::string text) {
    report_.problems.push_back({file, line, std::move(text)});
  }

  void CheckBytes(const std::string& name) {
    if (AsciiLower(name) != name) {
      Problem(name, 0, "never loaded: the server lower-cases the names of pages");
    }
    std::ifstream in(folder_ + name, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::size_t line = 1;
    std::size_t column = 1;
    bool reported = false;  // one problem a line is enough
    for (std::size_t i = 0; i < bytes.size(); ++i) {
      const auto b = static_cast<unsigned char>(bytes[i]);
      if (b == '\n') {
        ++line;
        column = 1;
        reported = false;
        continue;
      }
      const bool endOfLine = b == '\r' && (i + 1 == bytes.size() || bytes[i + 1] == '\n');
      if (!endOfLine && !Shown(b) && !reported) {
        Problem(name, line,
                "byte " + Hex(b) + " in column " + std::to_string(column) +
                    " has no character on the calculators (pages are Windows-1252 text)");
        reported = true;
      }
      ++column;
    }
  }

  void CheckPage(const std::string& name) {
    TAoS lines;
    if (!ReadContentLines(folder_ + name, lines)) {
      Problem(name, 0, "cannot be read");
      return;
    }
    if (lines.size() < 2) {
      Problem(name, 2, "the page type is missing");
      return;
    }
    const std::int64_t type = LeadingNumber(lines[1]);
    if (name == LoginFile && type != ContentTypeInput) {
      Problem(name, 2,
              "the login page must be an input field (15); the server shows a built-in one");
    }
    switch (type) {
      case ContentTypeText:
        return CheckText(name, lines);
      case ContentTypeMenu:
        return CheckMenu(name, lines);
      case ContentTypeInput:
        return CheckInput(name, lines);
      default:
        Problem(name, 2,
                "page type " + std::to_string(type) +
                    " is none of 11 (text), 14 (menu) and 15 (input field)");
    }
  }

  void CheckText(const std::string& name, const TAoS& lines) {
    if (lines.size() < 3) {
      Problem(name, 3, "the action is missing");
      return;
    }
    CheckAction(name, lines, 3);
    std::string text;
    for (std::size_t n = 4; n <= lines.size(); ++n)
      text += lines[n - 1] + "\n";
    if (std::all_of(lines.begin() + 3, lines.end(),
                    [](const std::string& l) { return l.empty(); })) {
      Problem(name, 4, "the page has no text");
    }
    // Enter on a text of several pages asks for a page number, so a kicked calculator would not
    // reach the logout the page leads to.
    if (WithTxt(KickFile) == name && TextLastPage(WrapText(text, ScreenColumns[0]).size(), 0) > 0) {
      Problem(name, 4, "the kick page must fit one screen of a TI 82");
    }
  }

  void CheckMenu(const std::string& name, const TAoS& lines) {
    if (lines.size() < 5) {
      Problem(name, 5, "the title is missing");
      return;
    }
    if (lines[4].size() > MenuTitleMax) {
      Problem(name, 5, "the title is longer than " + std::to_string(MenuTitleMax) + " characters");
    }
    const std::size_t items = (lines.size() - 5) / 2;
    if (items == 0) Problem(name, 5, "the menu has no items");
    if ((lines.size() - 5) % 2 != 0) {
      Problem(name, lines.size(), "a caption without its action line is ignored");
    }
    for (std::size_t i = 0; i < items; ++i) {
      const std::size_t captionLine = 6 + 2 * i;
      const std::string& caption = lines[captionLine - 1];
      if (caption.empty()) Problem(name, captionLine, "an empty caption");
      if (caption.size() > MenuCaptionMax) {
        Problem(name, captionLine,
                "the caption is longer than " + std::to_string(MenuCaptionMax) + " characters");
      }
      CheckAction(name, lines, captionLine + 1);
    }
  }

  void CheckInput(const std::string& name, const TAoS& lines) {
    if (lines.size() < 11) {
      Problem(name, lines.size() + 1,
              "an input field has 11 lines, this page " + std::to_string(lines.size()));
      return;
    }
    const auto number = [&](std::size_t n, const char* what) -> std::int64_t {
      if (!IsNumberLine(lines[n - 1])) Problem(name, n, std::string(what) + " is not a number");
      return LeadingNumber(lines[n - 1]);
    };
    const std::int64_t promptRow = number(3, "the prompt row");
    const std::int64_t fieldRow = number(4, "the field row");
    const std::int64_t maxLength = number(7, "the maximum length");
    const std::int64_t width = number(11, "the field width");
    if (fieldRow >= ScreenRows) {
      Problem(name, 4,
              "the field row " + std::to_string(fieldRow) + " is below the screen (0 to " +
                  std::to_string(ScreenRows - 1) + ")");
    }
    if (lines[4].empty()) Problem(name, 5, "the prompt is empty");
    for (int model = 0; model < CalcTypeCount; ++model) {
      const int rows = PromptRows(lines[4], model);
      if (promptRow + rows > fieldRow) {
        Problem(name, 5,
                "the prompt takes " + std::to_string(rows) + " rows on a " +
                    std::string(CalcTypeNames[static_cast<std::size_t>(model)]) +
                    " and runs into the field");
        break;
      }
    }
    const bool widthTaken = width >= 3 && width <= InputWidthMax;
    if (!widthTaken) {
      Problem(name, 11,
              "the field width " + std::to_string(width) + " is taken as " +
                  std::to_string(InputWidthDefault) + " (3 to " + std::to_string(InputWidthMax) +
                  ")");
    }
    if (maxLength < 3 || maxLength > InputLengthMax) {
      Problem(name, 7,
              "the maximum length " + std::to_string(maxLength) + " is outside 3 to " +
                  std::to_string(InputLengthMax));
    } else if (maxLength < (widthTaken ? width : InputWidthDefault)) {
      Problem(name, 7, "the maximum length is raised to the field width");
    }
    CheckAction(name, lines, 8);
    CheckAction(name, lines, 9);
    const std::string inputName = AsciiLower(lines[9]);
    if (std::find(InputNamesRead.begin(), InputNamesRead.end(), inputName) ==
        InputNamesRead.end()) {
      Problem(name, 10, "no service reads the input \"" + lines[9] + "\"");
    }
  }

  void CheckAction(const std::string& name, const TAoS& lines, std::size_t n) {
    const std::string& text = lines[n - 1];
    const TAction action = ParseAction(0, text, log_);
    if (action.Number == ActionUnknown) {
      Problem(name, n, "unknown service " + text);
      return;
    }
    if (action.Number != ActionLoadFile) {
      services_.insert(action.Number);
      return;
    }
    if (action.Target.empty()) {
      Problem(name, n, "the action is empty");
      return;
    }
    const std::string page = WithTxt(action.Target);
    if (!files_.count(page)) Problem(name, n, "no page " + page + " for the action " + text);
  }

  // The resource files are read when a service needs them; only offered services need theirs.
  void CheckResources() {
    const std::string motd(MotdFile);
    if (services_.count(ActionMotd)) {
      TAoS lines;
      if (!files_.count(motd) || !ReadContentLines(folder_ + motd, lines)) {
        Problem(motd, 0, "missing; a page offers the message of the day");
      } else if (lines.empty()) {
        Problem(motd, 0, "empty; a page offers the message of the day");
      }
    }
    const std::string dictionary(DictionaryFile);
    TAoS lines;
    const bool offered = services_.count(ActionTransDe) || services_.count(ActionTransEd);
    if (!files_.count(dictionary) || !ReadContentLines(folder_ + dictionary, lines)) {
      if (offered) Problem(dictionary, 0, "missing; a page offers the dictionary");
      return;
    }
    if (lines.size() % 2 != 0) {
      Problem(dictionary, lines.size(), "a German word without its English line");
    }
  }

  std::string folder_;
  std::set<std::string> files_;
  std::set<int> services_;
  SilentLog log_;
  ContentReport report_;
};

}  // namespace

std::string Describe(const ContentProblem& problem) {
  std::string text = problem.file;
  if (problem.line > 0) text += ":" + std::to_string(problem.line);
  if (!text.empty()) text += ": ";
  return text + problem.text;
}

ContentReport CheckContent(const std::string& folder) {
  return Checker(folder).Run();
}

}  // namespace velora
