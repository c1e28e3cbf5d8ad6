// Administration: new accounts, the user list, choosing a user and kicking its calculator. Only
// an administrator's session runs them; the user list alone is open to everyone, without the
// way to a user's edit page.
#include <string>

#include "common/cp1252.h"
#include "common/text.h"
#include "session/context.h"
#include "session/service_table.h"

namespace velora {

namespace {

// The name part of a user list caption; an online user's caption goes on with " O".
inline constexpr std::size_t ListedNameLength = 8;

bool IsAccountIndex(const UserTable& users, std::int32_t index) {
  return index >= 0 && static_cast<std::size_t>(index) < users.size();
}

}  // namespace

void CreateUser(ServiceSession& session, const TAction& action) {
  if (!RequireAdministrator(session, action)) return;
  const SessionContext& ctx = session.Context();
  const std::string name = session.GetInputValue(TempInput);
  if (name.empty()) {
    // An account without a name would take any calculator that registers with an empty name
    // field, with an empty password.
    session.ShowMessageScreen("Der neue Nutzer braucht einen Namen.", AdminMenu);
    return;
  }
  if (UserExists(ctx.users, name)) {
    session.ShowMessageScreen("User " + name + " already exists.", AdminMenu);
    return;
  }
  Tuserdata user;
  user.Name = AsciiUpper(name);
  user.Password = name;
  ctx.users.push_back(user);
  Changed(session);
  session.ShowMessageScreen("User " + user.Name + " was created.\nPassword:" + name, AdminMenu);
  ctx.log.MainLog("User " + name + " was created by " + session.UserName(), false);
}

void ListUsers(ServiceSession& session, const TAction&) {
  if (OwnAccount(session) == nullptr) return;
  const bool admin = IsAdministrator(session);
  const UserTable& users = session.Context().users;
  std::vector<TLMenuItem> items;
  items.reserve(users.size() + 1);
  for (std::size_t i = 0; i < users.size(); ++i) {
    std::string caption = users[i].Name.substr(0, ListedNameLength);
    if (users[i].Online) {
      caption.resize(ListedNameLength, ' ');
      caption += " O";
    }
    items.push_back(ListItem(session, caption, admin ? "IDEditUser" : "IDmenumain",
                             static_cast<std::int32_t>(i)));
  }
  items.push_back(ListItem(session, "zurück"_cp,
                           admin ? EditUserMenu : std::string_view(session.CurrentPageId())));
  session.OpenLongMenu("List users", std::move(items));
}

void EditUser(ServiceSession& session, const TAction& action) {
  if (!RequireAdministrator(session, action)) return;
  if (!IsAccountIndex(session.Context().users, action.Param)) {
    session.ServerError("Nutzer existiert nicht.");
    return;
  }
  session.State().EditUserIndex = action.Param;
  session.LoadContentFile(EditUserMenu);
}

void KickUserAction(ServiceSession& session, const TAction& action) {
  if (!RequireAdministrator(session, action)) return;
  const SessionContext& ctx = session.Context();
  const std::int32_t index = session.State().EditUserIndex;
  if (!IsAccountIndex(ctx.users, index)) {
    session.ServerError("Nutzer existiert nicht.");
    return;
  }
  const Tuserdata& user = ctx.users[static_cast<std::size_t>(index)];
  if (!user.Online) {
    session.ShowMessageScreen("Nutzer " + user.Name + " ist nicht online.", AdminMenu);
    return;
  }
  ctx.directory.KickUser(index);
  session.ShowMessageScreen("User " + user.Name + " wird gekickt.", AdminMenu);
}

}  // namespace velora
