// The screens of one calculator: text screens with their pages, menu pages of a long menu and
// input fields, laid out and translated for its model and queued on its station link. Also what
// the screen on display offers: the actions of its keys and items, the name of its input field.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/ports.h"
#include "link/station_link.h"
#include "session/action.h"
#include "session/content.h"
#include "settings/server_settings.h"

namespace velora {

// An input field to show; the actions run on Enter (ok) and on escape (cancel).
struct InputField {
  std::uint8_t promptRow = 0;
  std::string prompt;  // in calculator characters, laid out
  std::uint8_t fieldRow = 0;
  std::uint8_t width = InputWidthDefault;
  std::uint8_t maxLength = InputWidthDefault;
  std::string current;  // the value offered for editing
  std::string inputName;
  TAction ok;
  TAction cancel;
};

class Screens {
 public:
  Screens(StationLink& link, const ServerSettings& settings, LogSink& log, std::uint8_t calcType);

  std::string TranslateText(std::string_view text) const;
  // Laid out for this model's line width unless the server's wrapping is switched off.
  std::string WrapText(std::string_view text) const;
  // Makes an already wrapped text the text screen on display and queues its page 0.
  void ShowTextScreen(std::string_view text);
  // Queues another page of the text on display; out-of-range pages wrap around.
  void ShowTextPage(std::int32_t page);
  // A wrapped text screen whose only action is parsed from `action`.
  void ShowMessageScreen(std::string_view text, std::string_view action);
  void ShowMessageScreen(std::string_view text, TAction action);
  // True while a message screen is on display rather than a page, a menu or an input field.
  bool MessageOnDisplay() const { return messageOnDisplay_; }
  // Logs the message and shows it as "Fehler im Server ..."; any key leads to the main menu.
  void ServerError(std::string_view message);
  // Shows page 0 of a menu of these items.
  void OpenLongMenu(std::string_view title, std::vector<TLMenuItem> items);
  void ShowLongMenuPage(std::int32_t page);
  // Keeps only the first action of the page on display (an input field replaces a menu).
  void ShowInputField(InputField field);

  std::uint8_t CalcType() const { return calcType_; }
  const std::vector<TAction>& PageActions() const { return pageActions_; }
  // The action of a text screen: its first page action, or the main menu without one.
  TAction FirstPageAction() const;
  const std::string& PageText() const { return pageText_; }
  std::int32_t TextPage() const { return textPage_; }
  std::int32_t LastPage() const { return lastPage_; }
  const TLongMenu& LongMenu() const { return longMenu_; }
  const std::string& InputName() const { return inputName_; }
  const TAction& OkAction() const { return okAction_; }
  const TAction& CancelAction() const { return cancelAction_; }

 private:
  TAction Parse(std::string_view text) const;

  StationLink& link_;
  const ServerSettings& settings_;
  LogSink& log_;
  std::uint8_t calcType_;
  std::vector<TAction> pageActions_;
  std::string pageText_;
  std::int32_t lastPage_ = 0;
  std::int32_t textPage_ = 0;
  TLongMenu longMenu_;
  std::string inputName_;
  TAction okAction_;
  TAction cancelAction_;
  bool messageOnDisplay_ = false;
};

}  // namespace velora
