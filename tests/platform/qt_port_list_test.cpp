// Port numbers of the serial devices.
#include "platform/qt/qt_port_list.h"

#include <gtest/gtest.h>

#include "platform/qt_test_support.h"

namespace velora {
namespace {

TEST(PortListTest, FamiliesInAFixedOrderAndNumbersInNumericOrder) {
  const std::vector<std::string> ordered =
      OrderSerialDevices({"/dev/ttyUSB10", "/dev/ttyACM0", "/dev/ttyS1", "/dev/ttyUSB2",
                          "/dev/rfcomm0", "/dev/ttyAMA0", "/dev/ttyS0", "/dev/ttyUSB2"});
  const std::vector<std::string> expected{"/dev/ttyS0",    "/dev/ttyS1",   "/dev/ttyUSB2",
                                          "/dev/ttyUSB10", "/dev/ttyACM0", "/dev/rfcomm0",
                                          "/dev/ttyAMA0"};
  EXPECT_EQ(ordered, expected);
}

TEST(PortListTest, AtMostNinePortsEachLabelledWithItsDigitInTheFourthPlace) {
  std::vector<std::string> devices;
  for (int i = 11; i >= 0; --i)
    devices.push_back("/dev/ttyUSB" + std::to_string(i));
  const std::vector<SerialPortEntry> entries = NumberSerialDevices(devices);
  ASSERT_EQ(entries.size(), 9u);
  EXPECT_EQ(entries[0].number, 1);
  EXPECT_EQ(entries[0].device, "/dev/ttyUSB0");
  EXPECT_EQ(entries[0].label, "COM1 (/dev/ttyUSB0)");
  EXPECT_EQ(entries[8].label, "COM9 (/dev/ttyUSB8)");
  for (const SerialPortEntry& entry : entries)
    EXPECT_EQ(entry.label[3], static_cast<char>('0' + entry.number));
  EXPECT_TRUE(NumberSerialDevices({}).empty());
}

TEST(PortListTest, TheSystemListAgreesWithTheNumberLookUp) {
  testing::TestApp();
  for (const SerialPortEntry& entry : ListSerialPorts())
    EXPECT_EQ(DeviceForPortNumber(entry.number), entry.device);
  EXPECT_EQ(DeviceForPortNumber(0), "");
  EXPECT_EQ(DeviceForPortNumber(MaxPortNumber + 1), "");
}

}  // namespace
}  // namespace velora
