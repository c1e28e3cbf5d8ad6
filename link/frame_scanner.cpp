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
  if (buffer_.size() < length) return std::nullopt;
  return Candidate(length);
}

FrameScanner::Event FrameScanner::Candidate(std::size_t length) {
  std::string frame = buffer_.substr(0, length);
  startFound_ = false;
  searchDue_ = true;
  const bool crcGood =
      Crc8(std::string_view(frame).substr(0, length - 1)) == FrameByte(frame, length - 1);
  EventType type = EventType::Frame;
  if (options_.check == Check::ServerFrame && FrameByte(frame, FrameDestination) != ServerAddress) {
    type = EventType::NotForServer;
  } else if (!crcGood) {
    type = EventType::BadCrc;
  }
  if (type == EventType::Frame) {
    buffer_.erase(0, length);
  } else {
    Resynchronise(length);
  }
  return Event{type, std::move(frame), length};
}

void FrameScanner::Resynchronise(std::size_t length) {
  if (options_.resync == Resync::AfterCandidate) {
    buffer_.erase(0, length);
  } else if (options_.startString.empty()) {
    buffer_.erase(0, 1);
  }
  // With a start string, the next search begins at the candidate's first byte.
}

bool IsCompleteCandidate(FrameScanner::EventType type) {
  using T = FrameScanner::EventType;
  return type == T::Frame || type == T::NotForServer || type == T::BadCrc;
}

}  // namespace velora
