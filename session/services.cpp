// The page services (the main menu, the jump to a page), and what the services share: whose
// account a session may act for, the administrator check, list items and the change notice.
#include "session/services.h"

#include "common/cp1252.h"
#include "common/text.h"
#include "session/context.h"
#include "session/service_table.h"

namespace velora {

namespace {

// The account a session acts for, without telling it anything: a session refused at
// registration still knows the account of its name, which belongs to someone else.
Tuserdata* AccountInUse(ServiceSession& session) {
  if (session.Refused()) return nullptr;
  Tuserdata* account = session.Account();
  if (account == nullptr) return nullptr;
  if (session.Context().settings.LoginRequired && !session.LoggedIn()) return nullptr;
  return account;
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

void MenuMain(ServiceSession& session, const TAction&) {
  session.ShowMainMenu();
}

void JumpToPage(ServiceSession& session, const TAction&) {
  Screens& screens = session.Screen();
  const std::int64_t n = LeadingNumber(session.GetInputValue(TempInput));
  if (n < 1 || n > screens.LastPage() + 1) {
    session.ShowMessageScreen("Ungültige Eingabe"_cp, session.CurrentPageId());
    return;
  }
  screens.ShowTextPage(static_cast<std::int32_t>(n - 1));
}

Tuserdata* OwnAccount(ServiceSession& session) {
  if (Tuserdata* account = AccountInUse(session)) return account;
  if (session.Refused()) {
    session.ShowMessageScreen(session.Refusal(), "IDlogout");
  } else if (session.Account() == nullptr) {
    session.ShowMessageScreen("Dein Nutzername existiert nicht.", "IDlogout");
  } else {
    session.ShowMessageScreen("Bitte melde Dich zuerst an.", LoginFile);
  }
  return nullptr;
}

bool IsAdministrator(ServiceSession& session) {
  const Tuserdata* account = AccountInUse(session);
  return account != nullptr && account->IsAdmin;
}

bool RequireAdministrator(ServiceSession& session, const TAction& action) {
  const Tuserdata* account = OwnAccount(session);
  if (account != nullptr && account->IsAdmin) return true;
  session.LogText("refused " + action.Target + " for " + session.UserName() +
                  ": not an administrator");
  if (account != nullptr) {
    session.ShowMessageScreen("Diese Aktion ist nur für Administratoren."_cp, "IDmenumain");
  }
  return false;
}

TLMenuItem ListItem(ServiceSession& session, std::string_view caption, std::string_view action,
                    std::int32_t param) {
  TLMenuItem item;
  item.Caption = std::string(caption.substr(0, MenuCaptionMax));
  item.Action = ParseAction(0, action, session.Context().log);
  item.Action.Param = param;
  return item;
}

void Changed(ServiceSession& session) {
  session.Context().MarkChanged();
}

}  // namespace velora
