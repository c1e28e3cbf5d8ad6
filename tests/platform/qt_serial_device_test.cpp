// The QSerialPort adapter over a pseudo-terminal pair, alone and under the serial line.
#include "platform/qt/qt_serial_device.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <algorithm>

#include <QElapsedTimer>
#include <QTest>
#include <string>
#include <vector>

#include "link/frame.h"
#include "link/serial_line.h"
#include "platform/qt_test_support.h"

namespace velora {
namespace {

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

class QtSerialDeviceTest : public ::testing::Test {
 protected:
  QtSerialDeviceTest() {
    testing::TestApp();
    device.SetNoteHandler([this](std::string_view note) { notes.emplace_back(note); });
    device.SetEventHandler([this](std::string_view line) { events.emplace_back(line); });
    device.SetDevicePath(pty.SlavePath());
  }
  void Open() {
    std::string error;
    ASSERT_TRUE(device.Open(error)) << error;
  }

  testing::PtyPair pty;
  ServerSettings settings;
  QtSerialDevice device{settings};
  std::vector<std::string> notes;
  std::vector<std::string> events;
};

TEST_F(QtSerialDeviceTest, WrittenBytesArriveAndTransmitEmptyWaitsForTheWire) {
  Open();
  QElapsedTimer sinceWrite;
  qint64 txEmptyAfterNs = -1;
  device.SetTxEmptyHandler([&] { txEmptyAfterNs = sinceWrite.nsecsElapsed(); });
  const std::string frame = "U" + BuildFrame(4, KindTextScreen, ServerAddress, 1, "\xFF\x00\x0D");
  sinceWrite.start();
  device.Write(frame);
  EXPECT_TRUE(QTest::qWaitFor([&] { return pty.Read().size() >= frame.size(); }, 2000));
  EXPECT_EQ(pty.Read(), frame);
  EXPECT_TRUE(QTest::qWaitFor([&] { return txEmptyAfterNs >= 0; }, 2000));
  // Ten bits a byte at 19200 baud: 10 bytes take 5.2 ms.
  EXPECT_GE(txEmptyAfterNs, 5'200'000);
}

TEST_F(QtSerialDeviceTest, ReceivedBytesAreAnnouncedAndReadWhole) {
  Open();
  int announcements = 0;
  device.SetReceivedHandler([&] { ++announcements; });
  const std::string bytes("U\x01\x06\x0A\x04\x01\xCB\x00\xFF", 9);
  pty.Write(bytes);
  EXPECT_TRUE(QTest::qWaitFor([&] { return announcements > 0; }, 2000));
  std::string got;
  const bool whole = QTest::qWaitFor(
      [&] {
        got += device.ReadAll();
        return got.size() >= bytes.size();
      },
      2000);
  EXPECT_TRUE(whole);
  EXPECT_EQ(got, bytes);

  // Detached: the bytes wait in the port.
  device.SetReceivedHandler({});
  const int before = announcements;
  pty.Write("later");
  std::string later;
  EXPECT_TRUE(QTest::qWaitFor(
      [&] {
        later += device.ReadAll();
        return later.size() >= 5;
      },
      2000));
  EXPECT_EQ(later, "later");
  EXPECT_EQ(announcements, before);
}

TEST_F(QtSerialDeviceTest, RefusedLineControlsAreNotedOnceAndIgnored) {
  Open();
  for (int i = 0; i < 4; ++i) {
    device.SetDtr(i % 2 == 0);
    device.SetBreak(i % 2 == 0);
  }
  int dtrNotes = 0;
  for (const std::string& note : notes)
    dtrNotes += note.find("DTR") != std::string::npos ? 1 : 0;
  EXPECT_EQ(dtrNotes, 1);       // a pseudo-terminal has no modem lines
  EXPECT_LE(notes.size(), 3u);  // DTR, RTS and break at most once each
  // The port still works.
  device.Write("ok");
  EXPECT_TRUE(QTest::qWaitFor([&] { return pty.Read() == "ok"; }, 2000));
}

TEST_F(QtSerialDeviceTest, AHungUpLineIsClosedAndRetriedInsteadOfSpinning) {
  Open();
  notes.clear();
  const double cpuBefore = CpuSeconds();
  pty.CloseMaster();
  QTest::qWait(1500);
  const double cpu = CpuSeconds() - cpuBefore;
  EXPECT_LT(cpu, 0.5);  // a spinning read notifier would use the whole 1.5 s
  EXPECT_FALSE(device.IsOpen());
  // On a busy machine the first reopen can still find the line's device node and succeed
  // before the hang-up reaches it: "reopened", then "lost". The loss is told once either way.
  ASSERT_FALSE(notes.empty());
  EXPECT_NE(notes.back().find("serial device lost"), std::string::npos) << notes.back();
  EXPECT_EQ(std::count_if(notes.begin(), notes.end(),
                          [](const std::string& n) { return n.find("lost") != std::string::npos; }),
            1);
  EXPECT_EQ(events,
            std::vector<std::string>{"Verbindung zum Port " + pty.SlavePath() + " verloren"})
      << "the operator is told too";

  // Closing ends the retries.
  const std::size_t told = notes.size();
  device.Close();
  QTest::qWait(1200);
  EXPECT_FALSE(device.IsOpen());
  EXPECT_EQ(notes.size(), told);
}

TEST_F(QtSerialDeviceTest, OpeningAMissingDeviceFailsWithAReason) {
  QtSerialDevice missing{settings};
  missing.SetDevicePath("/dev/velora-no-such-device");
  std::string error;
  EXPECT_FALSE(missing.Open(error));
  EXPECT_FALSE(error.empty());
  EXPECT_FALSE(missing.IsOpen());

  QtSerialDevice numbered{settings};
  numbered.SetPortNumber(9);
  error.clear();
  if (!numbered.Open(error)) {
    EXPECT_FALSE(error.empty());
  }
}

TEST_F(QtSerialDeviceTest, TheSerialLineSendsAndReceivesFramesThroughTheAdapter) {
  Open();
  settings.TxenOnTxEmpty = true;
  testing::QtLine rig{device, settings};
  SerialLine& line = rig.line;

  line.TXENSend();
  line.SendPacket(4, KindPoll, "", 1);
  EXPECT_FALSE(line.Sending());
  line.TXENReceive();
  EXPECT_TRUE(QTest::qWaitFor([&] { return pty.Read().size() >= 8; }, 2000));
  EXPECT_EQ(pty.Read(), "\xFFU" + BuildFrame(4, KindPoll, ServerAddress, 1, ""));

  const std::string answer = BuildFrame(ServerAddress, KindMenuReply, 4, 1, "\x02");
  pty.Write("U" + answer);
  const std::optional<Frame> frame = line.ReceivePacket(1000);
  ASSERT_TRUE(frame);
  EXPECT_EQ(frame->Bytes(), answer);
}

}  // namespace
}  // namespace velora
