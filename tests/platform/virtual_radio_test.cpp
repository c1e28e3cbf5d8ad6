// The virtual radio: timing on the air, the transmitter, half duplex, collisions and noise.
#include "platform/virtual/virtual_radio.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/radio_test_station.h"
#include "platform/virtual/virtual_time.h"

namespace velora {
namespace {

using testing::RadioTestStation;

class VirtualRadioTest : public ::testing::Test {
 protected:
  VirtualTime time;
  VirtualRadio radio{time};
  RadioTestStation a{radio, "a"};
  RadioTestStation b{radio, "b"};
  RadioTestStation c{radio, "c"};
};

TEST(BurstTimeTest, TenBitsAByteAt19200BaudWithoutDrift) {
  EXPECT_EQ(BurstTimeUs(1), 521);
  EXPECT_EQ(BurstTimeUs(3), 1563);
  EXPECT_EQ(BurstTimeUs(8), 4167);
  EXPECT_EQ(BurstTimeUs(19200), 10'000'000);
}

TEST_F(VirtualRadioTest, BytesArriveOneByteTimeApartAndTransmitEmptyFollowsTheLast) {
  a.TransmitAt(1000, "abc");
  time.RunFor(10'000);
  EXPECT_EQ(b.heard, "abc");
  EXPECT_EQ(c.heard, "abc");
  ASSERT_EQ(b.heardAtUs.size(), 3u);
  EXPECT_EQ(b.heardAtUs[0], 1000 + BurstTimeUs(1));
  EXPECT_EQ(b.heardAtUs[1], 1000 + BurstTimeUs(2));
  EXPECT_EQ(b.heardAtUs[2], 1000 + BurstTimeUs(3));
  ASSERT_EQ(a.txEmptyAtUs.size(), 1u);
  EXPECT_EQ(a.txEmptyAtUs[0], 1000 + BurstTimeUs(3));
  EXPECT_EQ(radio.stats().bytesOnAir, 3u);
}

TEST_F(VirtualRadioTest, ALongBurstKeepsTheLineRate) {
  a.TransmitAt(0, std::string(19200, 'x'));
  time.RunFor(20'000'000);
  ASSERT_EQ(a.txEmptyAtUs.size(), 1u);
  EXPECT_EQ(a.txEmptyAtUs[0], 10'000'000);
  EXPECT_EQ(b.heard.size(), 19200u);
}

TEST_F(VirtualRadioTest, BytesWrittenWithTheTransmitterOffNeverReachTheAir) {
  a.modem->Queue("hello");
  EXPECT_EQ(a.modem->QueuedBytes(), 5u);
  time.RunFor(10'000);
  EXPECT_TRUE(b.heard.empty());
  EXPECT_TRUE(c.heard.empty());
  EXPECT_EQ(radio.stats().silentBytes, 5u);
  EXPECT_EQ(a.modem->QueuedBytes(), 0u);
  // The modem still clocks them out at the line rate.
  ASSERT_EQ(a.txEmptyAtUs.size(), 1u);
  EXPECT_EQ(a.txEmptyAtUs[0], BurstTimeUs(5));
}

TEST_F(VirtualRadioTest, AModemHearsNeitherItselfNorOthersWhileTransmitting) {
  b.modem->SetTransmitter(true);  // keyed but silent
  a.TransmitAt(0, "ping");
  time.RunFor(10'000);
  EXPECT_TRUE(a.heard.empty());
  EXPECT_TRUE(b.heard.empty());
  EXPECT_EQ(c.heard, "ping");
}

TEST_F(VirtualRadioTest, SwitchingTheTransmitterOffCutsTheByteOnTheLine) {
  a.releaseWhenEmpty = false;
  a.TransmitAt(0, "0123456789");
  time.ScheduleAfter(2700, [&] { a.modem->SetTransmitter(false); });  // during the sixth byte
  time.RunFor(10'000);
  EXPECT_EQ(b.heard, "01234");
  EXPECT_EQ(radio.stats().cutBytes, 1u);
  EXPECT_EQ(radio.stats().silentBytes, 4u);
}

TEST_F(VirtualRadioTest, SwitchingOffExactlyWhenTheLastByteEndsLosesNothing) {
  a.releaseWhenEmpty = false;
  a.TransmitAt(0, "abcd");
  time.ScheduleAfter(BurstTimeUs(4), [&] { a.modem->SetTransmitter(false); });
  time.RunFor(10'000);
  EXPECT_EQ(b.heard, "abcd");
  EXPECT_EQ(radio.stats().cutBytes, 0u);
}

TEST_F(VirtualRadioTest, AReceiverThatKeysUpDuringAByteMissesIt) {
  a.TransmitAt(0, "abc");
  time.ScheduleAfter(700, [&] { b.modem->SetTransmitter(true); });    // during "b"
  time.ScheduleAfter(1000, [&] { b.modem->SetTransmitter(false); });  // still during "b"
  time.RunFor(10'000);
  EXPECT_EQ(b.heard, "ac");
  EXPECT_EQ(c.heard, "abc");
}

TEST_F(VirtualRadioTest, OverlappingTransmissionsGarbleEachOther) {
  a.TransmitAt(0, "hello");
  b.TransmitAt(1300, "world");  // starts during a's third byte
  time.RunFor(20'000);
  // Heard in order of their ends: a's first two bytes alone on the air, then a's last three and
  // b's first three overlapping, then b's last two alone again.
  ASSERT_EQ(c.heard.size(), 10u);
  EXPECT_EQ(c.heard.substr(0, 2), "he");
  EXPECT_EQ(c.heard.substr(8), "ld");
  const std::string originals = "lwloor";  // a2 b0 a3 b1 a4 b2
  for (std::size_t i = 0; i < 6; ++i)
    EXPECT_NE(c.heard[2 + i], originals[i]) << i;
  EXPECT_EQ(radio.stats().garbledBytes, 6u);
}

TEST_F(VirtualRadioTest, IdenticalBytesColliding) {
  a.TransmitAt(0, "UUUU");
  b.TransmitAt(0, "UUUU");
  time.RunFor(10'000);
  ASSERT_EQ(c.heard.size(), 8u);
  EXPECT_EQ(c.heard.find('U'), std::string::npos);
}

TEST_F(VirtualRadioTest, OneAfterTheOtherIsClean) {
  a.TransmitAt(0, "ab");
  b.TransmitAt(BurstTimeUs(2), "cd");
  time.RunFor(10'000);
  EXPECT_EQ(c.heard, "abcd");
  EXPECT_EQ(radio.stats().garbledBytes, 0u);
}

TEST_F(VirtualRadioTest, AStationMayLeaveWhileBytesAreDelivered) {
  struct Leaving : RadioStation {
    std::unique_ptr<RadioModem> modem;
    int heard = 0;
    void ByteHeard(std::uint8_t) override {
      ++heard;
      modem.reset();
    }
  } leaving;
  leaving.modem = radio.Attach(leaving, "leaving");
  a.TransmitAt(0, "xyz");
  time.RunFor(10'000);
  EXPECT_EQ(leaving.heard, 1);
  EXPECT_EQ(c.heard, "xyz");
  EXPECT_EQ(radio.StationCount(), 3u);
}

TEST_F(VirtualRadioTest, ASendersOwnModemMayGoMidBurst) {
  a.TransmitAt(0, "abcdef");
  time.ScheduleAfter(1200, [&] { a.modem.reset(); });
  time.RunFor(10'000);
  EXPECT_EQ(b.heard, "ab");
  EXPECT_EQ(time.PendingTasks(), 0u);
}

// Sends n bytes from a to b and c with the given noise; returns what b heard.
std::string NoisyRun(const RadioNoise& noise, std::size_t n, VirtualRadio::Stats* stats = nullptr) {
  VirtualTime time;
  VirtualRadio radio(time);
  radio.SetNoise(noise);
  RadioTestStation a(radio, "a");
  RadioTestStation b(radio, "b");
  a.TransmitAt(0, std::string(n, '\0'));
  time.RunFor(static_cast<std::int64_t>(n) * 1000);
  if (stats != nullptr) *stats = radio.stats();
  return b.heard;
}

TEST(VirtualRadioNoiseTest, FixedSeedGivesTheSameDisturbanceEveryRun) {
  const RadioNoise noise{0.01, 0.02, 42};
  const std::string first = NoisyRun(noise, 4000);
  EXPECT_EQ(NoisyRun(noise, 4000), first);
  EXPECT_NE(NoisyRun(RadioNoise{0.01, 0.02, 43}, 4000), first);
  EXPECT_LT(first.size(), 4000u);
}

TEST(VirtualRadioNoiseTest, RatesMatchTheSettings) {
  VirtualRadio::Stats stats;
  const std::string heard = NoisyRun(RadioNoise{0.01, 0.05, 7}, 10'000, &stats);
  // 10000 bytes: about 500 lost, and about 1% of the 76000 bits left flipped.
  EXPECT_GT(stats.lostBytes, 400u);
  EXPECT_LT(stats.lostBytes, 600u);
  EXPECT_EQ(heard.size(), 10'000u - stats.lostBytes);
  EXPECT_GT(stats.flippedBits, 600u);
  EXPECT_LT(stats.flippedBits, 920u);
  std::uint64_t ones = 0;
  for (char ch : heard)
    ones += static_cast<std::uint64_t>(__builtin_popcount(static_cast<unsigned char>(ch)));
  EXPECT_EQ(ones, stats.flippedBits);  // all bytes sent were 0
}

TEST(VirtualRadioNoiseTest, NoNoiseUnlessSwitchedOn) {
  VirtualRadio::Stats stats;
  EXPECT_EQ(NoisyRun(RadioNoise{}, 2000, &stats), std::string(2000, '\0'));
  EXPECT_EQ(stats.lostBytes + stats.flippedBits, 0u);
}

TEST(VirtualRadioLifetimeTest, ModemsOutlivingTheRadioAreHarmless) {
  VirtualTime time;
  auto radio = std::make_unique<VirtualRadio>(time);
  RadioTestStation a(*radio, "a");
  a.TransmitAt(0, "abc");
  time.RunFor(600);
  radio.reset();
  EXPECT_EQ(time.PendingTasks(), 0u);
  a.modem->SetTransmitter(false);
  a.modem->Queue("more");
  EXPECT_EQ(time.PendingTasks(), 0u);
}

}  // namespace
}  // namespace velora
