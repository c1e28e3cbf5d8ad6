// TProcess: creation, the packets from the calculator and the packet for each poll.
#include "session/process.h"

#include <algorithm>

#include "common/constants.h"
#include "common/cp1252.h"
#include "common/text.h"

namespace velora {

namespace {

inline constexpr std::size_t NameFieldLength = 8;

}  // namespace

TProcess::TProcess(const SessionContext& context, int address, std::uint8_t modelByte,
                   std::string_view nameField, SessionId id)
    : ctx_(context),
      id_(id),
      address_(address),
      link_(context.settings, context.log),
      screens_(link_, context.settings, context.log, CalcTypeFromCode(modelByte)) {
  const std::string_view field = nameField.substr(0, NameFieldLength);
  userName_ = std::string(field.substr(0, field.find('\0')));

  std::string confirmation = userName_;
  confirmation.append(NameFieldLength - userName_.size(), '\0');
  confirmation += static_cast<char>(address_);
  link_.Queue(KindRegistered, confirmation);

  const int index = FindUser(ctx_.users, userName_);
  if (index < 0) {
    Refuse("Dein Nutzername existiert nicht.");
    return;
  }
  userIndex_ = index;
  hasAccount_ = true;
  Tuserdata& account = ctx_.users[static_cast<std::size_t>(index)];
  if (account.Online) {
    Refuse(userName_ + " ist bereits online.");
    return;
  }
  loggedOut_ = false;
  account.Online = true;
  holdsOnlineMark_ = true;
  if (ctx_.settings.LoginRequired) {
    ShowLoginPage();
  } else {
    ShowMainMenu();
  }
}

void TProcess::Refuse(std::string text) {
  refusal_ = std::move(text);
  ShowMessageScreen(refusal_, "IDlogout");
}

void TProcess::ReleaseOnlineMark() {
  if (!holdsOnlineMark_) return;
  holdsOnlineMark_ = false;
  if (Tuserdata* account = Account()) account->Online = false;
}

Tuserdata* TProcess::Account() {
  if (!hasAccount_ || userIndex_ < 0 || static_cast<std::size_t>(userIndex_) >= ctx_.users.size()) {
    return nullptr;
  }
  return &ctx_.users[static_cast<std::size_t>(userIndex_)];
}

bool TProcess::HandlePacket(const Frame& frame) {
  StationLink::Received received = link_.Receive(frame);
  switch (received.request) {
    case StationLink::Request::None:
      return true;
    case StationLink::Request::StrayPart:
      return false;
    case StationLink::Request::Restart:
      HandleRestart();
      return true;
    case StationLink::Request::Logout:
      Logout();
      return true;
    case StationLink::Request::Reply:
      HandleReply(received.kind, received.data);
      return true;
  }
  return true;
}

TPacket TProcess::NextPacket() {
  // Never under the user's typing, nor over a message (a confirmation, say) before it has been
  // read: those show it when they are answered. Any other screen once it is shown and the
  // calculator has nothing left to say about it.
  if (!notices_.empty() && !loggedOut_ && link_.Idle() && link_.ExpectedReply() != KindInputReply &&
      !screens_.MessageOnDisplay()) {
    ShowNotice();
  }
  return link_.NextPacket();
}

void TProcess::QueueNotice(std::string_view text) {
  if (std::find(notices_.begin(), notices_.end(), text) == notices_.end())
    notices_.emplace_back(text);
}

void TProcess::ShowNotice() {
  const std::string text = std::move(notices_.front());
  notices_.erase(notices_.begin());
  // Over a message just read (a confirmation, say) it leads on where the message would have led:
  // going back to its page would offer the form just sent once more. Otherwise back to the page
  // on display; a session that has loaded none yet goes to its start page.
  if (screens_.MessageOnDisplay()) {
    screens_.ShowMessageScreen(text, screens_.FirstPageAction());
    return;
  }
  ShowMessageScreen(text, currentPageId_.empty() ? std::string("IDmenumain") : currentPageId_);
}

void TProcess::HandleRestart() {
  link_.DropQueue();
  if (Refused()) {
    ShowEntryScreen();
    return;
  }
  if (!loggedIn_) {
    ShowLoginPage();
    return;
  }
  if (!currentPageId_.empty()) {
    const std::string page = currentPageId_;
    LoadContentFile(page);
    currentPageId_.clear();
    return;
  }
  ShowMainMenu();
}

void TProcess::HandleReply(std::uint8_t kind, std::string_view data) {
  switch (kind) {
    case KindMenuReply:
      HandleMenuReply(data);
      return;
    case KindTextReply:
      HandleTextReply(data);
      return;
    case KindInputReply:
      HandleInputReply(data);
      return;
    default:
      LogText("unknown ID:" + std::to_string(kind) + " for ti " + std::to_string(address_));
      return;
  }
}

void TProcess::LogShortReply(std::uint8_t kind) {
  LogText("short reply ignored: kind " + std::to_string(kind) + " for ti " +
          std::to_string(address_));
}

void TProcess::Logout() {
  loggedOut_ = true;
  link_.QueueLogoutAck();
}

}  // namespace velora
