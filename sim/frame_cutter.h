// Cuts the frames out of the bytes a calculator hears: after the start string (when one is used)
// the length byte says where a frame ends. A candidate whose length or CRC is wrong was no frame;
// the search goes on just after where it began.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace velora {

class FrameCutter {
 public:
  // Adds heard bytes; answers the complete frames found, each with its start string in front.
  std::vector<std::string> Take(std::string_view bytes, std::string_view startString);
  // Forgets a partial frame (after a silence on the air).
  void Clear() { heard_.clear(); }

 private:
  std::string heard_;
};

}  // namespace velora
