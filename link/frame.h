// Link frames: packet kinds, TPacket, CRC-8/MAXIM, building and checking frames.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/constants.h"
#include "settings/server_settings.h"

namespace velora {

enum PacketKind : std::uint8_t {
  KindRegisterRequest = 0,
  KindAck = 1,
  KindRestart = 2,
  KindLogout = 3,
  KindPoll = 4,
  KindNoAck = 5,
  KindInvite = 6,
  KindRegistered = 7,
  KindLogoutAck = 8,
  KindNothing = 10,
  KindTextScreen = 11,
  // Screens 12 and 13 are never produced; their replies are still recognised.
  KindScreen12 = 12,
  KindScreen13 = 13,
  KindMenuScreen = 14,
  KindInputScreen = 15,
  KindMenuReply = 32,
  KindTextReply = 33,
  KindReply34 = 34,
  KindReply35 = 35,
  KindInputReply = 36,
};

// The reply kind a screen of this kind awaits; 0 for kinds that are not screens.
std::uint8_t ReplyKindOf(std::uint8_t screenKind);

// Bit 7 of Kind marks a continuation part of a multi-part transfer.
inline constexpr std::uint8_t ContinuationBit = 0x80;

// The name of a kind ("KindPoll"), or empty for a number without one; bit 7 is ignored.
std::string_view PacketKindName(std::uint8_t kind);

// One outgoing packet as a session queues it; the link adds addresses, length and CRC.
struct TPacket {
  std::uint8_t Kind = KindNothing;
  std::uint8_t Part = 1;
  std::string Data;
};

// Frame layout: offsets from the first byte after the start string.
inline constexpr std::size_t FrameDestination = 0;
inline constexpr std::size_t FrameLength = 1;
inline constexpr std::size_t FrameKind = 2;
inline constexpr std::size_t FrameSource = 3;
inline constexpr std::size_t FramePart = 4;
inline constexpr std::size_t FrameData = 5;
inline constexpr std::size_t FrameOverhead = 6;
inline constexpr std::size_t RegisterRequestLength = 19;

namespace crc_detail {
constexpr std::array<std::uint8_t, 256> MakeTable() {
  std::array<std::uint8_t, 256> table{};
  for (int i = 0; i < 256; ++i) {
    auto crc = static_cast<std::uint8_t>(i);
    for (int bit = 0; bit < 8; ++bit) {
      crc = (crc & 1) ? static_cast<std::uint8_t>((crc >> 1) ^ 0x8C)
                      : static_cast<std::uint8_t>(crc >> 1);
    }
    table[i] = crc;
  }
  return table;
}
}  // namespace crc_detail

// CRC-8/MAXIM (reflected polynomial 0x8C, initial 0, no final XOR); entry i is the CRC of byte i.
inline constexpr std::array<std::uint8_t, 256> Crc8Table = crc_detail::MakeTable();

// One CRC step.
inline void DoCRC8(std::uint8_t& crc, std::uint8_t byte) {
  crc = Crc8Table[crc ^ byte];
}
std::uint8_t Crc8(std::string_view bytes);

// Destination, Length = data + 6, Kind, Source, Part, Data, CRC. The data must fit (<= 249 bytes).
std::string BuildFrame(std::uint8_t destination, std::uint8_t kind, std::uint8_t source,
                       std::uint8_t part, std::string_view data);

// The start string sent before every frame; empty when that option is off.
inline std::string_view StartString(const ServerSettings& settings) {
  return settings.SendPacketInitString ? std::string_view(settings.PacketInitString)
                                       : std::string_view();
}

// Field access of a whole frame.
inline std::uint8_t FrameByte(std::string_view frame, std::size_t offset) {
  return static_cast<std::uint8_t>(frame[offset]);
}
inline std::string_view FramePayload(std::string_view frame) {
  return frame.size() < FrameOverhead ? std::string_view{}
                                      : frame.substr(FrameData, frame.size() - FrameOverhead);
}

// An intact frame, destination byte to CRC byte: at least a header and a CRC, its length byte
// telling its size, its CRC good. Only the frame scanner and Parse make one, so whoever holds a
// Frame need not check it again.
class Frame {
 public:
  static std::optional<Frame> Parse(std::string_view bytes);

  const std::string& Bytes() const { return bytes_; }
  std::uint8_t Destination() const { return FrameByte(bytes_, FrameDestination); }
  // With the continuation bit.
  std::uint8_t Kind() const { return FrameByte(bytes_, FrameKind); }
  std::uint8_t Source() const { return FrameByte(bytes_, FrameSource); }
  std::uint8_t Part() const { return FrameByte(bytes_, FramePart); }
  std::string_view Payload() const { return FramePayload(bytes_); }
  std::size_t Size() const { return bytes_.size(); }

 private:
  friend class FrameScanner;
  explicit Frame(std::string bytes) : bytes_(std::move(bytes)) {}

  std::string bytes_;
};

}  // namespace velora
