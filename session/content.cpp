// Content files: reading them and turning each of the three screen types into a screen.
#include "session/content.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <variant>

#include "common/constants.h"
#include "common/cp1252.h"
#include "session/process.h"
#include "session/service_table.h"

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

std::uint8_t Byte(std::int64_t number) {
  return static_cast<std::uint8_t>(std::min<std::int64_t>(number, 255));
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

bool IsLoginPage(std::string_view name) {
  return WithTxt(name) == LoginFile;
}

bool TProcess::LoginPending() const {
  return Refused() || (ctx_.settings.LoginRequired && !loggedIn_);
}

void TProcess::ShowEntryScreen() {
  if (Refused()) {
    // A refused session has no account to log in to; it may only leave.
    ShowMessageScreen(refusal_, "IDlogout");
    return;
  }
  ShowLoginPage();
}

void TProcess::LoadContentFile(std::string_view name) {
  // The administrator's kick reaches a session that has not logged in too; its page's actions
  // are held to the same rule as everything else.
  if (LoginPending() && name != KickFile) {
    ShowEntryScreen();
    return;
  }
  std::string error;
  if (!ShowContentFile(name, false, error)) ServerError(error);
}

bool TProcess::ShowContentFile(std::string_view name, bool loginPage, std::string& error) {
  const std::string path = ctx_.settings.ContentDir + std::string(name);
  TAoS lines;
  if (!ReadContentLines(path, lines)) {
    error = "Fehler beim Laden des Content-Files " + path;
    return false;
  }
  currentPageId_ = std::string(name);
  try {
    ShowContentScreen(ParseContentPage(lines), loginPage);
  } catch (const std::exception& e) {
    error = std::string("Fehler im Content-File:") + e.what() + " (" + path + ")";
    return false;
  }
  return true;
}

void TProcess::ShowContentScreen(const ContentPage& page, bool loginPage) {
  const auto missing = [](std::size_t line) {
    return ContentError("Zeile " + std::to_string(line) + " fehlt");
  };
  if (page.missingLine == 2) throw missing(2);
  if (loginPage && page.type != ContentTypeInput) {
    throw ContentError("die Login-Seite ist kein Eingabefeld (Typ " + std::to_string(page.type) +
                       ")");
  }
  if (page.missingLine != 0) throw missing(page.missingLine);
  if (const auto* text = std::get_if<ContentPage::Text>(&page.screen)) {
    screens_.ShowMessageScreen(text->text, text->action.text);
    return;
  }
  if (const auto* menu = std::get_if<ContentPage::Menu>(&page.screen)) {
    std::vector<TLMenuItem> items(menu->items.size());
    for (std::size_t i = 0; i < items.size(); ++i) {
      items[i].Caption = menu->items[i].caption.text.substr(0, MenuCaptionMax);
      items[i].Action = ParseAction(static_cast<std::uint8_t>('0' + i), menu->items[i].action.text);
    }
    screens_.OpenLongMenu(menu->title.text, std::move(items));
    return;
  }
  if (const auto* input = std::get_if<ContentPage::Input>(&page.screen)) {
    InputField field;
    field.promptRow = Byte(input->promptRow.value);
    field.fieldRow = Byte(input->fieldRow.value);
    field.prompt = screens_.WrapText(screens_.TranslateText(input->prompt.text));
    field.width = InputWidth(input->width.value);
    field.maxLength = InputMaxLength(input->maxLength.value, field.width);
    field.ok = ParseAction(0, input->ok.text);
    field.cancel = ParseAction(0, input->cancel.text);
    if (loginPage && (field.ok.Number == ActionUnknown || field.cancel.Number == ActionUnknown)) {
      throw ContentError("unbekannte Aktion auf der Login-Seite");
    }
    field.inputName = input->name.text;
    field.current = GetInputValue(field.inputName).substr(0, InputValueOffered);
    screens_.ShowInputField(std::move(field));
    return;
  }
  // Showing nothing would leave the calculator waiting for a screen that never comes.
  throw ContentError("unbekannter Seitentyp " + std::to_string(page.type));
}

void TProcess::ShowMainMenu() {
  if (LoginPending()) {
    ShowEntryScreen();
    return;
  }
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
  std::string error;
  if (!IsRegularFile(ctx_.settings.ContentDir + std::string(LoginFile))) {
    error = "Login nicht verfügbar."_cp;
  } else if (ShowContentFile(LoginFile, LoginPending(), error)) {
    return;
  }
  if (!LoginPending()) {
    ServerError(error);
    return;
  }
  // Its error screen would lead on to the main menu: a broken login page must not open the way
  // there, so a built-in one of the same layout takes its place.
  LogText("SERVER-ERR:" + error);
  currentPageId_ = std::string(LoginFile);
  InputField field;
  field.promptRow = 1;
  field.prompt = screens_.WrapText(screens_.TranslateText(BuiltInLoginPrompt));
  field.fieldRow = 4;
  field.width = InputWidthMax;
  field.maxLength = 32;
  field.inputName = PasswordInput;
  field.ok = ParseAction(0, "IDlogin");
  field.cancel = ParseAction(0, "IDlogout");
  screens_.ShowInputField(std::move(field));
}

}  // namespace velora
