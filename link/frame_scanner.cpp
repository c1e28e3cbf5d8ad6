// The frame scanner.
#include "link/frame_scanner.h"

#include <algorithm>

#include "link/frame.h"

namespace velora {

FrameScanner::FrameScanner(Options options) : options_(std::move(options)) {}

void FrameScanner::Feed(std::string_view bytes) {
  buffer_ += bytes;
  searchDue_ = true;
}

void FrameScanner::Clear() {
  buffer_.clear();
  startFound_ = false;
  searchDue_ = false;
  announced_ = false;
}

void FrameScanner::SetStartString(std::string_view start) {
  if (options_.startString == start) return;
  options_.startString = std::string(start);
  startFound_ = false;
  searchDue_ = true;
}

std::optional<FrameScanner::Event> FrameScanner::Search() {
  if (!searchDue_) return std::nullopt;
  if (!announced_) {
    announced_ = true;
    return Event{EventType::SearchStart, {}};
  }
  announced_ = false;
  const std::string& start = options_.startString;
  const std::size_t pos = buffer_.find(start);
  if (pos == std::string::npos) {
    Event emptied{EventType::Emptied, buffer_, buffer_.size()};
    // What could be the beginning of a longer start string stays.
    const std::size_t keep = std::min(buffer_.size(), start.size() - 1);
    buffer_.erase(0, buffer_.size() - keep);
    searchDue_ = false;
    return emptied;
  }
  const std::size_t cut = pos + start.size();
  Event skipped{EventType::Skipped, buffer_, cut};
  buffer_.erase(0, cut);
  startFound_ = true;
  return skipped;
}

std::optional<FrameScanner::Event> FrameScanner::Next() {
  const bool usesStart = !options_.startString.empty();
  if (usesStart && !startFound_) return Search();
  if (buffer_.size() < FrameOverhead) return std::nullopt;
  const std::size_t length = FrameByte(buffer_, FrameLength);
  if (length < FrameOverhead) {
    Event bad{EventType::BadLength, buffer_};
    startFound_ = false;
    if (usesStart) {
      searchDue_ = true;  // from the byte after the start string on
    } else if (options_.resync == Resync::NextByte) {
      buffer_.erase(0, 1);
    } else {
      buffer_.clear();  // no start string to find the next candidate by
    }
    return bad;
  }
  if (buffer_.size() < length) return Overtake();
  return Candidate(length);
}

std::optional<FrameScanner::Event> FrameScanner::Candidate(std::size_t length) {
  startFound_ = false;
  searchDue_ = true;
  // Built in place and returned by name: a frame is copied once into its event.
  std::optional<Event> event(std::in_place, EventType::Frame, buffer_.substr(0, length), length);
  const std::string& frame = event->bytes;
  if (options_.check == Check::ServerFrame && FrameByte(frame, FrameDestination) != ServerAddress) {
    event->type = EventType::NotForServer;
  } else if (Crc8(std::string_view(frame).substr(0, length - 1)) != FrameByte(frame, length - 1)) {
    event->type = EventType::BadCrc;
  }
  if (event->type != EventType::Frame) {
    Resynchronise();
    return event;
  }
  buffer_.erase(0, length);
  event->frame = Frame(frame);
  return event;
}

void FrameScanner::Resynchronise() {
  const std::string& start = options_.startString;
  if (start.empty()) {
    buffer_.erase(0, 1);
    return;
  }
  // The next search begins at the candidate's first byte. Without a start string in the buffer
  // it could only discard, so the bytes wait for the next ones and are searched with them.
  searchDue_ = buffer_.find(start) != std::string::npos;
}

std::optional<FrameScanner::Event> FrameScanner::Overtake() {
  // Only frames for the server are taken on sight: one of any destination would now and then
  // turn up by chance in the text of a long screen.
  if (options_.check != Check::ServerFrame) return std::nullopt;
  const std::string& start = options_.startString;
  const std::string_view buffer(buffer_);
  for (std::size_t at = std::max<std::size_t>(1, start.size()); at + FrameOverhead <= buffer.size();
       ++at) {
    if (buffer.substr(at - start.size(), start.size()) != start || !Intact(buffer.substr(at))) {
      continue;
    }
    Event overtaken{EventType::Overtaken, buffer_.substr(0, at), at};
    buffer_.erase(0, at);
    return overtaken;
  }
  return std::nullopt;
}

bool FrameScanner::Intact(std::string_view bytes) const {
  const std::size_t length = FrameByte(bytes, FrameLength);
  if (length < FrameOverhead || length > bytes.size()) return false;
  if (options_.check == Check::ServerFrame && FrameByte(bytes, FrameDestination) != ServerAddress) {
    return false;
  }
  return Crc8(bytes.substr(0, length - 1)) == FrameByte(bytes, length - 1);
}

bool IsCompleteCandidate(FrameScanner::EventType type) {
  using T = FrameScanner::EventType;
  return type == T::Frame || type == T::NotForServer || type == T::BadCrc;
}

}  // namespace velora
