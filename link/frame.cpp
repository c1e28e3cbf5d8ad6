// Link frames.
#include "link/frame.h"

#include "common/constants.h"

namespace velora {

std::string_view PacketKindName(std::uint8_t kind) {
  switch (kind & ~ContinuationBit) {
    case KindRegisterRequest:
      return "KindRegisterRequest";
    case KindAck:
      return "KindAck";
    case KindRestart:
      return "KindRestart";
    case KindLogout:
      return "KindLogout";
    case KindPoll:
      return "KindPoll";
    case KindNoAck:
      return "KindNoAck";
    case KindInvite:
      return "KindInvite";
    case KindRegistered:
      return "KindRegistered";
    case KindLogoutAck:
      return "KindLogoutAck";
    case KindNothing:
      return "KindNothing";
    case KindTextScreen:
      return "KindTextScreen";
    case KindMenuScreen:
      return "KindMenuScreen";
    case KindInputScreen:
      return "KindInputScreen";
    case KindMenuReply:
      return "KindMenuReply";
    case KindTextReply:
      return "KindTextReply";
    case KindInputReply:
      return "KindInputReply";
    default:
      return {};
  }
}

std::uint8_t ReplyKindOf(std::uint8_t screenKind) {
  switch (screenKind) {
    case KindTextScreen:
      return KindTextReply;
    case KindScreen12:
      return KindReply34;
    case KindScreen13:
      return KindReply35;
    case KindMenuScreen:
      return KindMenuReply;
    case KindInputScreen:
      return KindInputReply;
    default:
      return 0;
  }
}

std::uint8_t Crc8(std::string_view bytes) {
  std::uint8_t crc = 0;
  for (char c : bytes)
    DoCRC8(crc, static_cast<std::uint8_t>(c));
  return crc;
}

std::string BuildFrame(std::uint8_t destination, std::uint8_t kind, std::uint8_t source,
                       std::uint8_t part, std::string_view data) {
  std::string frame;
  frame.reserve(data.size() + FrameOverhead);
  frame += static_cast<char>(destination);
  frame += static_cast<char>(data.size() + FrameOverhead);
  frame += static_cast<char>(kind);
  frame += static_cast<char>(source);
  frame += static_cast<char>(part);
  frame += data;
  frame += static_cast<char>(Crc8(frame));
  return frame;
}

std::optional<Frame> Frame::Parse(std::string_view bytes) {
  if (bytes.size() < FrameOverhead || FrameByte(bytes, FrameLength) != bytes.size()) return {};
  if (Crc8(bytes.substr(0, bytes.size() - 1)) != FrameByte(bytes, bytes.size() - 1)) return {};
  return Frame(std::string(bytes));
}

}  // namespace velora
