// Multi-part reassembly.
#include "link/reassembler.h"

#include "link/frame.h"

namespace velora {

std::optional<std::string> Reassembler::Take(std::uint8_t kind, std::uint8_t part,
                                             std::string_view data) {
  lastWasStray_ = false;
  if ((kind & ContinuationBit) != 0) {
    if (lastPart_ == 0 || part != lastPart_ + 1) {
      lastWasStray_ = true;
      return std::nullopt;
    }
    buffer_ += data;
    lastPart_ = part;
    if (part < parts_) return std::nullopt;
    std::string whole = std::move(buffer_);
    // A finished transfer cannot be extended by a stray continuation part.
    buffer_.clear();
    parts_ = 0;
    lastPart_ = 0;
    return whole;
  }
  if (part > 1) {
    buffer_ = std::string(data);
    parts_ = part;
    lastPart_ = 1;
    return std::nullopt;
  }
  return std::string(data);
}

}  // namespace velora
