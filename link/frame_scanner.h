// Finds the frames in a stream of received bytes: after the start string (when one is used) the
// length byte says where a frame ends. Bytes go in, events come out; the scanner does no I/O and
// writes no log, so the serial line, the simulated calculators and the listeners in the tests
// all cut frames by the same rules.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "link/frame.h"

namespace velora {

class FrameScanner {
 public:
  // What makes a complete candidate a frame: a good CRC, or also the server as its destination.
  enum class Check { Crc, ServerFrame };
  // After a candidate that was no frame the search goes on one byte after where it began, so a
  // frame hidden behind junk is still found. Without a start string a bad length byte leaves
  // nothing to resynchronise on: the next byte may begin a frame (NextByte), or the whole buffer
  // is given up (Discard, the server's rule).
  enum class Resync { NextByte, Discard };

  struct Options {
    std::string startString;  // empty: every byte may begin a frame
    Check check = Check::Crc;
    Resync resync = Resync::NextByte;
  };

  enum class EventType {
    SearchStart,   // a search for the start string begins
    Emptied,       // no start string in the buffer: `bytes` were discarded
    Skipped,       // `count` bytes up to and including the start string were removed from `bytes`
    BadLength,     // the length byte of the candidate in `bytes` is below a frame's minimum
    Frame,         // an intact frame in `bytes`, without start string
    NotForServer,  // a complete candidate for another destination
    BadCrc,        // a complete candidate whose CRC does not match
    // An incomplete candidate was given up because an intact frame for the server begins later
    // in the buffer: the `count` bytes before that frame were discarded. The frame comes next.
    Overtaken,
  };
  struct Event {
    Event(EventType t, std::string b = {}, std::size_t c = 0)
        : type(t), bytes(std::move(b)), count(c) {}
    EventType type;
    std::string bytes;
    std::size_t count = 0;
    std::optional<Frame> frame;  // of a Frame event
  };

  explicit FrameScanner(Options options);

  void Feed(std::string_view bytes);
  // The next event, or nothing until more bytes arrive.
  std::optional<Event> Next();
  // Forgets everything received (a switch to receive, a silence on the air).
  void Clear();
  // Takes effect at the next search.
  void SetStartString(std::string_view start);

  bool Empty() const { return buffer_.empty(); }
  // The bytes not yet taken as frames or discarded.
  const std::string& Buffered() const { return buffer_; }

 private:
  std::optional<Event> Search();
  std::optional<Event> Candidate(std::size_t length);
  std::optional<Event> Overtake();
  bool Intact(std::string_view bytes) const;
  void Resynchronise();

  Options options_;
  std::string buffer_;
  bool startFound_ = false;
  bool searchDue_ = false;  // bytes arrived (or a candidate failed) since the last search
  bool announced_ = false;  // SearchStart of the current search has been told
};

// True for the events after which a candidate has been decided: a frame or a complete one dropped.
bool IsCompleteCandidate(FrameScanner::EventType type);

}  // namespace velora
