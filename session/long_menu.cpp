// TProcess long menus: pages of seven items with marks for the pages before and after.
#include "common/cp1252.h"
#include "session/process.h"
#include "session/screen.h"

namespace velora {

void TProcess::OpenLongMenu(std::string_view title) {
  const auto count = static_cast<std::int32_t>(longMenu_.Items.size());
  longMenu_.MaxPage = count == 0 ? 0 : (count - 1) / MenuItemsPerPage;
  longMenu_.Page = 0;
  longMenu_.Title = std::string(title.substr(0, MenuTitleMax));
  ShowLongMenuPage(0);
}

void TProcess::ShowLongMenuPage(std::int32_t page) {
  if (page < 0 || page > longMenu_.MaxPage) {
    ServerError("Menüseite existiert nicht."_cp);
    return;
  }
  longMenu_.Page = page;
  const auto count = static_cast<std::int32_t>(longMenu_.Items.size());
  // MaxPage may have been set for more items than the caller left in the list.
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
  QueuePackets(KindMenuScreen, MenuScreenPayload(title, captions, calcType_));
}

}  // namespace velora
