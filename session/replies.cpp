// TProcess replies from the calculator to a menu page, a text page and an input field.
#include "common/cp1252.h"
#include "link/keys.h"
#include "session/process.h"

namespace velora {

void TProcess::HandleMenuReply(std::string_view data) {
  if (data.empty()) {
    LogShortReply(KindMenuReply);
    return;
  }
  const auto d = static_cast<std::uint8_t>(data[0]);
  if (d == MenuNextPage) {
    ShowLongMenuPage(longMenu_.Page >= longMenu_.MaxPage ? 0 : longMenu_.Page + 1);
    return;
  }
  if (d == MenuPreviousPage) {
    ShowLongMenuPage(longMenu_.Page <= 0 ? longMenu_.MaxPage : longMenu_.Page - 1);
    return;
  }
  if (d > pageActions_.size()) {
    ShowMessageScreen("Diese Auswahl ist ungültig."_cp, "IDmenumain");
    return;
  }
  if (d == MenuSelectMain) {
    ShowMainMenu();
    return;
  }
  PerformAction(pageActions_[d - 1u]);
}

void TProcess::HandleTextReply(std::string_view data) {
  if (data.empty()) {
    LogShortReply(KindTextReply);
    return;
  }
  const auto k = static_cast<std::uint8_t>(data[0]);
  if (k == TextKeyNext) {
    ShowTextPage(textPage_ + 1);
    return;
  }
  if (k == TextKeyPrevious) {
    ShowTextPage(textPage_ - 1);
    return;
  }
  if (k == TextKeyJump && lastPage_ > 0) {
    // Sent as it stands: the byte 0xA9 is the calculator's ö.
    std::string prompt =
        "Zu welcher Seite m\xA9"
        "chtest Du springen? (";
    prompt += std::to_string(textPage_ + 1) + " / 1-" + std::to_string(lastPage_ + 1) + ")";
    okAction_ = ParseAction(0, "IDjumpToPage");
    cancelAction_ = FirstPageAction();
    inputName_ = "temp";
    ShowInputScreen(0, std::move(prompt), 4, 9, 9, {});
    return;
  }
  PerformAction(FirstPageAction());
}

void TProcess::HandleInputReply(std::string_view data) {
  if (data.size() < 2) {
    LogShortReply(KindInputReply);
    return;
  }
  const auto flags = static_cast<std::uint8_t>(data[0]);
  if ((flags & InputEscaped) != 0) {
    PerformAction(cancelAction_);
    return;
  }
  // An answer shorter than announced is taken as far as it goes.
  const auto announced = static_cast<std::uint8_t>(data[1]);
  SetInputValue(data.substr(2, announced));
  PerformAction(okAction_);
}

void TProcess::JumpToPage() {
  const std::int64_t n = LeadingNumber(GetInputValue("temp"));
  if (n < 1 || n > lastPage_ + 1) {
    ShowMessageScreen("Ungültige Eingabe"_cp, currentPageId_);
    return;
  }
  ShowTextPage(static_cast<std::int32_t>(n - 1));
}

TAction TProcess::FirstPageAction() {
  if (!pageActions_.empty()) return pageActions_.front();
  return ParseAction(0, "IDmenumain");
}

}  // namespace velora
