// The server's modem on the virtual radio as a serial port.
#include "platform/virtual/virtual_serial_port.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/radio_test_station.h"
#include "platform/virtual/virtual_time.h"

namespace velora {
namespace {

using testing::RadioTestStation;

class VirtualSerialPortTest : public ::testing::Test {
 protected:
  VirtualSerialPortTest() {
    std::string error;
    EXPECT_TRUE(port.Open(error));
    port.SetReceivedHandler([this] { reads.push_back(port.ReadAll()); });
    port.SetTxEmptyHandler([this] { txEmptyAtUs.push_back(time.NowUs()); });
  }

  VirtualTime time;
  VirtualRadio radio{time};
  ServerSettings settings;
  VirtualSerialPort port{radio, settings};
  RadioTestStation station{radio, "calculator"};
  std::vector<std::string> reads;
  std::vector<std::int64_t> txEmptyAtUs;
};

TEST_F(VirtualSerialPortTest, TheTransmitterFollowsDtrWithTheConfiguredPolarity) {
  EXPECT_TRUE(port.IsVirtualRadio());
  EXPECT_TRUE(port.IsOpen());
  EXPECT_TRUE(port.Dtr());  // opened at the receive level
  EXPECT_FALSE(port.TransmitterOn());
  port.SetDtr(false);
  EXPECT_TRUE(port.TransmitterOn());

  settings.TxenHighIsDtrFalse = false;
  port.SetDtr(false);
  EXPECT_FALSE(port.TransmitterOn());
  port.SetDtr(true);
  EXPECT_TRUE(port.TransmitterOn());

  port.Close();
  std::string error;
  port.Open(error);
  EXPECT_FALSE(port.Dtr());
  EXPECT_FALSE(port.TransmitterOn());
}

TEST_F(VirtualSerialPortTest, WritesReachTheAirOnlyWithTheTransmitterOn) {
  port.Write("off");
  time.RunFor(5000);
  port.SetDtr(false);
  port.Write("on");
  time.RunFor(5000);
  EXPECT_EQ(station.heard, "on");
  ASSERT_EQ(txEmptyAtUs.size(), 2u);
  EXPECT_EQ(txEmptyAtUs[0], BurstTimeUs(3));
  EXPECT_EQ(txEmptyAtUs[1], 5000 + BurstTimeUs(2));
  EXPECT_TRUE(reads.empty());  // never hears itself
}

TEST_F(VirtualSerialPortTest, HeardBytesAreAnnouncedInBatches) {
  port.SetReceiveLatencyUs(1500);
  station.TransmitAt(0, "abcdef");
  time.RunFor(20'000);
  // First byte at 521 us, announced at 2021 us with the bytes heard by then; and so on.
  ASSERT_EQ(reads.size(), 2u);
  EXPECT_EQ(reads[0], "abc");
  EXPECT_EQ(reads[1], "def");
}

TEST_F(VirtualSerialPortTest, BytesWaitInThePortWhileNoHandlerIsAttached) {
  port.SetReceivedHandler({});
  station.TransmitAt(0, "abc");
  time.RunFor(20'000);
  port.SetReceivedHandler([this] { reads.push_back(port.ReadAll()); });
  EXPECT_TRUE(reads.empty());
  station.TransmitAt(time.NowUs(), "d");
  time.RunFor(20'000);
  ASSERT_EQ(reads.size(), 1u);
  EXPECT_EQ(reads[0], "abcd");
}

TEST_F(VirtualSerialPortTest, AClosedPortNeitherSendsNorHears) {
  port.Close();
  EXPECT_FALSE(port.IsOpen());
  EXPECT_EQ(radio.StationCount(), 1u);
  port.SetDtr(false);
  port.Write("lost");
  station.TransmitAt(0, "unheard");
  time.RunFor(20'000);
  EXPECT_TRUE(station.heard.empty());
  EXPECT_TRUE(reads.empty());
  EXPECT_EQ(port.ReadAll(), "");

  port.SetPortNumber(3);
  EXPECT_EQ(port.PortNumber(), 3);
}

}  // namespace
}  // namespace velora
