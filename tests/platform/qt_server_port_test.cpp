// The server's port: port number 0 opens the real-time virtual radio, any path a device.
#include "platform/qt/qt_server_port.h"

#include <gtest/gtest.h>

#include <QTest>
#include <string>
#include <vector>

#include "link/frame.h"
#include "link/serial_line.h"
#include "platform/qt_test_support.h"
#include "platform/radio_test_station.h"

namespace velora {
namespace {

TEST(QtServerPortTest, PortZeroIsAWorkingVirtualRadio) {
  testing::TestApp();
  ServerSettings settings;
  settings.ComPort = 0;
  QtServerPort port(settings);
  port.SetPortNumber(settings.ComPort);
  EXPECT_TRUE(port.IsVirtualRadio());
  testing::RadioTestStation calculator(port.Radio(), "calculator");

  testing::QtLine rig{port, settings};
  SerialLine& line = rig.line;
  std::string error;
  ASSERT_TRUE(port.Open(error)) << error;

  // The server polls, the calculator hears it and answers on the air.
  line.TXENSend();
  line.SendPacket(4, KindPoll, "", 1);
  line.TXENReceive();
  const std::string poll = BuildFrame(4, KindPoll, ServerAddress, 1, "");
  EXPECT_TRUE(QTest::qWaitFor([&] { return calculator.heard.size() >= 8; }, 2000));
  EXPECT_EQ(calculator.heard, "\xFFU" + poll);

  const std::string answer = BuildFrame(ServerAddress, KindNothing, 4, 1, "");
  calculator.TransmitAt(port.Radio().scheduler().NowUs() + 1000, "U" + answer);
  const std::optional<Frame> frame = line.ReceivePacket(500);
  ASSERT_TRUE(frame);
  EXPECT_EQ(frame->Bytes(), answer);
}

TEST(QtServerPortTest, ANumberOrAPathSelectsADevice) {
  testing::TestApp();
  ServerSettings settings;
  QtServerPort port(settings);
  std::vector<std::string> notes;
  port.SetNoteHandler([&](std::string_view note) { notes.emplace_back(note); });
  port.SetPortNumber(3);
  EXPECT_FALSE(port.IsVirtualRadio());
  EXPECT_EQ(port.PortNumber(), 3);

  testing::PtyPair pty;
  port.SetDevicePath(pty.SlavePath());
  EXPECT_FALSE(port.IsVirtualRadio());
  std::string error;
  ASSERT_TRUE(port.Open(error)) << error;
  EXPECT_TRUE(port.IsOpen());
  EXPECT_FALSE(notes.empty());  // a pseudo-terminal refuses DTR
  port.Write("abc");
  EXPECT_TRUE(QTest::qWaitFor([&] { return pty.Read() == "abc"; }, 2000));
  port.Close();
  EXPECT_FALSE(port.IsOpen());

  port.SetDevicePath(std::string(VirtualRadioDevice));
  EXPECT_TRUE(port.IsVirtualRadio());
  ASSERT_TRUE(port.Open(error));
  EXPECT_TRUE(port.IsOpen());
  EXPECT_EQ(port.Radio().StationCount(), 1u);
  port.SetDevicePath("");  // back to COM3: the virtual modem leaves the radio
  EXPECT_FALSE(port.IsOpen());
  EXPECT_EQ(port.Radio().StationCount(), 0u);
}

}  // namespace
}  // namespace velora
