// The handler table.
#include "session/services.h"

#include "common/cp1252.h"
#include "common/text.h"
#include "session/context.h"

namespace velora {

namespace {

void MenuMain(ServiceSession& session, const TAction&) {
  session.ShowMainMenu();
}

// The answer to the page prompt of a text screen with more than one page.
void JumpToPage(ServiceSession& session, const TAction&) {
  Screens& screens = session.Screen();
  const std::int64_t n = LeadingNumber(session.GetInputValue("temp"));
  if (n < 1 || n > screens.LastPage() + 1) {
    session.ShowMessageScreen("Ungültige Eingabe"_cp, session.CurrentPageId());
    return;
  }
  screens.ShowTextPage(static_cast<std::int32_t>(n - 1));
}

std::array<ActionHandler, ActionCount> MakeHandlers() {
  std::array<ActionHandler, ActionCount> handlers{};
  handlers[ActionLogin] = Login;
  handlers[ActionLogout] = Logout;
  handlers[ActionMenuMain] = MenuMain;
  handlers[ActionJumpToPage] = JumpToPage;
  return handlers;
}

}  // namespace

SessionDirectory& NoSessionDirectory() {
  class None : public SessionDirectory {
   public:
    bool KickUser(int) override { return false; }
    bool Notify(std::string_view, std::string_view) override { return false; }
  };
  static None none;
  return none;
}

const std::array<ActionHandler, ActionCount>& ActionHandlers() {
  static const std::array<ActionHandler, ActionCount> handlers = MakeHandlers();
  return handlers;
}

}  // namespace velora
