// TProcess: creation, the packets from the calculator and the packet for each poll.
#include "session/process.h"

#include <algorithm>

#include "common/constants.h"
#include "common/cp1252.h"
#include "common/text.h"

namespace velora {

namespace {

inline constexpr std::size_t NameFieldLength = 8;

bool AlwaysAccepted(std::uint8_t kind) {
  return kind == KindRegisterRequest || kind == KindAck || kind == KindRestart ||
         kind == KindLogout || kind == KindNoAck || kind == KindNothing;
}

}  // namespace

TProcess::TProcess(const SessionContext& context, int address, std::uint8_t modelByte,
                   std::string_view nameField)
    : ctx_(context), address_(address), calcType_(CalcTypeFromCode(modelByte)) {
  const std::string_view field = nameField.substr(0, NameFieldLength);
  userName_ = std::string(field.substr(0, field.find('\0')));

  std::string confirmation = userName_;
  confirmation.append(NameFieldLength - userName_.size(), '\0');
  confirmation += static_cast<char>(address_);
  QueuePackets(KindRegistered, confirmation);

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

void TProcess::HandlePacket(std::string_view frame) {
  // The link never hands over less than a header and a CRC; anything shorter is not a frame.
  if (frame.size() < FrameOverhead) return;
  const std::uint8_t rawKind = FrameByte(frame, FrameKind);
  const std::uint8_t part = FrameByte(frame, FramePart);
  const std::string_view payload = FramePayload(frame);
  ackOwed_ = true;

  const std::uint8_t kind = rawKind & static_cast<std::uint8_t>(~ContinuationBit);
  if (!AlwaysAccepted(kind) && kind != expectedReply_) return;

  std::string assembled;
  std::string_view data = payload;
  if ((rawKind & ContinuationBit) != 0) {
    if (rxLastPart_ == 0 || part != rxLastPart_ + 1) return;
    rxBuffer_ += payload;
    rxLastPart_ = part;
    if (part < rxParts_) return;
    assembled = std::move(rxBuffer_);
    data = assembled;
    // A finished transfer cannot be extended by a stray continuation part.
    rxBuffer_.clear();
    rxParts_ = 0;
    rxLastPart_ = 0;
  } else if (part > 1) {
    rxBuffer_ = std::string(payload);
    rxParts_ = part;
    rxLastPart_ = 1;
    return;
  }

  switch (kind) {
    case KindAck:
      if (!outQueue_.empty()) outQueue_.erase(outQueue_.begin());
      ackOwed_ = false;
      sendCount_ = 0;
      return;
    case KindRestart:
      HandleRestart();
      return;
    case KindLogout:
      Logout();
      return;
    case KindNoAck:
      ackOwed_ = false;
      return;
    case KindNothing:
      if (!outQueue_.empty() && outQueue_.front().Kind == KindRegistered) {
        outQueue_.erase(outQueue_.begin());
      }
      ackOwed_ = false;
      tiReady_ = true;
      return;
    default:
      if (!tiReady_) return;
      tiReady_ = false;
      HandleReply(kind, data);
      return;
  }
}

void TProcess::HandleRestart() {
  outQueue_.clear();
  if (Refused()) {
    // A refused session has no account to log in to; it may only leave.
    ShowMessageScreen(refusal_, "IDlogout");
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

TPacket TProcess::NextPacket() {
  if (ackOwed_) {
    ackOwed_ = false;
    return TPacket{KindAck, 1, {}};
  }
  if (!outQueue_.empty()) {
    const std::uint8_t kind = outQueue_.front().Kind;
    const bool control = kind == KindAck || (kind >= KindPoll && kind <= 9);
    if (control || tiReady_) {
      ++sendCount_;
      sendCountMax_ = std::max(sendCountMax_, sendCount_);
      return outQueue_.front();
    }
  }
  sendCount_ = 0;
  return TPacket{KindNothing, 1, {}};
}

void TProcess::Logout() {
  loggedOut_ = true;
  ackOwed_ = false;
  // Screens still waiting would hold the confirmation back until the station is gone.
  outQueue_.clear();
  QueuePackets(KindLogoutAck, {});
}

}  // namespace velora
