#include "sim/frame_cutter.h"

#include <gtest/gtest.h>

#include "link/frame.h"

namespace velora {
namespace {

const std::string kPoll = BuildFrame(4, KindPoll, 1, 1, "");
const std::string kScreen = BuildFrame(4, KindTextScreen, 1, 1, std::string("Hallo") + '\0');

TEST(FrameCutterTest, SameFramesWholeOrByteByByte) {
  const std::string air = "\xFFU" + kPoll + "U" + kScreen;
  FrameCutter whole;
  EXPECT_EQ(whole.Take(air, "U"), (std::vector<std::string>{"U" + kPoll, "U" + kScreen}));
  FrameCutter bytewise;
  std::vector<std::string> frames;
  for (char c : air) {
    for (auto& f : bytewise.Take(std::string(1, c), "U"))
      frames.push_back(f);
  }
  EXPECT_EQ(frames, (std::vector<std::string>{"U" + kPoll, "U" + kScreen}));
}

TEST(FrameCutterTest, AFalseStartDoesNotSwallowTheFrameAfterIt) {
  // A 'U' in noise followed by a plausible length: its CRC fails and the real frame is found.
  FrameCutter cutter;
  EXPECT_EQ(cutter.Take("U\x01\x09zz"
                        "U" +
                            kPoll,
                        "U"),
            (std::vector<std::string>{"U" + kPoll}));
  EXPECT_EQ(cutter.Take("U\x01\x03"
                        "U" +
                            kPoll,
                        "U"),
            (std::vector<std::string>{"U" + kPoll}))
      << "a length below a header";
}

TEST(FrameCutterTest, DamagedFramesAreDroppedAndPartialOnesWait) {
  FrameCutter cutter;
  std::string damaged = "U" + kScreen;
  damaged[8] ^= 0x10;
  EXPECT_TRUE(cutter.Take(damaged, "U").empty());
  EXPECT_TRUE(cutter.Take(("U" + kPoll).substr(0, 4), "U").empty());
  EXPECT_EQ(cutter.Take(("U" + kPoll).substr(4), "U"), (std::vector<std::string>{"U" + kPoll}));
  cutter.Take(("U" + kPoll).substr(0, 4), "U");
  cutter.Clear();
  EXPECT_TRUE(cutter.Take(("U" + kPoll).substr(4), "U").empty()) << "cleared after a silence";
}

TEST(FrameCutterTest, WithoutStartStringTheStreamResynchronises) {
  FrameCutter cutter;
  EXPECT_EQ(cutter.Take("\x07" + kPoll + kScreen, ""), (std::vector<std::string>{kPoll, kScreen}));
  EXPECT_EQ(cutter.Take("ab" + std::string("UU") + kPoll, "UU"),
            (std::vector<std::string>{"UU" + kPoll}));
}

}  // namespace
}  // namespace velora
