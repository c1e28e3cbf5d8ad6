// TProcess replies from the calculator to a menu page, a text page and an input field.
#include "common/cp1252.h"
#include "link/keys.h"
#include "session/process.h"
#include "session/service_table.h"

namespace velora {

void TProcess::HandleMenuReply(std::string_view data) {
  if (data.empty()) {
    LogShortReply(KindMenuReply);
    return;
  }
  const auto d = static_cast<std::uint8_t>(data[0]);
  if (d == MenuNextPage) {
    const TLongMenu& menu = screens_.LongMenu();
    screens_.ShowLongMenuPage(menu.Page >= menu.MaxPage ? 0 : menu.Page + 1);
    return;
  }
  if (d == MenuPreviousPage) {
    const TLongMenu& menu = screens_.LongMenu();
    screens_.ShowLongMenuPage(menu.Page <= 0 ? menu.MaxPage : menu.Page - 1);
    return;
  }
  if (d > screens_.PageActions().size()) {
    ShowMessageScreen("Diese Auswahl ist ungültig."_cp, "IDmenumain");
    return;
  }
  if (d == MenuSelectMain) {
    ShowMainMenu();
    return;
  }
  PerformAction(screens_.PageActions()[d - 1u]);
}

void TProcess::HandleTextReply(std::string_view data) {
  if (data.empty()) {
    LogShortReply(KindTextReply);
    return;
  }
  const auto k = static_cast<std::uint8_t>(data[0]);
  if (k == TextKeyNext) {
    screens_.ShowTextPage(screens_.TextPage() + 1);
    return;
  }
  if (k == TextKeyPrevious) {
    screens_.ShowTextPage(screens_.TextPage() - 1);
    return;
  }
  if (k == TextKeyJump && screens_.LastPage() > 0) {
    // Sent as it stands: the byte 0xA9 is the calculator's ö.
    InputField field;
    field.prompt =
        "Zu welcher Seite m\xA9"
        "chtest Du springen? (";
    field.prompt += std::to_string(screens_.TextPage() + 1) + " / 1-" +
                    std::to_string(screens_.LastPage() + 1) + ")";
    field.fieldRow = 4;
    field.width = 9;
    field.maxLength = 9;
    field.inputName = std::string(TempInput);
    field.ok = ParseAction(0, "IDjumpToPage");
    field.cancel = screens_.FirstPageAction();
    screens_.ShowInputField(std::move(field));
    return;
  }
  // A notice held back while the message was read comes before where the message leads.
  if (screens_.MessageOnDisplay() && NoticePending()) {
    ShowNotice();
    return;
  }
  PerformAction(screens_.FirstPageAction());
}

void TProcess::HandleInputReply(std::string_view data) {
  if (data.size() < 2) {
    LogShortReply(KindInputReply);
    return;
  }
  const auto flags = static_cast<std::uint8_t>(data[0]);
  if ((flags & InputEscaped) != 0) {
    PerformAction(screens_.CancelAction());
    return;
  }
  // An answer shorter than announced is taken as far as it goes.
  const auto announced = static_cast<std::uint8_t>(data[1]);
  SetInputValue(data.substr(2, announced));
  PerformAction(screens_.OkAction());
}

}  // namespace velora
