// Cutting a payload into link packets.
#include "link/packets.h"

#include <algorithm>

#include "common/constants.h"

namespace velora {

std::vector<TPacket> SplitIntoPackets(std::uint8_t kind, std::string_view data, int maxLength,
                                      bool& truncated) {
  const std::size_t len = static_cast<std::size_t>(std::clamp<int>(maxLength, 1, MaxFrameData));
  std::size_t parts = data.empty() ? 1 : (data.size() - 1) / len + 1;
  truncated = parts > MaxTransferParts;
  if (parts == 1) return {TPacket{kind, 1, std::string(data)}};
  parts = std::min<std::size_t>(parts, MaxTransferParts);
  std::vector<TPacket> packets;
  packets.reserve(parts);
  packets.push_back(
      TPacket{kind, static_cast<std::uint8_t>(parts), std::string(data.substr(0, len))});
  for (std::size_t c = 2; c <= parts; ++c) {
    packets.push_back(TPacket{static_cast<std::uint8_t>(kind | ContinuationBit),
                              static_cast<std::uint8_t>(c),
                              std::string(data.substr((c - 1) * len, len))});
  }
  return packets;
}

}  // namespace velora
