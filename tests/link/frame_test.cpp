#include <gtest/gtest.h>

#include "support/bytes.h"

#include "common/constants.h"
#include "common/text.h"
#include "link/frame.h"

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

TEST(FrameTest, ServerAcceptsOnlyItsOwnIntactFrames) {
  const std::string answer = BuildFrame(ServerAddress, KindMenuReply, 4, 1, "\x03");
  EXPECT_EQ(CheckServerFrame(answer), FrameVerdict::Accepted);

  EXPECT_EQ(CheckServerFrame(BuildFrame(BroadcastAddress, KindNothing, 4, 1, "")),
            FrameVerdict::NotForServer);
  EXPECT_EQ(CheckServerFrame(BuildFrame(5, KindNothing, 4, 1, "")), FrameVerdict::NotForServer);

  // Any single corrupted byte after the destination breaks the CRC.
  for (std::size_t i = 1; i < answer.size(); ++i) {
    for (int flip : {0x01, 0x80, 0xFF}) {
      std::string bad = answer;
      bad[i] = static_cast<char>(bad[i] ^ flip);
      EXPECT_EQ(CheckServerFrame(bad), FrameVerdict::CrcMismatch)
          << "byte " << i << " flip " << flip;
    }
  }
}

TEST(FrameTest, KindNamesIgnoreTheContinuationBit) {
  EXPECT_EQ(PacketKindName(KindPoll), "KindPoll");
  EXPECT_EQ(PacketKindName(KindTextScreen | ContinuationBit), "KindTextScreen");
  EXPECT_EQ(PacketKindName(9), "");
}

}  // namespace
}  // namespace velora
