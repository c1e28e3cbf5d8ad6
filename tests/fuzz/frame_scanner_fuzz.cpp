// The frame scanner fed any bytes in any chunks, with the options of the serial line (frames for
// the server, the buffer discarded on a bad length) and of the calculators (any good frame, the
// next byte tried): every event it reports must hold what its name says, the scan must end, and
// the calculators' rules must find the same frames however the bytes are cut.
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_input.h"
#include "link/frame.h"
#include "link/frame_scanner.h"

namespace velora {
namespace {

using fuzz::FuzzInput;
using T = FrameScanner::EventType;

const std::string kStarts[] = {"U", "U", "", "UU", "U\xFF", std::string("\0U", 2)};

FrameScanner::Options OptionsOf(bool server, const std::string& start) {
  if (server) {
    return {.startString = start,
            .check = FrameScanner::Check::ServerFrame,
            .resync = FrameScanner::Resync::Discard};
  }
  return {.startString = start,
          .check = FrameScanner::Check::Crc,
          .resync = FrameScanner::Resync::NextByte};
}

bool GoodCrc(std::string_view frame) {
  return Crc8(frame.substr(0, frame.size() - 1)) == FrameByte(frame, frame.size() - 1);
}

void CheckEvent(const FrameScanner::Event& e, bool server, const std::string& start) {
  switch (e.type) {
    case T::Frame:
    case T::NotForServer:
    case T::BadCrc:
      FUZZ_CHECK(e.bytes.size() >= FrameOverhead, "a candidate shorter than a header");
      FUZZ_CHECK(e.bytes.size() == FrameByte(e.bytes, FrameLength), "length byte");
      FUZZ_CHECK(e.count == e.bytes.size(), "count of a candidate");
      break;
    case T::Skipped:
      FUZZ_CHECK(!start.empty() && e.count >= start.size() && e.count <= e.bytes.size(),
                 "skipped count");
      FUZZ_CHECK(e.bytes.substr(e.count - start.size(), start.size()) == start,
                 "skipped up to the start string");
      FUZZ_CHECK(e.bytes.find(start) == e.count - start.size(), "the first start string");
      break;
    case T::Emptied:
      FUZZ_CHECK(!start.empty() && e.bytes.find(start) == std::string::npos,
                 "emptied a buffer holding the start string");
      break;
    case T::BadLength:
      FUZZ_CHECK(e.bytes.size() >= FrameOverhead && FrameByte(e.bytes, FrameLength) < FrameOverhead,
                 "bad length");
      break;
    case T::Overtaken:
      FUZZ_CHECK(server, "only frames for the server overtake");
      FUZZ_CHECK(e.count > 0 && e.count == e.bytes.size(), "overtaken count");
      break;
    case T::SearchStart:
      break;
  }
  if (e.type == T::Frame) {
    FUZZ_CHECK(GoodCrc(e.bytes), "a frame with a bad CRC");
    FUZZ_CHECK(!server || FrameByte(e.bytes, FrameDestination) == ServerAddress,
               "a frame for another station taken by the server");
  }
  if (e.type == T::NotForServer) {
    FUZZ_CHECK(server && FrameByte(e.bytes, FrameDestination) != ServerAddress, "not for server");
  }
  if (e.type == T::BadCrc) FUZZ_CHECK(!GoodCrc(e.bytes), "a good CRC dropped");
}

// Takes events until the scanner waits for bytes, or (as the serial line does) until a frame.
// Returns false when it stopped at a frame.
bool Drain(FrameScanner& scanner, bool server, const std::string& start, bool stopAtFrame,
           std::vector<std::string>& frames, std::size_t fedSinceClear) {
  // Each event removes bytes or alternates with one that does; a scan that goes on beyond this
  // hangs.
  const std::size_t bound = 4 * (scanner.Buffered().size() + start.size()) + 8;
  for (std::size_t n = 0;; ++n) {
    FUZZ_CHECK(n <= bound, "the scan does not end");
    const std::optional<FrameScanner::Event> e = scanner.Next();
    if (!e) return true;
    CheckEvent(*e, server, start);
    FUZZ_CHECK(scanner.Buffered().size() <= fedSinceClear, "the buffer grew by itself");
    if (e->type == T::Frame) {
      frames.push_back(e->bytes);
      if (stopAtFrame) return false;
    }
  }
}

}  // namespace
}  // namespace velora

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace velora;
  FuzzInput in(data, size);
  const std::uint8_t config = in.Byte();
  const bool server = (config & 1) != 0;
  const bool stopAtFrame = (config & 2) != 0;  // the serial line's way of taking frames
  const bool disturb = (config & 4) != 0;      // clear and change the start string midway
  std::string start = kStarts[(config >> 3) % std::size(kStarts)];
  const std::string firstStart = start;
  const std::string chunkSizes = in.Bytes(in.Byte() % 16);
  const std::string air = in.Rest();

  FrameScanner scanner(OptionsOf(server, start));
  std::vector<std::string> frames;
  std::size_t fed = 0;
  std::size_t at = 0;
  for (std::size_t i = 0; at < air.size(); ++i) {
    const std::size_t n =
        chunkSizes.empty() ? air.size()
                           : 1 + static_cast<std::uint8_t>(chunkSizes[i % chunkSizes.size()]) % 64;
    const std::string_view chunk = std::string_view(air).substr(at, n);
    at += chunk.size();
    if (disturb && i % 5 == 4) {
      if (i % 2 == 0) {
        scanner.Clear();
        fed = 0;
      } else {
        start = kStarts[i % std::size(kStarts)];
        scanner.SetStartString(start);
      }
    }
    scanner.Feed(chunk);
    fed += chunk.size();
    Drain(scanner, server, start, stopAtFrame, frames, fed);
  }
  while (!Drain(scanner, server, start, stopAtFrame, frames, fed)) {
  }

  if (!server && !disturb) {
    // The calculators' rules do not depend on how the bytes arrive.
    FrameScanner whole(OptionsOf(false, firstStart));
    std::vector<std::string> wholeFrames;
    whole.Feed(air);
    Drain(whole, false, firstStart, false, wholeFrames, air.size());
    FUZZ_CHECK(frames == wholeFrames, "other frames when the bytes come in chunks");
  }
  return 0;
}
