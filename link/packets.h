// Cutting a payload into the link packets of a multi-part transfer.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "link/frame.h"

namespace velora {

inline constexpr int MaxTransferParts = 255;

// Cuts a payload into packets of at most maxLength data bytes (forced into 1..249). A payload
// needing more than 255 parts is cut short; `truncated` then tells the caller.
std::vector<TPacket> SplitIntoPackets(std::uint8_t kind, std::string_view data, int maxLength,
                                      bool& truncated);

}  // namespace velora
