// Frames from a heard byte stream.
#include "sim/frame_cutter.h"

#include <cstdint>

#include "link/frame.h"

namespace velora {

std::vector<std::string> FrameCutter::Take(std::string_view bytes, std::string_view startString) {
  heard_ += bytes;
  std::vector<std::string> frames;
  while (true) {
    std::size_t at = 0;
    if (!startString.empty()) {
      at = heard_.find(startString);
      if (at == std::string::npos) {
        // Keep what could be the beginning of a start string.
        if (heard_.size() >= startString.size()) {
          heard_.erase(0, heard_.size() - (startString.size() - 1));
        }
        return frames;
      }
    }
    const std::size_t frameAt = at + startString.size();
    if (heard_.size() < frameAt + 2) return frames;
    const std::size_t length = static_cast<std::uint8_t>(heard_[frameAt + 1]);
    const bool lengthFits = length >= FrameOverhead;
    if (lengthFits && heard_.size() < frameAt + length) return frames;
    if (lengthFits) {
      const std::string_view frame = std::string_view(heard_).substr(frameAt, length);
      if (Crc8(frame.substr(0, length - 1)) == FrameByte(frame, length - 1)) {
        frames.push_back(heard_.substr(at, startString.size() + length));
        heard_.erase(0, frameAt + length);
        continue;
      }
    }
    heard_.erase(0, at + 1);  // not a frame: search again after where this one began
  }
}

}  // namespace velora
