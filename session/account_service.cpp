// Accounts: login with the greeting of the hour, logout, and a new password.
#include <string>

#include "common/cp1252.h"
#include "session/context.h"
#include "session/services.h"

namespace velora {

namespace {

std::string_view GreetingOfHour(int hour) {
  if (hour <= 5) return "Hallo Nachtschwärmer "_cp;
  if (hour <= 10) return "Guten Morgen ";
  if (hour <= 15) return "Guten Tag ";
  if (hour <= 17) return "Guten Nachmittag ";
  if (hour <= 20) return "Guten Abend ";
  return "Gute Nacht ";
}

}  // namespace

void Login(ServiceSession& session, const TAction&) {
  const Tuserdata* account = session.Account();
  if (session.Refused() || account == nullptr) {
    // Without an account of its own the session has nothing to log in to.
    session.ShowMessageScreen(
        session.Refused() ? session.Refusal() : "Dein Nutzername existiert nicht.", "IDlogout");
    return;
  }
  if (session.GetInputValue("password") != account->Password) {
    session.ShowMessageScreen("Das eingegebene Paßwort konnte leider nicht bestätigt werden."_cp,
                              "login.txt");
    return;
  }
  session.MarkLoggedIn();

  const SessionContext& ctx = session.Context();
  int unread = 0;
  for (const Tmessage& message : account->Messages) {
    if (!message.Read) ++unread;
  }
  std::string text(GreetingOfHour(ctx.clock.LocalNow().hour));
  text += session.UserName();
  text += "!\nDu hast ";
  if (unread == 0) {
    text += ctx.random.Uniform() > 0.5 ? "keine ungelesene Nachricht."
                                       : "keine ungelesenen Nachrichten.";
  } else if (unread == 1) {
    text += " eine ungelesene Nachricht.";
  } else {
    text += std::to_string(unread) + " ungelesene Nachrichten.";
  }
  session.ShowMessageScreen(text, "IDmenumain");
  session.PutInputValue("password", "");
}

void Logout(ServiceSession& session, const TAction&) {
  session.Logout();
}

// The old password is not asked for: whoever holds the logged-in session may set a new one.
void ChangePassword(ServiceSession& session, const TAction&) {
  Tuserdata* account = OwnAccount(session);
  if (account == nullptr) return;
  const std::string password = session.GetInputValue("password");
  if (password != session.GetInputValue("password2")) {
    session.ShowMessageScreen("Die beiden eingegebenen Paßwörter stimmen nicht überein."_cp,
                              "menukonfiguration");
    return;
  }
  account->Password = password;
  Changed(session);
  session.ShowMessageScreen("Das Paßwort wurde geändert."_cp, "menukonfiguration");
}

}  // namespace velora
