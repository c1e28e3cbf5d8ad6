// Joins the parts of a multi-part transfer. A first part announces the number of parts in its Part
// byte; continuation parts (bit 7 of the kind set) carry their own numbers 2..N, in order.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace velora {

class Reassembler {
 public:
  // The whole data once a transfer is complete, at once for a single frame. Nothing while parts
  // are missing, and nothing for a continuation part out of order (a repeat after a lost
  // acknowledgement, or a stray part with no transfer running): it is ignored and the transfer in
  // progress goes on.
  std::optional<std::string> Take(std::uint8_t kind, std::uint8_t part, std::string_view data);
  // Whether the last part taken was such a stray continuation.
  bool LastWasStray() const { return lastWasStray_; }

 private:
  std::string buffer_;
  std::uint8_t parts_ = 0;
  std::uint8_t lastPart_ = 0;
  bool lastWasStray_ = false;
};

}  // namespace velora
