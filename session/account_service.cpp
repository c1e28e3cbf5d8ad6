// Accounts: login with the greeting of the hour, logout, and a new password.
#include <algorithm>
#include <cstdint>
#include <string>

#include "common/cp1252.h"
#include "session/context.h"
#include "session/service_table.h"

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

// From this many wrong passwords in a row on, each further try waits: 2 s after the fifth,
// doubling with every wrong one after it, at most a minute.
constexpr int LoginFailuresBeforeWait = 5;
constexpr std::uint32_t FirstLoginWaitMs = 2000;
constexpr std::uint32_t LongestLoginWaitMs = 60'000;

std::uint32_t LoginWaitMs(int failures) {
  std::uint32_t wait = FirstLoginWaitMs;
  for (int n = LoginFailuresBeforeWait; n < failures && wait < LongestLoginWaitMs; ++n)
    wait *= 2;
  return std::min(wait, LongestLoginWaitMs);
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
  const SessionContext& ctx = session.Context();
  LoginAttempts& attempts = session.State().Login;
  const std::uint32_t now = ctx.clock.TickMs();
  const std::uint32_t waited = now - attempts.waitFromMs;
  if (attempts.waitMs > 0 && waited < attempts.waitMs) {
    const std::uint32_t seconds = (attempts.waitMs - waited + 999) / 1000;
    session.ShowMessageScreen("Zu viele Fehlversuche. Bitte warte noch " + std::to_string(seconds) +
                                  (seconds == 1 ? " Sekunde." : " Sekunden."),
                              LoginFile);
    return;
  }
  if (session.GetInputValue(PasswordInput) != account->Password) {
    if (++attempts.failures >= LoginFailuresBeforeWait) {
      attempts.waitFromMs = now;
      attempts.waitMs = LoginWaitMs(attempts.failures);
      if (attempts.failures == LoginFailuresBeforeWait) {
        session.LogText("NOTE : " + std::to_string(LoginFailuresBeforeWait) +
                        " wrong passwords in a row for " + session.UserName() +
                        ", further tries wait");
      }
    }
    session.ShowMessageScreen("Das eingegebene Paßwort konnte leider nicht bestätigt werden."_cp,
                              LoginFile);
    return;
  }
  attempts = LoginAttempts{};
  session.MarkLoggedIn();

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
  session.PutInputValue(PasswordInput, "");
}

void Logout(ServiceSession& session, const TAction&) {
  session.Logout();
}

// The old password is not asked for: whoever holds the logged-in session may set a new one.
void ChangePassword(ServiceSession& session, const TAction&) {
  Tuserdata* account = OwnAccount(session);
  if (account == nullptr) return;
  const std::string password = session.GetInputValue(PasswordInput);
  if (password != session.GetInputValue(Password2Input)) {
    session.ShowMessageScreen("Die beiden eingegebenen Paßwörter stimmen nicht überein."_cp,
                              ConfigMenu);
    return;
  }
  account->Password = password;
  Changed(session);
  session.ShowMessageScreen("Das Paßwort wurde geändert."_cp, ConfigMenu);
}

}  // namespace velora
