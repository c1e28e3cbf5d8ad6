// The screens of one calculator.
#include "session/screens.h"

#include "common/cp1252.h"
#include "link/char_tables.h"
#include "session/screen.h"

namespace velora {

Screens::Screens(StationLink& link, const ServerSettings& settings, LogSink& log,
                 std::uint8_t calcType)
    : link_(link), settings_(settings), log_(log), calcType_(calcType) {}

TAction Screens::Parse(std::string_view text) const {
  return ParseAction(0, text, log_);
}

std::string Screens::TranslateText(std::string_view text) const {
  return velora::TranslateText(text, calcType_);
}

std::string Screens::WrapText(std::string_view text) const {
  if (settings_.NoWrap) return std::string(text);
  return velora::WrapText(text, ScreenColumns[calcType_]);
}

void Screens::ShowTextScreen(std::string_view text) {
  pageText_ = std::string(text);
  lastPage_ = TextLastPage(pageText_.size(), calcType_);
  textPage_ = 0;
  messageOnDisplay_ = false;
  link_.Queue(KindTextScreen, TextPagePayload(pageText_, 0, lastPage_, calcType_));
}

void Screens::ShowTextPage(std::int32_t page) {
  if (page < 0) page = lastPage_;
  if (page > lastPage_) page = 0;
  textPage_ = page;
  link_.Queue(KindTextScreen, TextPagePayload(pageText_, textPage_, lastPage_, calcType_));
}

void Screens::ShowMessageScreen(std::string_view text, std::string_view action) {
  ShowMessageScreen(text, Parse(action));
}

void Screens::ShowMessageScreen(std::string_view text, TAction action) {
  pageActions_.assign(1, std::move(action));
  ShowTextScreen(WrapText(text));
  messageOnDisplay_ = true;
}

void Screens::ServerError(std::string_view message) {
  log_.Log("SERVER-ERR:" + std::string(message));
  ShowMessageScreen("Fehler im Server " + std::string(message), "IDmenumain");
}

TAction Screens::FirstPageAction() const {
  if (!pageActions_.empty()) return pageActions_.front();
  return Parse("IDmenumain");
}

void Screens::OpenLongMenu(std::string_view title, std::vector<TLMenuItem> items) {
  messageOnDisplay_ = false;
  longMenu_.Items = std::move(items);
  const auto count = static_cast<std::int32_t>(longMenu_.Items.size());
  longMenu_.MaxPage = count == 0 ? 0 : (count - 1) / MenuItemsPerPage;
  longMenu_.Page = 0;
  longMenu_.Title = std::string(title.substr(0, MenuTitleMax));
  ShowLongMenuPage(0);
}

void Screens::ShowLongMenuPage(std::int32_t page) {
  if (page < 0 || page > longMenu_.MaxPage) {
    ServerError("Menüseite existiert nicht."_cp);
    return;
  }
  longMenu_.Page = page;
  const auto count = static_cast<std::int32_t>(longMenu_.Items.size());
  const std::int32_t first = page * MenuItemsPerPage;
  std::int32_t shown =
      page < longMenu_.MaxPage ? MenuItemsPerPage : (count - 1) % MenuItemsPerPage + 1;
  shown = std::max(0, std::min(shown, count - first));

  std::vector<TAction> actions;
  std::vector<std::string> captions;
  for (std::int32_t k = 0; k < shown; ++k) {
    const TLMenuItem& item = longMenu_.Items[static_cast<std::size_t>(first + k)];
    actions.push_back(item.Action);
    captions.push_back(item.Caption.substr(0, MenuCaptionMax));
  }
  pageActions_ = std::move(actions);
  const std::string title =
      MenuTitleLine(longMenu_.Title, calcType_, page > 0, page < longMenu_.MaxPage);
  link_.Queue(KindMenuScreen, MenuScreenPayload(title, captions, calcType_));
}

void Screens::ShowInputField(InputField field) {
  messageOnDisplay_ = false;
  inputName_ = std::move(field.inputName);
  okAction_ = std::move(field.ok);
  cancelAction_ = std::move(field.cancel);
  if (pageActions_.size() > 1) pageActions_.resize(1);
  InputScreen screen;
  screen.promptRow = field.promptRow;
  screen.prompt = std::move(field.prompt);
  screen.fieldRow = field.fieldRow;
  screen.width = field.width;
  screen.maxLength = field.maxLength;
  screen.current = std::move(field.current);
  link_.Queue(KindInputScreen, InputScreenPayload(screen));
}

}  // namespace velora
