// The link protocol of one station.
#include "link/station_link.h"

#include <algorithm>

#include "common/cp1252.h"
#include "link/packets.h"

namespace velora {

namespace {

bool AlwaysAccepted(std::uint8_t kind) {
  return kind == KindRegisterRequest || kind == KindAck || kind == KindRestart ||
         kind == KindLogout || kind == KindNoAck || kind == KindNothing;
}

}  // namespace

StationLink::StationLink(const ServerSettings& settings, LogSink& log)
    : settings_(settings), log_(log) {}

StationLink::Received StationLink::Receive(const Frame& frame) {
  const std::uint8_t rawKind = frame.Kind();
  ackOwed_ = true;
  answered_ = true;

  const std::uint8_t kind = rawKind & static_cast<std::uint8_t>(~ContinuationBit);
  if (!AlwaysAccepted(kind) && kind != expectedReply_) return {};
  std::optional<std::string> data = reassembler_.Take(rawKind, frame.Part(), frame.Payload());
  if (!data) return {reassembler_.LastWasStray() ? Request::StrayPart : Request::None, kind, {}};

  switch (kind) {
    case KindAck:
      if (!outQueue_.empty()) outQueue_.erase(outQueue_.begin());
      ackOwed_ = false;
      FrontGone();
      return {};
    case KindRestart:
      return {Request::Restart, kind, {}};
    case KindLogout:
      return {Request::Logout, kind, {}};
    case KindNoAck:
      ackOwed_ = false;
      return {};
    case KindNothing:
      if (!outQueue_.empty() && outQueue_.front().Kind == KindRegistered) {
        outQueue_.erase(outQueue_.begin());
        FrontGone();
      }
      ackOwed_ = false;
      tiReady_ = true;
      return {};
    default:
      if (!tiReady_) return {};
      tiReady_ = false;
      return {Request::Reply, kind, std::move(*data)};
  }
}

TPacket StationLink::NextPacket() {
  repeated_ = false;
  if (ackOwed_) {
    ackOwed_ = false;
    return TPacket{KindAck, 1, {}};
  }
  if (!outQueue_.empty()) {
    const std::uint8_t kind = outQueue_.front().Kind;
    const bool control = kind == KindAck || (kind >= KindPoll && kind <= 9);
    if (control || tiReady_) {
      repeated_ = frontSent_;
      frontSent_ = true;
      ++sendCount_;
      sendCountMax_ = std::max(sendCountMax_, sendCount_);
      return outQueue_.front();
    }
  }
  sendCount_ = 0;
  return TPacket{KindNothing, 1, {}};
}

void StationLink::Queue(std::uint8_t kind, std::string_view data) {
  expectedReply_ = ReplyKindOf(kind);
  if (kind < KindTextScreen) {
    // Control packets are read whole by the calculator (the confirmation's address is its ninth
    // byte), so a small MaxSinglePacketLen must not cut them into parts.
    outQueue_.push_back(TPacket{kind, 1, std::string(data)});
    return;
  }
  bool truncated = false;
  std::vector<TPacket> packets =
      SplitIntoPackets(kind, data, settings_.MaxSinglePacketLen, truncated);
  if (truncated) {
    std::string line;
    line += "Multi-Packet hätte mehr als 255 Teilpakete! Daten:"_cp;
    line += data;
    log_.Log(line);
  }
  for (TPacket& packet : packets)
    outQueue_.push_back(std::move(packet));
}

void StationLink::QueueLogoutAck() {
  ackOwed_ = false;
  // Screens still waiting would hold the confirmation back until the station is gone.
  outQueue_.clear();
  FrontGone();
  Queue(KindLogoutAck, {});
}

}  // namespace velora
