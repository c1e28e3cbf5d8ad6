// The built-in simulator beside the server's port on a serial device: relayed through the port,
// unseen by the server's line. (On the virtual radio it is one more station: the operator
// program's end-to-end test logs it in there.)
#include "platform/qt/qt_simulator_port.h"

#include <gtest/gtest.h>

#include <QTest>
#include <string>
#include <vector>

#include "link/frame.h"
#include "link/serial_line.h"
#include "platform/qt_test_support.h"

namespace velora {
namespace {

TEST(QtSimulatorPortTest, OnADeviceTheCalculatorIsRelayedAndHearsTheStationBelowIt) {
  testing::TestApp();
  testing::PtyPair pty;
  ServerSettings settings;
  auto device = std::make_unique<QtServerPort>(settings);
  device->SetDevicePath(pty.SlavePath());
  QtSimulatorPort port(std::move(device), settings);
  std::vector<std::string> notes;
  port.SetNoteHandler([&notes](std::string_view note) { notes.emplace_back(note); });
  int changes = 0;
  port.SetChangeHandler([&changes] { ++changes; });
  testing::QtLine rig{port, settings};
  SerialLine& line = rig.line;
  std::string error;
  ASSERT_TRUE(port.Open(error)) << error;
  CalculatorEngine& sim = port.Engine();

  // The invitation: the calculator's request reaches the line and goes out on the device.
  sim.Connect();
  line.TXENSend();
  line.SendPacket(NoAddress, KindInvite, "", 1);
  line.TXENReceive();
  const std::optional<Frame> request = line.ReceivePacket(1000);
  ASSERT_TRUE(request);
  EXPECT_EQ(request->Kind(), KindRegisterRequest);
  EXPECT_EQ(request->Payload().substr(0, 8), std::string("TiSim\0\0\0", 8));
  EXPECT_TRUE(QTest::qWaitFor(
      [&] { return pty.Read().find("U" + request->Bytes()) != std::string::npos; }, 2000))
      << "stations on the radio hear it";
  ASSERT_EQ(notes.size(), 1u);
  EXPECT_EQ(notes[0].rfind("TiSim SENT 20 byte: U", 0), 0u) << notes[0];

  line.TXENSend();
  line.SendPacket(BroadcastAddress, KindRegistered, std::string("TiSim\0\0\0\x05", 9), 1);
  EXPECT_EQ(sim.SimAddress(), 5);

  // Station 4 answers on the radio: the calculator hears it and its turn follows without a poll.
  line.TXENReceive();
  const std::string answer4 = BuildFrame(ServerAddress, KindNothing, 4, 1, "");
  pty.Write("U" + answer4);
  const std::optional<Frame> first = line.ReceivePacket(1000);
  ASSERT_TRUE(first);
  EXPECT_EQ(first->Bytes(), answer4);
  const std::optional<Frame> second = line.ReceivePacket(1000);
  ASSERT_TRUE(second);
  EXPECT_EQ(second->Source(), 5);
  EXPECT_EQ(second->Kind(), KindNothing);
  EXPECT_GE(changes, 3) << "the window is told of every frame the calculator took";
}

}  // namespace
}  // namespace velora
