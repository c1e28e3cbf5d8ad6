// The serial line in virtual time, with the server's modem and a scripted station on the virtual
// radio.
#include "link/serial_line.h"
#include "store/log_file.h"

#include <gtest/gtest.h>

#include "support/bytes.h"

#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "common/cp1252.h"
#include "common/text.h"
#include "link/frame.h"
#include "platform/radio_test_station.h"
#include "platform/virtual/virtual_radio.h"
#include "platform/virtual/virtual_serial_port.h"
#include "platform/virtual/virtual_time.h"
#include "support/recording_ui.h"

namespace velora {
namespace {

using testing::Bytes;

using testing::RadioTestStation;

// Station 4's idle answer to the server.
const std::string Answer4 = BuildFrame(ServerAddress, KindNothing, 4, 1, "");

// The bytes of a received frame, or a mark for none.
std::string Got(const std::optional<Frame>& frame) {
  return frame ? frame->Bytes() : "(no frame)";
}

// A port whose transmit-empty event never comes.
class MutePort : public SerialPort {
 public:
  int PortNumber() const override { return 1; }
  void SetPortNumber(int) override {}
  bool Open(std::string&) override { return true; }
  void Close() override {}
  bool IsOpen() const override { return true; }
  void Write(std::string_view bytes) override { written += bytes; }
  std::string ReadAll() override { return {}; }
  void SetDtr(bool) override {}
  void SetBreak(bool) override {}
  void SetReceivedHandler(std::function<void()>) override {}
  void SetTxEmptyHandler(std::function<void()>) override {}
  std::string written;
};

class SerialLineTest : public ::testing::Test {
 protected:
  SerialLineTest() {
    log.Open();
    std::string error;
    port.Open(error);
    line = std::make_unique<SerialLine>(port, timer, pump, log, settings);
  }

  // The log's texts without their tick prefix.
  std::vector<std::string> LogLines() {
    log.Flush();
    const std::string content = testing::ReadFileBytes(log.CurrentPath());
    std::vector<std::string> lines;
    std::size_t begin = 0;
    while (begin < content.size()) {
      std::size_t end = content.find("\r\n", begin);
      if (end == std::string::npos) end = content.size();
      const std::string raw = content.substr(begin, end - begin);
      lines.push_back(raw.substr(raw.find(':') + 1));
      begin = end + 2;
    }
    return lines;
  }
  bool Logged(const std::string& text) {
    const auto lines = LogLines();
    return std::find(lines.begin(), lines.end(), text) != lines.end();
  }
  int CountStartingWith(const std::string& prefix) {
    int count = 0;
    for (const std::string& l : LogLines())
      count += l.rfind(prefix, 0) == 0 ? 1 : 0;
    return count;
  }
  std::int64_t NowUs() const { return time.NowUs(); }
  void At(std::int64_t us, std::function<void()> task) {
    time.ScheduleAfter(us - time.NowUs(), std::move(task));
  }

  VirtualTime time;
  VirtualClock clock{time, 1000};
  VirtualEventPump pump{time};
  VirtualTimer timer{time};
  testing::RecordingUi ui;
  testing::TempDir dir;
  LogFile log{clock, ui, dir.path()};
  ServerSettings settings;
  VirtualRadio radio{time};
  VirtualSerialPort port{radio, settings};
  RadioTestStation station{radio, "calculator"};
  std::unique_ptr<SerialLine> line;
};

TEST(EndOfWritePauseTest, NominalRateButNeverShorterThanTheWire) {
  EXPECT_EQ(EndOfWritePauseMs(7, 7), 4);        // start string and a 6-byte frame
  EXPECT_EQ(EndOfWritePauseMs(20, 20), 11);     // start string and a 19-byte frame
  EXPECT_EQ(EndOfWritePauseMs(256, 256), 142);  // start string and a 255-byte frame
  // 6 bytes take 3.125 ms on the wire: 3 ms would cut the CRC byte.
  EXPECT_EQ(EndOfWritePauseMs(6, 6), 4);
  // The byte written after the switch to send is still ahead of the frame: 8 bytes, 4.17 ms.
  EXPECT_EQ(EndOfWritePauseMs(7, 8), 5);
  EXPECT_EQ(EndOfWritePauseMs(0, 0), 0);
}

TEST_F(SerialLineTest, DelayOfZeroOrLessReturnsAtOnceWithoutTouchingTheTimer) {
  line->Delay(0);
  line->Delay(-7);
  EXPECT_EQ(NowUs(), 0);
  EXPECT_FALSE(timer.Active());
  EXPECT_EQ(timer.Interval(), 5);
  EXPECT_EQ(CountStartingWith("wait"), 0);
  EXPECT_EQ(pump.Batches(), 0u);
}

TEST_F(SerialLineTest, DelayWaitsOnTheTimerAndLogsByLevel) {
  line->Delay(7);
  EXPECT_EQ(NowUs(), 7000);
  EXPECT_FALSE(timer.Active());
  EXPECT_TRUE(Logged("wait 7"));
  EXPECT_EQ(CountStartingWith("TIMER"), 0);

  log.level = 4;
  line->Delay(2);
  EXPECT_EQ(NowUs(), 9000);
  EXPECT_EQ(CountStartingWith("TIMER"), 1);

  log.level = 2;
  line->Delay(3);
  EXPECT_EQ(NowUs(), 12000);
  EXPECT_FALSE(Logged("wait 3"));
}

TEST_F(SerialLineTest, EveryWaitEndsWhenTheApplicationTerminates) {
  At(2000, [this] { pump.RequestTermination(); });
  line->Delay(50);
  EXPECT_EQ(NowUs(), 2000);
  EXPECT_FALSE(timer.Active());

  EXPECT_FALSE(line->ReceivePacket(80));
  EXPECT_EQ(NowUs(), 2000);

  pump.ClearTermination();
  At(9000, [this] { pump.RequestTermination(); });
  line->ReceivePacket(80);
  EXPECT_EQ(NowUs(), 9000);
}

TEST_F(SerialLineTest, ClosingTheWindowEndsATimedWait) {
  At(3000, [this] { line->EndTimerWait(); });
  line->Delay(100);
  EXPECT_EQ(NowUs(), 3000);
  EXPECT_FALSE(timer.Active());
}

TEST_F(SerialLineTest, TransmitterFollowsDtrWithEitherPolarity) {
  EXPECT_FALSE(port.TransmitterOn());
  line->TXENSend();
  EXPECT_FALSE(port.Dtr());  // transmit is DTR false
  EXPECT_TRUE(port.TransmitterOn());
  EXPECT_FALSE(line->TxenIsReceive());
  EXPECT_EQ(NowUs(), 3000);  // TxenToWritePause
  EXPECT_TRUE(Logged("TXEN send"));
  EXPECT_TRUE(Logged("wait 3"));

  line->TXENReceive();
  EXPECT_TRUE(port.Dtr());
  EXPECT_FALSE(port.TransmitterOn());
  EXPECT_TRUE(line->TxenIsReceive());
  EXPECT_TRUE(Logged("TXEN receive"));

  settings.TxenHighIsDtrFalse = false;
  line->TXENSend();
  EXPECT_TRUE(port.Dtr());
  EXPECT_TRUE(port.TransmitterOn());
  line->TXENReceive();
  EXPECT_FALSE(port.Dtr());
  EXPECT_FALSE(port.TransmitterOn());
}

TEST_F(SerialLineTest, SwitchToSendHoldsBreakDuringThePauseThenWritesTheSwitchCharacters) {
  settings.MarkingDuringTurnaround = true;
  bool breakDuringPause = false;
  At(1500, [&] { breakDuringPause = port.Break(); });
  line->TXENSend();
  EXPECT_TRUE(breakDuringPause);
  EXPECT_FALSE(port.Break());
  time.RunFor(2000);
  EXPECT_EQ(station.heard, "\xFF");
  EXPECT_EQ(station.heardAtUs.front(), 3000 + BurstTimeUs(1));

  settings.MarkingDuringTurnaround = false;
  settings.SendAfterTxenSwitch = false;
  breakDuringPause = false;
  At(NowUs() + 1000, [&] { breakDuringPause = port.Break(); });
  line->TXENSend();
  time.RunFor(2000);
  EXPECT_FALSE(breakDuringPause);
  EXPECT_EQ(station.heard, "\xFF");
}

TEST_F(SerialLineTest, SendPacketWritesStartStringAndFrameAndPausesForTheWire) {
  settings.SendAfterTxenSwitch = false;
  settings.TxenToWritePause = 0;
  line->TXENSend();
  line->SendPacket(4, KindPoll, "", 1);
  const std::string frame = Bytes({0x04, 0x06, 0x04, 0x01, 0x01, 0x12});
  EXPECT_EQ(NowUs(), 4000);
  EXPECT_EQ(station.heard, "U" + frame);
  EXPECT_TRUE(Logged("SEND : <4><6><4><1><1><18>"));
  EXPECT_TRUE(Logged("SENT : <4><6><4><1><1><18>"));
  EXPECT_TRUE(Logged("wait 4"));

  // Start string and a 19-byte frame: 20 bytes, 11 ms.
  const std::int64_t before = NowUs();
  line->SendPacket(4, KindTextScreen, std::string(13, 'x'), 1);
  EXPECT_EQ(NowUs() - before, 11000);
  EXPECT_TRUE(Logged("wait 11"));

  log.level = 1;
  line->SendPacket(4, KindPoll, "", 1);
  EXPECT_EQ(CountStartingWith("SENT"), 2);
  EXPECT_EQ(CountStartingWith("SEND"), 2);
}

TEST_F(SerialLineTest, WithoutStartStringOnlyTheFrameIsWritten) {
  settings.SendPacketInitString = false;
  settings.SendAfterTxenSwitch = false;
  line->TXENSend();
  station.heard.clear();
  line->SendPacket(4, KindPoll, "", 1);
  EXPECT_EQ(station.heard, BuildFrame(4, KindPoll, ServerAddress, 1, ""));
}

TEST_F(SerialLineTest, DefaultTurnaroundPutsTheWholeFrameOnTheAir) {
  // The byte written after the switch to send is still ahead of the frame when the pause starts;
  // switching to receive after the nominal 4 ms would cut the CRC byte.
  line->TXENSend();
  line->SendPacket(4, KindPoll, "", 1);
  line->TXENReceive();
  time.RunFor(10'000);
  EXPECT_EQ(station.heard, "\xFFU" + BuildFrame(4, KindPoll, ServerAddress, 1, ""));
  EXPECT_EQ(radio.stats().cutBytes, 0u);
}

TEST_F(SerialLineTest, TransmitEmptyModeWaitsUntilTheLastByteHasLeftTheAir) {
  settings.TxenOnTxEmpty = true;
  line->TXENSend();
  line->SendPacket(4, KindPoll, "", 1);
  // 0xFF written at 3 ms, then start string and frame: eight bytes back to back.
  EXPECT_EQ(NowUs(), 3000 + BurstTimeUs(8));
  EXPECT_FALSE(line->Sending());
  EXPECT_EQ(CountStartingWith("wait"), 1);  // only the switch pause
  EXPECT_TRUE(Logged("SENT : <4><6><4><1><1><18>"));
  line->TXENReceive();
  EXPECT_EQ(station.heard.size(), 8u);
}

TEST(SerialLineMuteTest, AMissingTransmitEmptyEventDoesNotHoldTheLineForEver) {
  VirtualTime time;
  VirtualClock clock{time};
  VirtualEventPump pump{time};
  VirtualTimer timer{time};
  testing::RecordingUi ui;
  testing::TempDir dir;
  LogFile log{clock, ui, dir.path()};
  log.Open();
  ServerSettings settings;
  settings.TxenOnTxEmpty = true;
  MutePort port;
  SerialLine line{port, timer, pump, log, settings};

  line.SendPacket(4, KindPoll, "", 1);
  EXPECT_EQ(time.NowUs(), (2 * 4 + 100) * 1000);
  EXPECT_FALSE(line.Sending());
  log.Flush();
  const std::string content = testing::ReadFileBytes(log.CurrentPath());
  EXPECT_NE(content.find("NOTE : no transmit-empty event within 108 ms"), std::string::npos);
  EXPECT_NE(content.find("SENT : "), std::string::npos);

  // Terminating during that wait skips the rest of the send.
  time.ScheduleAfter(10'000, [&] { pump.RequestTermination(); });
  const std::int64_t before = time.NowUs();
  line.SendPacket(4, KindPoll, "", 1);
  EXPECT_EQ(time.NowUs() - before, 10'000);
  log.Flush();
  const std::string after = testing::ReadFileBytes(log.CurrentPath());
  EXPECT_EQ(after.find("SENT : ", after.find("SENT : ") + 1), std::string::npos) << "not sent";
  EXPECT_EQ(port.written.size(), 14u);
}

TEST_F(SerialLineTest, AnOverlongFrameIsNotSent) {
  line->TXENSend();
  station.heard.clear();
  const std::int64_t before = NowUs();
  line->SendPacket(4, KindTextScreen, std::string(MaxFrameData + 1, 'x'), 1);
  time.RunFor(5000);
  EXPECT_EQ(station.heard, "\xFF");  // only the switch character
  EXPECT_EQ(NowUs() - before, 5000);
  EXPECT_TRUE(Logged("NOTE : frame too long, not sent (250 data bytes)"));
}

TEST_F(SerialLineTest, ReceivePacketTakesAnAnswerWithinTheWindow) {
  line->TXENReceive();
  station.TransmitAt(NowUs() + 5000, "U" + Answer4);
  const std::int64_t start = NowUs();
  EXPECT_EQ(Got(line->ReceivePacket(50)), Answer4);
  // Once the last byte has arrived and the port has announced it.
  EXPECT_GT(NowUs() - start, 5000 + BurstTimeUs(7));
  EXPECT_LE(NowUs() - start, 5000 + BurstTimeUs(7) + VirtualSerialPort::DefaultReceiveLatencyUs);
  EXPECT_FALSE(timer.Active());
  EXPECT_TRUE(Logged("NOTE : receive-wait 50"));
  EXPECT_TRUE(Logged("RCVD : <1><6><10><4><1><203>"));
  EXPECT_FALSE(Logged("NOTE : receive timeout"));

  // The next wait starts without a frame and ends by its time-out.
  const std::int64_t second = NowUs();
  EXPECT_FALSE(line->ReceivePacket(30));
  EXPECT_EQ(NowUs() - second, 30'000);
  EXPECT_TRUE(Logged("NOTE : receive timeout"));
}

TEST_F(SerialLineTest, BytesArrivingWhileSendingStayInThePort) {
  line->TXENSend();
  port.SetDtr(settings.TxenHighIsDtrFalse);  // transmitter off behind the line's back
  station.TransmitAt(NowUs() + 500, "U" + Answer4);
  time.RunFor(20'000);
  EXPECT_TRUE(line->ReceiveBuffer().empty());
  EXPECT_EQ(port.ReadAll(), "U" + Answer4);
}

TEST_F(SerialLineTest, TurnaroundDropDiscardsWhatArrivedDuringTheReadPause) {
  port.SetReceiveLatencyUs(10'000);
  settings.TxenToReadPause = 5;
  settings.DropRxDuringTurnaround = true;
  line->TXENSend();
  station.TransmitAt(NowUs() + 500, "junk");  // arrives during the read pause
  line->TXENReceive();
  EXPECT_TRUE(Logged("DROP : TXEN-Wechsel:junk"));
  EXPECT_TRUE(line->ReceiveBuffer().empty());
  station.TransmitAt(NowUs() + 1000, "U" + Answer4);
  EXPECT_EQ(Got(line->ReceivePacket(50)), Answer4);
  EXPECT_TRUE(Logged("NOTE : deleting from rcvbuffer (1:U<1><6><10><4><1><203>)"));
}

TEST_F(SerialLineTest, WithoutTheDropTurnaroundBytesWaitInThePortAndAreSkipped) {
  port.SetReceiveLatencyUs(10'000);
  settings.TxenToReadPause = 5;
  line->TXENSend();
  station.TransmitAt(NowUs() + 500, "junk");
  line->TXENReceive();
  EXPECT_EQ(CountStartingWith("DROP : TXEN-Wechsel:"), 0);
  station.TransmitAt(NowUs() + 1000, "U" + Answer4);
  EXPECT_EQ(Got(line->ReceivePacket(50)), Answer4);
  EXPECT_TRUE(Logged("NOTE : deleting from rcvbuffer (5:junkU<1><6><10><4><1><203>)"));
}

// Everything a station sends within 40 ms reaches the line in one received-bytes event.
class ScannerTest : public SerialLineTest {
 protected:
  ScannerTest() {
    port.SetReceiveLatencyUs(40'000);
    line->TXENReceive();
  }
  // The frame a receive wait takes from what the station sends (nothing when none).
  std::string Hear(const std::string& bytes) {
    station.TransmitAt(NowUs() + 1000, bytes);
    return Got(line->ReceivePacket(60));
  }
  // The scanner's notes, without those of the receive wait itself.
  int ScannerNotes() { return CountStartingWith("NOTE") - CountStartingWith("NOTE : receive"); }
};

TEST_F(ScannerTest, ResynchronisesOnTheStartString) {
  EXPECT_EQ(Hear("abU" + Answer4), Answer4);
  EXPECT_TRUE(Logged("NOTE : Delete all before U"));
  EXPECT_TRUE(Logged("NOTE : deleting from rcvbuffer (3:abU<1><6><10><4><1><203>)"));
  EXPECT_TRUE(line->ReceiveBuffer().empty());
}

TEST_F(ScannerTest, BytesWithoutStartStringAreDiscarded) {
  EXPECT_EQ(Hear("xyz\x01"), "(no frame)");
  EXPECT_TRUE(Logged("NOTE : emptying rcvbuffer (4 Byte:xyz<1>)"));
  EXPECT_TRUE(line->ReceiveBuffer().empty());
}

TEST_F(ScannerTest, ABadLengthByteSkipsToTheNextStartString) {
  EXPECT_EQ(Hear("U" + Bytes({0x04, 0x05, 0x01, 0x02, 0x03}) + "U" + Answer4), Answer4);
  EXPECT_TRUE(Logged(std::string("DROP : ungültiges Längenbyte (12:<4><5><1><2><3>U"_cp) +
                     "<1><6><10><4><1><203>)"));
  EXPECT_TRUE(Logged("NOTE : deleting from rcvbuffer (6:<4><5><1><2><3>U<1><6><10><4><1><203>)"));
}

TEST_F(ScannerTest, ABadLengthByteWithoutStartStringEmptiesTheBuffer) {
  settings.SendPacketInitString = false;
  EXPECT_EQ(Hear(Bytes({0x01, 0x03, 0x0A, 0x04, 0x01, 0x00}) + Answer4), "(no frame)");
  EXPECT_TRUE(line->ReceiveBuffer().empty());
  EXPECT_EQ(CountStartingWith(std::string("DROP : ungültiges Längenbyte (12:"_cp)), 1);
  EXPECT_EQ(Hear(Answer4), Answer4);
}

TEST_F(ScannerTest, OfTwoFramesInOneEventTheFirstIsTakenAndTheSecondWaits) {
  const std::string answer5 = BuildFrame(ServerAddress, KindMenuReply, 5, 1, "\x03");
  EXPECT_EQ(Hear("U" + Answer4 + "U" + answer5), Answer4);
  EXPECT_EQ(line->ReceiveBuffer(), "U" + answer5);

  // The next wait takes it at once instead of letting it go stale.
  const std::int64_t before = NowUs();
  EXPECT_EQ(Got(line->ReceivePacket(50)), answer5);
  EXPECT_EQ(NowUs(), before);
  EXPECT_TRUE(line->ReceiveBuffer().empty());
}

TEST_F(ScannerTest, AFrameMayArriveInPieces) {
  EXPECT_EQ(Hear("U" + Answer4.substr(0, 3)), "(no frame)");
  EXPECT_EQ(line->ReceiveBuffer(), Answer4.substr(0, 3)) << "the start string is found";
  EXPECT_EQ(Hear(Answer4.substr(3)), Answer4);
}

TEST_F(ScannerTest, TheSwitchToReceiveStartsAFreshReception) {
  Hear("U" + Answer4.substr(0, 3));
  line->TXENReceive();
  EXPECT_TRUE(line->ReceiveBuffer().empty());
  EXPECT_EQ(Hear(Answer4.substr(3)), "(no frame)") << "the rest alone is no frame";
  EXPECT_EQ(Hear("U" + Answer4), Answer4);
}

TEST_F(ScannerTest, ForeignAndCorruptFramesAreDroppedByLevel) {
  const std::string toAll = BuildFrame(BroadcastAddress, KindNothing, 4, 1, "");
  EXPECT_EQ(Hear("U" + toAll), "(no frame)");
  EXPECT_TRUE(Logged(std::string("DROP : nicht für Server (6:"_cp) + ReadableBytes(toAll) + ")"));

  std::string corrupt = Answer4;
  corrupt[2] = 0x0B;
  EXPECT_EQ(Hear("U" + corrupt), "(no frame)");
  EXPECT_TRUE(Logged(std::string("DROP : Prüfsummenfehler"_cp)));

  log.level = 0;
  Hear("U" + corrupt + "U" + toAll + "U\x01\x02\x03\x04\x05\x06");
  EXPECT_EQ(CountStartingWith("DROP"), 2);
  EXPECT_EQ(ScannerNotes(), 4);  // only those of the first two, at level 3
}

// Noise just before an answer: a long bogus length, or a bad candidate that ends inside the
// answer. The answer is taken in the same wait however the bytes are cut into received events.
TEST_F(ScannerTest, NoiseBeforeAnAnswerDoesNotCostTheAnswer) {
  struct Noise {
    std::string bytes;
    std::string drop;  // the line that reports it
  };
  const std::vector<Noise> noises = {
      {std::string("U\x00\x40", 3),
       std::string("DROP : unvollständiges Paket vor gültigem verworfen (3:<0>@U)"_cp)},
      {std::string("U\x01\x09\x00", 4), std::string("DROP : Prüfsummenfehler"_cp)}};
  std::mt19937 rng(7);
  for (const Noise& noise : noises) {
    const std::string air = noise.bytes + "U" + Answer4;
    std::vector<std::vector<std::size_t>> cuts = {{air.size()},
                                                  std::vector<std::size_t>(air.size(), 1)};
    for (int i = 0; i < 4; ++i) {
      std::vector<std::size_t> sizes;
      for (std::size_t left = air.size(); left > 0;) {
        sizes.push_back(std::min<std::size_t>(left, 1 + rng() % 5));
        left -= sizes.back();
      }
      cuts.push_back(sizes);
    }
    for (const auto& sizes : cuts) {
      SCOPED_TRACE(ReadableBytes(noise.bytes) + ", " + std::to_string(sizes.size()) + " pieces");
      line->TXENReceive();
      std::int64_t at = NowUs();
      std::size_t offset = 0;
      for (std::size_t n : sizes) {
        at += 60'000;  // apart by more than the port's latency: one received event each
        station.TransmitAt(at, air.substr(offset, n));
        offset += n;
      }
      EXPECT_EQ(Got(line->ReceivePacket(static_cast<int>(sizes.size()) * 60 + 100)), Answer4);
      EXPECT_TRUE(Logged(noise.drop));
      EXPECT_TRUE(Logged("RCVD : <1><6><10><4><1><203>"));
      time.RunFor(100'000);
    }
  }
}

TEST_F(ScannerTest, AnEmptyStartStringCountsAsNone) {
  settings.PacketInitString.clear();
  EXPECT_EQ(Hear(Answer4), Answer4);
}

TEST_F(ScannerTest, ALongStartStringIsFoundAcrossTheBuffer) {
  settings.PacketInitString = "UU";
  EXPECT_EQ(Hear("xUyUU" + Answer4), Answer4);
  EXPECT_TRUE(Logged("NOTE : deleting from rcvbuffer (5:xUyUU<1><6><10><4><1><203>)"));
}

}  // namespace
}  // namespace velora
