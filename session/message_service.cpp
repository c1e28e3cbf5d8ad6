// Messages between users: sending (stored in the recipient's mailbox, an online recipient told at
// once), the list of one's own messages, opening, deleting and answering one.
#include <string>

#include "common/cp1252.h"
#include "common/text.h"
#include "session/context.h"
#include "session/service_table.h"

namespace velora {

namespace {

inline constexpr std::string_view NoMessageText = "Nachricht existiert nicht mehr.";

// The message on display, or null after a report of its absence.
Tmessage* CurrentMessage(ServiceSession& session, Tuserdata& account) {
  const std::int32_t index = session.State().CurrentMessage;
  if (index < 0 || static_cast<std::size_t>(index) >= account.Messages.size()) {
    session.ServerError(NoMessageText);
    return nullptr;
  }
  return &account.Messages[static_cast<std::size_t>(index)];
}

}  // namespace

void SendMessage(ServiceSession& session, const TAction&) {
  if (OwnAccount(session) == nullptr) return;
  const SessionContext& ctx = session.Context();
  const std::string recipient = AsciiUpper(session.GetInputValue(MsgRcptInput));
  const int index = FindUser(ctx.users, recipient);
  if (index < 0) {
    session.ShowMessageScreen("Der Benutzername " + recipient + " existiert nicht.", MessageMenu);
    return;
  }
  Tuserdata& account = ctx.users[static_cast<std::size_t>(index)];
  Tmessage message;
  message.Sender = session.UserName();
  message.Text = session.GetInputValue(MsgTextInput);
  message.Time = FormatDateTimeC(ctx.clock.LocalNow());
  account.Messages.push_back(std::move(message));
  Changed(session);
  ctx.CountMessage();
  if (!account.Online) {
    session.ShowMessageScreen(account.Name + std::string(" ist nicht online. Die Nachricht wird "
                                                         "gespeichert und bei nächster "
                                                         "Gelegenheit gesendet."_cp),
                              MessageMenu);
    return;
  }
  // Also when the recipient is this session: the notice follows the confirmation.
  ctx.directory.Notify(recipient, "Du hast Post.");
  session.ShowMessageScreen("Die Nachricht wird an " + account.Name + " versendet.", MessageMenu);
}

void ListMessages(ServiceSession& session, const TAction&) {
  const Tuserdata* account = OwnAccount(session);
  if (account == nullptr) return;
  if (account->Messages.empty()) {
    session.ShowMessageScreen("Sie haben keine Nachrichten.", MessageMenu);
    return;
  }
  std::vector<TLMenuItem> items;
  items.reserve(account->Messages.size() + 1);
  for (std::size_t i = 0; i < account->Messages.size(); ++i) {
    items.push_back(ListItem(session, account->Messages[i].Text, "IDShowMessage",
                             static_cast<std::int32_t>(i)));
  }
  items.push_back(ListItem(session, "zurück"_cp, MessageMenu));
  session.OpenLongMenu("Messages lesen", std::move(items));
}

void ShowMessage(ServiceSession& session, const TAction& action) {
  Tuserdata* account = OwnAccount(session);
  if (account == nullptr) return;
  session.State().CurrentMessage = action.Param;
  Tmessage* message = CurrentMessage(session, *account);
  if (message == nullptr) return;
  if (!message->Read) {
    message->Read = true;
    Changed(session);
  }
  session.ShowMessageScreen("Nachricht " + std::to_string(action.Param + 1) + " von " +
                                message->Sender + " um " + message->Time + ": " + message->Text,
                            AfterShowMessage);
}

void DeleteMessage(ServiceSession& session, const TAction& action) {
  Tuserdata* account = OwnAccount(session);
  if (account == nullptr) return;
  const Tmessage* message = CurrentMessage(session, *account);
  if (message == nullptr) return;
  account->Messages.erase(account->Messages.begin() + (message - account->Messages.data()));
  session.State().CurrentMessage = -1;
  Changed(session);
  ListMessages(session, action);
}

void ReplyMessage(ServiceSession& session, const TAction&) {
  Tuserdata* account = OwnAccount(session);
  if (account == nullptr) return;
  const Tmessage* message = CurrentMessage(session, *account);
  if (message == nullptr) return;
  session.PutInputValue(MsgRcptInput, message->Sender);
  session.LoadContentFile(EnterMessageText);
}

}  // namespace velora
