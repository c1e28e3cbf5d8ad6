#include <gtest/gtest.h>

#include "support/bytes.h"

#include "common/constants.h"
#include "common/text.h"
#include "link/frame.h"
#include "link/packets.h"

namespace velora {
namespace {

using testing::Bytes;

TEST(Crc8Test, TableAndCheckValue) {
  EXPECT_EQ(Crc8Table[0], 0x00);
  EXPECT_EQ(Crc8Table[1], 0x5E);
  EXPECT_EQ(Crc8Table[128], 0x8C);
  EXPECT_EQ(Crc8("123456789"), 0xA1);
  std::uint8_t crc = 0;
  for (char c : std::string("123456789"))
    DoCRC8(crc, static_cast<std::uint8_t>(c));
  EXPECT_EQ(crc, 0xA1);
}

TEST(FrameTest, WorkedFramesComeOutByteForByte) {
  EXPECT_EQ(BuildFrame(0, KindInvite, ServerAddress, 1, ""),
            Bytes({0x00, 0x06, 0x06, 0x01, 0x01, 0x42}));
  EXPECT_EQ(BuildFrame(4, KindPoll, ServerAddress, 1, ""),
            Bytes({0x04, 0x06, 0x04, 0x01, 0x01, 0x12}));
  EXPECT_EQ(BuildFrame(5, KindNothing, ServerAddress, 1, ""),
            Bytes({0x05, 0x06, 0x0A, 0x01, 0x01, 0x2B}));
  EXPECT_EQ(BuildFrame(ServerAddress, KindNothing, 4, 1, ""),
            Bytes({0x01, 0x06, 0x0A, 0x04, 0x01, 0xCB}));
  EXPECT_EQ(BuildFrame(ServerAddress, KindRegisterRequest, 255, 1,
                       Bytes({'T', 'i', 'S', 'i', 'm', 0, 0, 0, 0x82, 0, 0, 0, 0})),
            Bytes({0x01, 0x13, 0x00, 0xFF, 0x01, 0x54, 0x69, 0x53, 0x69, 0x6D, 0x00, 0x00, 0x00,
                   0x82, 0x00, 0x00, 0x00, 0x00, 0x54}));
  EXPECT_EQ(BuildFrame(BroadcastAddress, KindRegistered, ServerAddress, 1,
                       Bytes({'T', 'i', 'S', 'i', 'm', 0, 0, 0, 4})),
            Bytes({0xFF, 0x0F, 0x07, 0x01, 0x01, 0x54, 0x69, 0x53, 0x69, 0x6D, 0x00, 0x00, 0x00,
                   0x04, 0x77}));
}

TEST(FrameTest, LengthCountsHeaderDataAndCrc) {
  EXPECT_EQ(BuildFrame(4, KindAck, 1, 1, "").size(), 6u);
  const std::string full = BuildFrame(4, KindTextScreen, 1, 1, std::string(249, 'x'));
  EXPECT_EQ(full.size(), 255u);
  EXPECT_EQ(FrameByte(full, FrameLength), 255);
  EXPECT_EQ(FramePayload(full), std::string(249, 'x'));
  EXPECT_EQ(ReadableBytes(BuildFrame(0, KindInvite, 1, 1, "")), "<0><6><6><1><1>B");
}

TEST(FrameTest, OnlyIntactFramesParse) {
  const std::string answer = BuildFrame(ServerAddress, KindMenuReply, 4, 0x81, "\x03");
  const std::optional<Frame> frame = Frame::Parse(answer);
  ASSERT_TRUE(frame);
  EXPECT_EQ(frame->Bytes(), answer);
  EXPECT_EQ(frame->Destination(), ServerAddress);
  EXPECT_EQ(frame->Kind(), KindMenuReply);
  EXPECT_EQ(frame->Source(), 4);
  EXPECT_EQ(frame->Part(), 0x81);
  EXPECT_EQ(frame->Payload(), "\x03");
  EXPECT_TRUE(Frame::Parse(BuildFrame(BroadcastAddress, KindNothing, 4, 1, "")));

  // Any single corrupted byte after the destination breaks the CRC or the length; so does a cut.
  for (std::size_t i = 1; i < answer.size(); ++i) {
    for (int flip : {0x01, 0x80, 0xFF}) {
      std::string bad = answer;
      bad[i] = static_cast<char>(bad[i] ^ flip);
      EXPECT_FALSE(Frame::Parse(bad)) << "byte " << i << " flip " << flip;
    }
    EXPECT_FALSE(Frame::Parse(answer.substr(0, i)));
  }
  EXPECT_FALSE(Frame::Parse(answer + "x"));
}

TEST(PacketSplitTest, PartsAndLimits) {
  bool truncated = true;
  auto one = SplitIntoPackets(11, std::string(249, 'x'), 249, truncated);
  ASSERT_EQ(one.size(), 1u);
  EXPECT_EQ(one[0].Kind, 11);
  EXPECT_EQ(one[0].Part, 1);
  EXPECT_FALSE(truncated);

  std::string data(250, 'a');
  data.back() = 'z';
  auto two = SplitIntoPackets(11, data, 249, truncated);
  ASSERT_EQ(two.size(), 2u);
  EXPECT_EQ(two[0].Kind, 11);
  EXPECT_EQ(two[0].Part, 2);
  EXPECT_EQ(two[0].Data.size(), 249u);
  EXPECT_EQ(two[1].Kind, 11 | 0x80);
  EXPECT_EQ(two[1].Part, 2);
  EXPECT_EQ(two[1].Data, "z");

  auto empty = SplitIntoPackets(14, "", 10, truncated);
  ASSERT_EQ(empty.size(), 1u);
  EXPECT_EQ(empty[0].Part, 1);
  EXPECT_TRUE(empty[0].Data.empty());

  std::string big;
  for (int i = 0; i < 300; ++i)
    big += static_cast<char>(i);
  auto many = SplitIntoPackets(15, big, 1, truncated);
  EXPECT_TRUE(truncated);
  ASSERT_EQ(many.size(), 255u);
  EXPECT_EQ(many[0].Part, 255);
  EXPECT_EQ(many[254].Part, 255);
  EXPECT_EQ(many[254].Kind, 15 | 0x80);
  EXPECT_EQ(many[254].Data, std::string(1, static_cast<char>(254)));

  auto clamped = SplitIntoPackets(11, std::string(300, 'c'), 0, truncated);
  EXPECT_EQ(clamped.size(), 255u) << "a length below 1 counts as 1";
  auto capped = SplitIntoPackets(11, std::string(300, 'c'), 1000, truncated);
  ASSERT_EQ(capped.size(), 2u) << "no frame carries more than 249 data bytes";
  EXPECT_EQ(capped[0].Data.size(), 249u);
}

TEST(FrameTest, KindNamesIgnoreTheContinuationBit) {
  EXPECT_EQ(PacketKindName(KindPoll), "KindPoll");
  EXPECT_EQ(PacketKindName(KindTextScreen | ContinuationBit), "KindTextScreen");
  EXPECT_EQ(PacketKindName(9), "");
}

}  // namespace
}  // namespace velora
