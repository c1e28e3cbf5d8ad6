// The frame scanner and the reassembler: the same frames whatever the chunking, junk skipped,
// damaged candidates dropped by the chosen resynchronisation rule.
#include "link/frame_scanner.h"

#include <gtest/gtest.h>

#include <random>

#include "link/frame.h"
#include "link/reassembler.h"

namespace velora {
namespace {

using T = FrameScanner::EventType;
using namespace std::string_literals;

const std::string kPoll = BuildFrame(4, KindPoll, 1, 1, "");
const std::string kScreen = BuildFrame(4, KindTextScreen, 1, 1, std::string("Hallo") + '\0');
const std::string kAnswer = BuildFrame(1, KindNothing, 4, 1, "");

FrameScanner::Options Calculator(std::string start = "U") {
  return {.startString = std::move(start)};
}

FrameScanner::Options Server(std::string start = "U") {
  return {.startString = std::move(start),
          .check = FrameScanner::Check::ServerFrame,
          .resync = FrameScanner::Resync::Discard};
}

// Feeds the bytes in chunks of the given sizes (the last size repeats) and collects the frames.
std::vector<std::string> Frames(FrameScanner::Options options, std::string_view bytes,
                                const std::vector<std::size_t>& chunks) {
  FrameScanner scanner(std::move(options));
  std::vector<std::string> frames;
  std::size_t at = 0;
  for (std::size_t i = 0; at < bytes.size(); ++i) {
    const std::size_t n = chunks[std::min(i, chunks.size() - 1)];
    scanner.Feed(bytes.substr(at, n));
    at += n;
    while (auto event = scanner.Next()) {
      if (event->type == T::Frame) frames.push_back(event->bytes);
    }
  }
  return frames;
}

std::vector<std::size_t> RandomChunks(std::uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<std::size_t> sizes(64);
  for (auto& n : sizes)
    n = 1 + rng() % 7;
  return sizes;
}

TEST(FrameScannerTest, SameFramesWholeByteByByteAndInRandomChunks) {
  struct Case {
    const char* what;
    FrameScanner::Options options;
    std::string air;
    std::vector<std::string> frames;
  };
  const std::vector<Case> cases = {
      {"junk before the start string",
       Calculator(),
       "\xFFU" + kPoll + "U" + kScreen,
       {kPoll, kScreen}},
      {"a false start with a plausible length", Calculator(), "U\x01\x09zzU" + kPoll, {kPoll}},
      {"a false start with a length below a header", Calculator(), "U\x01\x03U" + kPoll, {kPoll}},
      {"no start string", Calculator(""), "\x07" + kPoll + kScreen, {kPoll, kScreen}},
      {"a start string of two bytes", Calculator("UU"), "abUU" + kPoll, {kPoll}},
      {"the server takes only its own frames", Server(), "U" + kPoll + "U" + kAnswer, {kAnswer}},
      {"noise with a long length before an answer", Server(), "U\x00\x40U"s + kAnswer, {kAnswer}},
      {"a bad candidate that ends inside an answer",
       Server(),
       "U\x01\x09\x00U"s + kAnswer,
       {kAnswer}},
      {"noise with a long length, no start string", Server(""), "\x07\x40" + kAnswer, {kAnswer}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Frames(c.options, c.air, {c.air.size()}), c.frames) << c.what << ", whole";
    EXPECT_EQ(Frames(c.options, c.air, {1}), c.frames) << c.what << ", byte by byte";
    for (std::uint32_t seed = 1; seed <= 20; ++seed) {
      EXPECT_EQ(Frames(c.options, c.air, RandomChunks(seed)), c.frames) << c.what << ", " << seed;
    }
  }
}

TEST(FrameScannerTest, DamagedFramesAreDroppedAndPartialOnesWaitUntilCleared) {
  FrameScanner scanner(Calculator());
  std::string damaged = "U" + kScreen;
  damaged[8] ^= 0x10;
  scanner.Feed(damaged + ("U" + kPoll).substr(0, 4));
  std::vector<T> types;
  while (auto event = scanner.Next())
    types.push_back(event->type);
  EXPECT_EQ(types,
            (std::vector<T>{T::SearchStart, T::Skipped, T::BadCrc, T::SearchStart, T::Skipped}));
  scanner.Clear();
  scanner.Feed(("U" + kPoll).substr(4));
  while (auto event = scanner.Next())
    EXPECT_NE(event->type, T::Frame) << "the first bytes were forgotten";
}

TEST(FrameScannerTest, TheServerReportsEachStepItLogs) {
  FrameScanner scanner(Server());
  scanner.Feed("xyU\x01\x03" + std::string("abcU") + kPoll + "U" + kAnswer + "U");
  std::vector<std::pair<T, std::string>> events;
  while (auto event = scanner.Next()) {
    events.emplace_back(event->type, event->bytes);
    if (IsCompleteCandidate(event->type)) break;
  }
  const std::string afterFirst = "\x01\x03" + std::string("abcU") + kPoll + "U" + kAnswer + "U";
  ASSERT_EQ(events.size(), 6u);
  EXPECT_EQ(events[1], std::make_pair(T::Skipped, "xy" + std::string("U") + afterFirst));
  EXPECT_EQ(events[2], std::make_pair(T::BadLength, afterFirst));
  EXPECT_EQ(events[4].first, T::Skipped);
  EXPECT_EQ(events[5], std::make_pair(T::NotForServer, kPoll)) << "one candidate at a time";
  EXPECT_EQ(scanner.Buffered(), kPoll + "U" + kAnswer + "U") << "resumed one byte further";
  std::vector<std::pair<T, std::size_t>> rest;
  while (auto event = scanner.Next())
    rest.emplace_back(event->type, event->count);
  EXPECT_EQ(rest, (std::vector<std::pair<T, std::size_t>>{{T::SearchStart, 0},
                                                          {T::Skipped, kPoll.size() + 1},
                                                          {T::Frame, kAnswer.size()},
                                                          {T::SearchStart, 0},
                                                          {T::Skipped, 1}}));
}

// A bogus length byte announces more than ever comes: the intact answer behind it is taken as
// soon as it is complete, and only then, and the junk before it is reported.
TEST(FrameScannerTest, ABogusLengthDoesNotHoldAnAnswerHostage) {
  FrameScanner scanner(Server());
  std::vector<FrameScanner::Event> events;
  const std::string air = "U\x00\x40U"s + kAnswer;
  for (std::size_t i = 0; i < air.size(); ++i) {
    scanner.Feed(air.substr(i, 1));
    while (auto event = scanner.Next()) {
      EXPECT_TRUE(i + 1 == air.size() || event->type == T::SearchStart || event->type == T::Skipped)
          << "nothing is decided before the answer is whole (byte " << i << ")";
      events.push_back(*event);
      if (event->type == T::Frame) break;
    }
  }
  ASSERT_EQ(events.size(), 4u);
  EXPECT_EQ(events[2].type, T::Overtaken);
  EXPECT_EQ(events[2].bytes, "\x00\x40U"s);
  EXPECT_EQ(events[2].count, 3u);
  EXPECT_EQ(events[3].type, T::Frame);
  EXPECT_EQ(events[3].bytes, kAnswer);

  // A frame for someone else, or a damaged one, is no reason to give up the candidate.
  std::string damaged = kAnswer;
  damaged[3] ^= 0x01;
  for (const std::string& later : {kPoll, damaged}) {
    FrameScanner waiting(Server());
    waiting.Feed("U\x00\x40U"s + later);
    while (auto event = waiting.Next())
      EXPECT_TRUE(event->type == T::SearchStart || event->type == T::Skipped);
    EXPECT_EQ(waiting.Buffered(), "\x00\x40U"s + later);
  }
}

TEST(ReassemblerTest, PartsInOrderMakeTheWholeAndStrayPartsAreIgnored) {
  Reassembler r;
  EXPECT_EQ(r.Take(KindInputReply, 1, "single"), "single");
  EXPECT_EQ(r.Take(KindInputReply, 0, "part 0 counts as single"), "part 0 counts as single");
  EXPECT_FALSE(r.Take(KindInputReply | ContinuationBit, 2, "x")) << "no transfer running";
  EXPECT_FALSE(r.Take(KindInputReply, 3, "ab"));
  EXPECT_FALSE(r.Take(KindInputReply | ContinuationBit, 3, "??")) << "out of order";
  EXPECT_FALSE(r.Take(KindInputReply | ContinuationBit, 2, "cd"));
  EXPECT_FALSE(r.Take(KindInputReply | ContinuationBit, 2, "cd")) << "a repeat";
  EXPECT_EQ(r.Take(KindInputReply | ContinuationBit, 3, "ef"), "abcdef");
  EXPECT_FALSE(r.Take(KindInputReply | ContinuationBit, 3, "ef")) << "finished transfers stay so";
  EXPECT_FALSE(r.Take(KindInputReply, 2, "new"));
  EXPECT_EQ(r.Take(KindInputReply | ContinuationBit, 2, "er"), "newer");
}

}  // namespace
}  // namespace velora
