// Ears and sleeping modems on the virtual radio: an ear hears every byte first and as radiated,
// a sleeping modem hears nothing byte by byte, and one an ear wakes hears the byte at hand.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "platform/radio_test_station.h"
#include "platform/virtual/virtual_radio.h"
#include "platform/virtual/virtual_time.h"

namespace velora {
namespace {

using testing::RadioTestStation;

// Writes each byte it hears into a log shared with others, so that order shows.
class Ear : public RadioStation {
 public:
  Ear(VirtualRadio& radio, std::string& log) : modem(radio.AttachEar(*this, "ear")), log_(log) {}
  void ByteHeard(std::uint8_t byte) override {
    log_ += "E";
    log_ += static_cast<char>(byte);
    if (onByte) onByte(byte);
  }
  std::unique_ptr<RadioModem> modem;
  std::function<void(std::uint8_t)> onByte;

 private:
  std::string& log_;
};

class RadioEarTest : public ::testing::Test {
 protected:
  VirtualTime time;
  VirtualRadio radio{time};
  RadioTestStation a{radio, "a"};
  RadioTestStation b{radio, "b"};
};

TEST_F(RadioEarTest, AnEarHearsEveryByteBeforeTheModemsAndUntouchedByNoise) {
  std::string log;
  RadioTestStation c(radio, "c");
  Ear ear(radio, log);
  radio.SetNoise(RadioNoise{0.05, 0.3, 9});
  a.TransmitAt(0, std::string(200, 'x'));
  time.RunFor(200'000);
  EXPECT_EQ(log, [] {
    std::string all;
    for (int i = 0; i < 200; ++i)
      all += "Ex";
    return all;
  }());
  EXPECT_LT(c.heard.size(), 200u) << "the modems do hear the noise";
  EXPECT_EQ(radio.StationCount(), 4u);
}

TEST_F(RadioEarTest, AnEarNeverTransmits) {
  std::string log;
  Ear ear(radio, log);
  ear.modem->SetTransmitter(true);
  ear.modem->Queue("xyz");
  ear.modem->Sleep();
  EXPECT_FALSE(ear.modem->TransmitterOn());
  EXPECT_FALSE(ear.modem->Sleeping());
  time.RunFor(10'000);
  EXPECT_TRUE(a.heard.empty());
  EXPECT_EQ(time.PendingTasks(), 0u);
}

TEST_F(RadioEarTest, ASleepingModemHearsNothingUntilWoken) {
  b.modem->Sleep();
  EXPECT_TRUE(b.modem->Sleeping());
  a.TransmitAt(0, "abc");
  time.RunFor(5'000);
  EXPECT_TRUE(b.heard.empty());
  b.modem->Wake();
  a.TransmitAt(time.NowUs(), "de");
  time.RunFor(5'000);
  EXPECT_EQ(b.heard, "de");
}

TEST_F(RadioEarTest, AModemAnEarWakesHearsTheByteAtHandAfterTheEar) {
  std::string log;
  Ear ear(radio, log);
  b.modem->Sleep();
  ear.onByte = [&](std::uint8_t byte) {
    if (byte == 'c') b.modem->Wake();
    if (byte == 'e') b.modem->Sleep();  // back to sleep before this byte's round
  };
  a.TransmitAt(0, "abcdefg");
  time.RunFor(10'000);
  EXPECT_EQ(b.heard, "cd");
  EXPECT_EQ(a.txEmptyAtUs.size(), 1u);
}

TEST_F(RadioEarTest, SleepersLeavingAndModemsArrivingWhileABurstIsOnTheAir) {
  std::string log;
  Ear ear(radio, log);
  auto late = std::make_unique<RadioTestStation>(radio, "late");
  late->modem->Sleep();
  a.TransmitAt(0, "0123456789");
  std::unique_ptr<RadioTestStation> newcomer;
  time.ScheduleAfter(1'200, [&] { late.reset(); });
  time.ScheduleAfter(2'200, [&] { newcomer = std::make_unique<RadioTestStation>(radio, "new"); });
  time.RunFor(10'000);
  EXPECT_EQ(b.heard, "0123456789");
  ASSERT_NE(newcomer, nullptr);
  EXPECT_EQ(newcomer->heard, "456789") << "from the first byte that ends after it came";
  EXPECT_EQ(radio.StationCount(), 4u);
}

}  // namespace
}  // namespace velora
