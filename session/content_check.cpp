// The content check: the rules the server applies when it turns a page into a screen, applied to
// every file ahead of time, so that a fault shows before a calculator meets it.
#include "session/content_check.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <variant>

#include "common/constants.h"
#include "common/text.h"
#include "link/char_tables.h"
#include "session/action.h"
#include "session/content.h"
#include "session/content_page.h"
#include "session/screen.h"
#include "session/service_table.h"

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
      if (IsResource(name)) continue;
      ++report_.pages;
      CheckPage(name);
    }
    for (const std::string& page : PagesOpenedByName()) {
      if (!files_.count(page)) Problem(page, 0, "missing; the program opens this page by name");
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

  bool IsResource(const std::string& name) const {
    return std::any_of(resources_.begin(), resources_.end(),
                       [&](const ResourceFile& resource) { return resource.file == name; });
  }

  void CheckPage(const std::string& name) {
    TAoS lines;
    if (!ReadContentLines(folder_ + name, lines)) {
      Problem(name, 0, "cannot be read");
      return;
    }
    const ContentPage page = ParseContentPage(lines);
    if (page.missingLine == 2) {
      Problem(name, 2, "the page type is missing");
      return;
    }
    if (name == LoginFile && page.type != ContentTypeInput) {
      Problem(name, 2,
              "the login page must be an input field (15); the server shows a built-in one");
    }
    switch (page.type) {
      case ContentTypeText:
        return CheckText(name, page);
      case ContentTypeMenu:
        return CheckMenu(name, page);
      case ContentTypeInput:
        return CheckInput(name, page);
      default:
        Problem(name, 2,
                "page type " + std::to_string(page.type) +
                    " is none of 11 (text), 14 (menu) and 15 (input field)");
    }
  }

  void CheckText(const std::string& name, const ContentPage& page) {
    const auto* text = std::get_if<ContentPage::Text>(&page.screen);
    if (text == nullptr) {
      Problem(name, page.missingLine, "the action is missing");
      return;
    }
    CheckAction(name, text->action);
    if (text->text.find_first_not_of('\n') == std::string::npos) {
      Problem(name, 4, "the page has no text");
    }
    // Enter on a text of several pages asks for a page number, so a kicked calculator would not
    // reach the logout the page leads to.
    if (WithTxt(KickFile) == name &&
        TextLastPage(WrapText(text->text, ScreenColumns[0]).size(), 0) > 0) {
      Problem(name, 4, "the kick page must fit one screen of a TI 82");
    }
  }

  void CheckMenu(const std::string& name, const ContentPage& page) {
    const auto* menu = std::get_if<ContentPage::Menu>(&page.screen);
    if (menu == nullptr) {
      // Where the page ends, as the session names it.
      Problem(name, page.missingLine, "the title is missing");
      return;
    }
    if (menu->title.text.size() > MenuTitleMax) {
      Problem(name, menu->title.line,
              "the title is longer than " + std::to_string(MenuTitleMax) + " characters");
    }
    if (menu->items.empty()) Problem(name, menu->title.line, "the menu has no items");
    if (menu->unpairedLine != 0) {
      Problem(name, menu->unpairedLine, "a caption without its action line is ignored");
    }
    for (const ContentPage::MenuItem& item : menu->items) {
      if (item.caption.text.empty()) Problem(name, item.caption.line, "an empty caption");
      if (item.caption.text.size() > MenuCaptionMax) {
        Problem(name, item.caption.line,
                "the caption is longer than " + std::to_string(MenuCaptionMax) + " characters");
      }
      CheckAction(name, item.action);
    }
  }

  void CheckInput(const std::string& name, const ContentPage& page) {
    const auto* input = std::get_if<ContentPage::Input>(&page.screen);
    if (input == nullptr) {
      Problem(name, page.missingLine,
              "an input field has 11 lines, this page " + std::to_string(page.lines));
      return;
    }
    const auto number = [&](const PageNumber& n, const char* what) -> std::int64_t {
      if (!n.digits) Problem(name, n.line, std::string(what) + " is not a number");
      return n.value;
    };
    const std::int64_t promptRow = number(input->promptRow, "the prompt row");
    const std::int64_t fieldRow = number(input->fieldRow, "the field row");
    const std::int64_t maxLength = number(input->maxLength, "the maximum length");
    const std::int64_t width = number(input->width, "the field width");
    if (fieldRow >= ScreenRows) {
      Problem(name, input->fieldRow.line,
              "the field row " + std::to_string(fieldRow) + " is below the screen (0 to " +
                  std::to_string(ScreenRows - 1) + ")");
    }
    const std::string& prompt = input->prompt.text;
    if (prompt.empty()) Problem(name, input->prompt.line, "the prompt is empty");
    for (int model = 0; model < CalcTypeCount; ++model) {
      const int rows = PromptRows(prompt, model);
      if (promptRow + rows > fieldRow) {
        Problem(name, input->prompt.line,
                "the prompt takes " + std::to_string(rows) + " rows on a " +
                    std::string(CalcTypeNames[static_cast<std::size_t>(model)]) +
                    " and runs into the field");
        break;
      }
    }
    const bool widthTaken = width >= 3 && width <= InputWidthMax;
    if (!widthTaken) {
      Problem(name, input->width.line,
              "the field width " + std::to_string(width) + " is taken as " +
                  std::to_string(InputWidthDefault) + " (3 to " + std::to_string(InputWidthMax) +
                  ")");
    }
    if (maxLength < 3 || maxLength > InputLengthMax) {
      Problem(name, input->maxLength.line,
              "the maximum length " + std::to_string(maxLength) + " is outside 3 to " +
                  std::to_string(InputLengthMax));
    } else if (maxLength < (widthTaken ? width : InputWidthDefault)) {
      Problem(name, input->maxLength.line, "the maximum length is raised to the field width");
    }
    CheckAction(name, input->ok);
    CheckAction(name, input->cancel);
    if (!inputsRead_.count(AsciiLower(input->name.text))) {
      Problem(name, input->name.line, "no service reads the input \"" + input->name.text + "\"");
    }
  }

  void CheckAction(const std::string& name, const PageLine& line) {
    const TAction action = ParseAction(0, line.text, log_);
    if (action.Number == ActionUnknown) {
      Problem(name, line.line, "unknown service " + line.text);
      return;
    }
    if (action.Number != ActionLoadFile) {
      services_.insert(action.Number);
      return;
    }
    if (action.Target.empty()) {
      Problem(name, line.line, "the action is empty");
      return;
    }
    const std::string page = WithTxt(action.Target);
    if (!files_.count(page))
      Problem(name, line.line, "no page " + page + " for the action " + line.text);
  }

  // A resource file is read when a service needs it; only offered services need theirs.
  bool Offered(const ResourceFile& resource) const {
    return std::any_of(
        std::begin(ServiceTable), std::end(ServiceTable), [&](const ServiceRow& row) {
          return services_.count(row.number) &&
                 std::any_of(row.resources.begin(), row.resources.end(),
                             [&](const ResourceFile& r) { return r.file == resource.file; });
        });
  }

  void CheckResources() {
    for (const ResourceFile& resource : resources_) {
      const std::string file(resource.file);
      const bool offered = Offered(resource);
      TAoS lines;
      if (!files_.count(file) || !ReadContentLines(folder_ + file, lines)) {
        if (offered) Problem(file, 0, "missing; a page offers " + std::string(resource.what));
        continue;
      }
      if (resource.form == ResourceForm::Lines && offered && lines.empty()) {
        Problem(file, 0, "empty; a page offers " + std::string(resource.what));
      }
      if (resource.form == ResourceForm::Pairs && lines.size() % 2 != 0) {
        Problem(file, lines.size(), "a German word without its English line");
      }
    }
  }

  std::string folder_;
  std::set<std::string> files_;
  std::set<int> services_;
  const std::vector<ResourceFile> resources_ = ResourceFiles();
  const std::set<std::string, std::less<>> inputsRead_ = InputNamesRead();
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
