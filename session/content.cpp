// Content files: reading them and turning each of the three screen types into a screen.
#include "session/content.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "common/constants.h"
#include "common/cp1252.h"
#include "session/process.h"

namespace velora {

namespace {

// A content file that cannot be turned into its screen.
class ContentError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

bool EndsWith(std::string_view text, std::string_view tail) {
  return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

bool IsRegularFile(const std::string& path) {
  std::error_code ec;
  return std::filesystem::is_regular_file(path, ec);
}

// Line n (counted from 1) of a content file, or a ContentError naming it.
const std::string& Line(const TAoS& lines, std::size_t n) {
  if (n == 0 || n > lines.size()) {
    throw ContentError("Zeile " + std::to_string(n) + " fehlt");
  }
  return lines[n - 1];
}

std::uint8_t NumberLine(const TAoS& lines, std::size_t n) {
  return static_cast<std::uint8_t>(std::min<std::int64_t>(LeadingNumber(Line(lines, n)), 255));
}

std::uint8_t InputWidth(std::int64_t width) {
  if (width < 3 || width > InputWidthMax) return InputWidthDefault;
  return static_cast<std::uint8_t>(width);
}

std::uint8_t InputMaxLength(std::int64_t length, std::uint8_t width) {
  if (length < 3) length = InputWidthDefault;
  if (length > InputLengthMax) length = InputLengthMax;
  if (length < width) length = width;
  return static_cast<std::uint8_t>(length);
}

}  // namespace

std::string WithTxt(std::string_view name) {
  std::string path(name);
  if (!EndsWith(path, ".txt")) path += ".txt";
  return path;
}

bool ReadContentLines(std::string_view path, TAoS& lines) {
  lines.clear();
  const std::string file = WithTxt(path);
  if (!IsRegularFile(file)) return false;
  std::ifstream in(file, std::ios::binary);
  if (!in) return false;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
    line.clear();
  }
  return !in.bad();
}

void TProcess::LoadContentFile(std::string_view name) {
  const std::string path = ctx_.settings.ContentDir + std::string(name);
  TAoS lines;
  if (!ReadContentLines(path, lines)) {
    ServerError("Fehler beim Laden des Content-Files " + path);
    return;
  }
  currentPageId_ = std::string(name);
  try {
    ShowContentScreen(static_cast<int>(LeadingNumber(Line(lines, 2))), lines);
  } catch (const std::exception& e) {
    ServerError(std::string("Fehler im Content-File:") + e.what() + " (" + path + ")");
  }
}

void TProcess::ShowContentScreen(int type, const TAoS& lines) {
  switch (type) {
    case ContentTypeText: {
      const std::string& action = Line(lines, 3);
      std::string text;
      for (std::size_t n = 4; n <= lines.size(); ++n) {
        text += lines[n - 1];
        text += '\n';
      }
      screens_.ShowMessageScreen(text, action);
      return;
    }
    case ContentTypeMenu: {
      Line(lines, 4);  // read and without effect
      const std::string title = Line(lines, 5);
      const std::size_t count = (lines.size() - 5) / 2;
      std::vector<TLMenuItem> items(count);
      for (std::size_t i = 0; i < count; ++i) {
        items[i].Caption = lines[5 + 2 * i].substr(0, MenuCaptionMax);
        items[i].Action = ParseAction(static_cast<std::uint8_t>('0' + i), lines[6 + 2 * i]);
      }
      screens_.OpenLongMenu(title, std::move(items));
      return;
    }
    case ContentTypeInput: {
      InputField field;
      field.promptRow = NumberLine(lines, 3);
      field.fieldRow = NumberLine(lines, 4);
      field.prompt = screens_.WrapText(screens_.TranslateText(Line(lines, 5)));
      field.width = InputWidth(LeadingNumber(Line(lines, 11)));
      field.maxLength = InputMaxLength(LeadingNumber(Line(lines, 7)), field.width);
      field.ok = ParseAction(0, Line(lines, 8));
      field.cancel = ParseAction(0, Line(lines, 9));
      field.inputName = Line(lines, 10);
      field.current = GetInputValue(field.inputName).substr(0, InputValueOffered);
      screens_.ShowInputField(std::move(field));
      return;
    }
    default:
      // Showing nothing would leave the calculator waiting for a screen that never comes.
      throw ContentError("unbekannter Seitentyp " + std::to_string(type));
  }
}

void TProcess::ShowMainMenu() {
  const Tuserdata* account = Account();
  const std::string_view file =
      account != nullptr && account->IsAdmin ? AdminMainMenuFile : MainMenuFile;
  if (!IsRegularFile(ctx_.settings.ContentDir + std::string(file))) {
    ServerError("Startmenü nicht verfügbar."_cp);
    return;
  }
  currentPageId_ = std::string(file);
  LoadContentFile(file);
}

void TProcess::ShowLoginPage() {
  if (!IsRegularFile(ctx_.settings.ContentDir + std::string(LoginFile))) {
    ServerError("Login nicht verfügbar."_cp);
    return;
  }
  LoadContentFile(LoginFile);
}

}  // namespace velora
