// The link protocol of one station: acknowledgements owed, the queue of packets for the
// calculator, whether the calculator is ready for a screen, and multi-part input. It knows nothing
// of screens or services; the session acts on what a frame asks of it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/ports.h"
#include "link/frame.h"
#include "link/reassembler.h"
#include "settings/server_settings.h"

namespace velora {

class StationLink {
 public:
  // What an accepted frame asks of the session beyond the link's own bookkeeping; StrayPart for
  // a part of a multi-part transfer out of order, which is dropped.
  enum class Request { None, Restart, Logout, Reply, StrayPart };
  struct Received {
    Request request = Request::None;
    std::uint8_t kind = 0;  // of a reply, bit 7 cleared
    std::string data;       // of a reply, reassembled
  };

  // Settings are read at each use.
  StationLink(const ServerSettings& settings, LogSink& log);

  // A frame from this station.
  Received Receive(const Frame& frame);
  // The packet for this poll: an owed acknowledgement first, control packets at once, screens
  // only once the calculator has reported itself idle. Unacknowledged packets are sent again.
  TPacket NextPacket();
  // Appends the packets of a payload, cut into parts of at most MaxSinglePacketLen bytes, and
  // awaits the reply kind of a screen.
  void Queue(std::uint8_t kind, std::string_view data);
  // The session has ended: nothing still waiting goes out, only the logout confirmation.
  void QueueLogoutAck();
  // A restart from the calculator throws away what was queued.
  void DropQueue() {
    outQueue_.clear();
    FrontGone();
  }

  const std::vector<TPacket>& OutQueue() const { return outQueue_; }
  std::uint8_t ExpectedReply() const { return expectedReply_; }
  bool TIReady() const { return tiReady_; }
  bool AckOwed() const { return ackOwed_; }
  // Nothing owed or queued, and the calculator idle: the screen on display is the last queued.
  bool Idle() const { return !ackOwed_ && outQueue_.empty() && tiReady_; }
  std::int32_t SendCount() const { return sendCount_; }
  std::int32_t SendCountMax() const { return sendCountMax_; }
  // Whether the last packet NextPacket gave was one it had given before, not acknowledged since.
  bool Repeated() const { return repeated_; }
  // Polls in a row without an answer, kept by the polling cycle.
  std::uint8_t NoReplyCount() const { return noReplyCount_; }
  void SetNoReplyCount(std::uint8_t count) { noReplyCount_ = count; }
  // Whether the calculator has sent a frame since its registration, and the sweep's turns it
  // let pass before that (kept by the polling cycle).
  bool Answered() const { return answered_; }
  int TurnsBeforeAnswer() const { return turnsBeforeAnswer_; }
  void CountTurnBeforeAnswer() { ++turnsBeforeAnswer_; }

 private:
  // The first packet of the queue was taken off it: the next one starts its count afresh.
  void FrontGone() {
    sendCount_ = 0;
    frontSent_ = false;
  }

  const ServerSettings& settings_;
  LogSink& log_;
  std::vector<TPacket> outQueue_;
  std::uint8_t expectedReply_ = 0;
  bool tiReady_ = false;
  bool ackOwed_ = false;
  Reassembler reassembler_;
  std::int32_t sendCount_ = 0;
  std::int32_t sendCountMax_ = 0;
  bool frontSent_ = false;
  bool repeated_ = false;
  std::uint8_t noReplyCount_ = 0;
  bool answered_ = false;
  int turnsBeforeAnswer_ = 0;
};

}  // namespace velora
