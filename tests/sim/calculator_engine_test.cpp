#include "sim/calculator_engine.h"

#include <gtest/gtest.h>

#include "support/bytes.h"

#include <random>

#include "common/cp1252.h"
#include "link/frame.h"

namespace velora {
namespace {

using testing::Bytes;

class EngineTest : public ::testing::Test {
 protected:
  EngineTest() {
    engine.onLog = [this](const std::string& line) { log.push_back(line); };
  }

  // What the calculator hears from the server: start string and frame.
  void Hear(std::uint8_t destination, std::uint8_t kind, std::string_view data,
            std::uint8_t part = 1, std::uint8_t source = 1) {
    engine.ProcessReceived("U" + BuildFrame(destination, kind, source, part, data));
  }
  std::string NameField(std::string name) {
    name.resize(8, '\0');
    return name;
  }
  void Register(std::uint8_t address = 4) {
    engine.Connect();
    Hear(0, KindInvite, "");
    engine.SendToServer();
    Hear(255, KindRegistered, NameField("TiSim") + static_cast<char>(address));
  }
  std::string Transmit() { return engine.SendToServer(); }

  ServerSettings settings;
  CalculatorEngine engine{settings};
  std::vector<std::string> log;
};

TEST_F(EngineTest, RegistersAtTheNextInvitationWithTheWorkedFrame) {
  Hear(0, KindInvite, "");
  EXPECT_EQ(Transmit(), "") << "no request without Connect";
  engine.Connect();
  EXPECT_TRUE(engine.ModelLocked());
  Hear(0, KindInvite, "");
  EXPECT_EQ(Transmit(), "U" + Bytes({0x01, 0x13, 0x00, 0xFF, 0x01, 0x54, 0x69, 0x53, 0x69, 0x6D,
                                     0x00, 0x00, 0x00, 0x82, 0x00, 0x00, 0x00, 0x00, 0x54}));
  EXPECT_EQ(log.back(), "Anmeldungsanforderung wird gesendet.");
  EXPECT_FALSE(engine.ConnectRequested());
  Hear(0, KindInvite, "");
  EXPECT_EQ(Transmit(), "") << "one request per Connect";
}

TEST_F(EngineTest, TakesOnlyItsOwnConfirmation) {
  engine.Connect();
  Hear(255, KindRegistered, NameField("Other") + '\x05');
  EXPECT_EQ(log.back(), "Anmeldebestätigung an \"Other\"<> ich:TiSim"_cp);
  EXPECT_FALSE(engine.Registered());
  Hear(255, KindRegistered, NameField("tisim") + '\x05');
  EXPECT_FALSE(engine.Registered()) << "names compare case-sensitively";
  Hear(255, KindRegistered, NameField("TiSim") + '\x05');
  EXPECT_EQ(engine.SimAddress(), 5);
  EXPECT_EQ(engine.AddressText(), "5");
  EXPECT_EQ(engine.ConnectCaption(), "Dis&connect");
  EXPECT_EQ(log.back(), "Anmeldebestätigung empfangen."_cp);
}

TEST_F(EngineTest, AnswersItsPollAndFollowsTheStationBelowIt) {
  Register(4);
  Hear(4, KindPoll, "");
  EXPECT_EQ(Transmit(), "U" + Bytes({0x01, 0x06, 0x0A, 0x04, 0x01, 0xCB}));
  EXPECT_EQ(Transmit(), "") << "one transmission per turn";

  engine.ProcessReceived("U" + BuildFrame(1, KindNothing, 3, 1, ""));  // station 3 to the server
  EXPECT_TRUE(engine.MustSend());
  engine.ProcessReceived("U" + BuildFrame(1, KindNothing, 2, 1, ""));
  EXPECT_FALSE(engine.MustSend()) << "a further frame withdraws the turn";
  Hear(5, KindPoll, "");
  EXPECT_FALSE(engine.MustSend()) << "another station's poll is not ours";
}

TEST_F(EngineTest, IgnoresBytesWithoutStartStringOrShortFrames) {
  Register(4);
  engine.ProcessReceived(BuildFrame(4, KindPoll, 1, 1, ""));
  EXPECT_FALSE(engine.MustSend());
  engine.ProcessReceived("U" + BuildFrame(4, KindPoll, 1, 1, "").substr(0, 5));
  EXPECT_FALSE(engine.MustSend());
  engine.ProcessReceived("\xFF\x13U" + BuildFrame(4, KindPoll, 1, 1, ""));
  EXPECT_TRUE(engine.MustSend()) << "junk before the start string is skipped";
}

TEST_F(EngineTest, DamagedFramesAreIgnored) {
  engine.Connect();
  std::string confirmation =
      "U" + BuildFrame(255, KindRegistered, 1, 1, NameField("TiSim") + '\x04');
  confirmation[10] ^= 0x01;  // one bit of the name
  engine.ProcessReceived(confirmation);
  EXPECT_FALSE(engine.Registered());
  Register(4);
  std::string poll = "U" + BuildFrame(4, KindPoll, 1, 1, "");
  poll.back() ^= 0x40;
  engine.ProcessReceived(poll);
  EXPECT_FALSE(engine.MustSend());
  std::string screen = "U" + BuildFrame(4, KindTextScreen, 1, 1, std::string("abc") + '\0');
  screen[7] ^= 0x20;
  engine.ProcessReceived(screen);
  EXPECT_EQ(engine.ScreenSerial(), 0u) << "no screen from a damaged frame";
}

TEST_F(EngineTest, TextScreenIsAcknowledgedAndPrinted) {
  Register(4);
  Hear(4, KindTextScreen, std::string("Hallo \x91", 7) + '\0');
  EXPECT_EQ(engine.ScreenRow(0), "Hallo ä         "_cp);
  EXPECT_EQ(engine.SimExpectedReply(), KindTextReply);
  EXPECT_EQ(Transmit(), "U" + BuildFrame(1, KindAck, 4, 1, ""));
}

TEST_F(EngineTest, PrintingWrapsRowsAndTheScreen) {
  engine.SetModel(1);
  EXPECT_EQ(engine.Columns(), 21);
  engine.TiPrint(std::string(21, 'a') + "b");
  EXPECT_EQ(engine.ScreenRow(0), std::string(21, 'a'));
  EXPECT_EQ(engine.ScreenRow(1).substr(0, 1), "b");
  engine.TiLocate(20, 7);
  engine.TiPrint("yz");
  EXPECT_EQ(engine.ScreenRow(7).back(), 'y');
  EXPECT_EQ(engine.ScreenRow(0).front(), 'z') << "the screen wraps to the top";
  EXPECT_EQ(engine.ScreenText().size(), 8u * 23);
}

TEST_F(EngineTest, CharacterTableCanBeSwitchedOff) {
  engine.TiPrint("\x91\x5B");
  EXPECT_EQ(engine.ScreenRow(0).substr(0, 2), "\xE4\xD8");
  settings.TiSimNoCharTable = true;
  engine.TiCls();
  engine.TiPrint("\x91\x5B");
  EXPECT_EQ(engine.ScreenRow(0).substr(0, 2), "\x91\x5B");
}

TEST_F(EngineTest, MenuScreenShowsTitleAndNumberedItems) {
  Register(4);
  std::string data = Bytes({2, 1, 0}) + "Hauptmen\xAD" + std::string(7, ' ') + '\0';
  data += std::string("Nachrichten") + '\0' + "Ende" + '\0';
  Hear(4, KindMenuScreen, data);
  EXPECT_EQ(engine.ScreenRow(0), "Hauptmen\xDC" + std::string(7, ' '));
  EXPECT_EQ(engine.ScreenRow(1), "1 Nachrichten   ");
  EXPECT_EQ(engine.ScreenRow(2), "2 Ende          ");
  EXPECT_EQ(engine.SimExpectedReply(), KindMenuReply);
  for (const std::string& line : log)
    EXPECT_EQ(line.find("Ung"), std::string::npos) << line;
}

TEST_F(EngineTest, MenuCountAndTitleErrorsAreLogged) {
  Register(4);
  std::string data = Bytes({5, 1, 0}) + std::string(16, 'T') + '\0';
  for (const char* item : {"a", "b", "c", "d"})
    data += std::string(item) + '\0';
  Hear(4, KindMenuScreen, data);
  EXPECT_EQ(log.back(), "Ungültige Angabe der Anzahl der Items im Fullscreen-Menü (5 statt 4)"_cp);

  Hear(4, KindMenuScreen, Bytes({0, 1, 0}) + std::string(30, 'T'));
  EXPECT_EQ(log.back(), "Ungültiger Titel eines Fullscreen-Menüs"_cp);
  EXPECT_EQ(engine.ScreenRow(0), std::string(16, ' ')) << "no title is printed";
}

TEST_F(EngineTest, InputScreenPlacesPromptFieldAndValue) {
  Register(4);
  // Prompt "Name?" at row 1, field at row 3, width 8, max length 12, current value "abc".
  std::string data = Bytes({1, 0, 5}) + "Name?" + Bytes({3, 0, 0, 8, 12, 3}) + "abc";
  Hear(4, KindInputScreen, data);
  EXPECT_EQ(engine.ScreenRow(1), "Name?           ");
  EXPECT_EQ(engine.ScreenRow(3), "[######]        ");
  EXPECT_TRUE(engine.InputFieldEnabled());
  EXPECT_EQ(engine.InputFieldMaxLength(), 12);
  EXPECT_EQ(engine.InputFieldText(), "abc");
  EXPECT_EQ(engine.SimExpectedReply(), KindInputReply);

  Transmit();  // the acknowledgement
  engine.SubmitInput(false, "hello world and more");
  EXPECT_EQ(engine.PendingKind(), KindInputReply);
  EXPECT_EQ(engine.PendingData(), Bytes({0, 12}) + "hello world ") << "cut to the field's length";
  engine.SubmitInput(true, "");
  EXPECT_EQ(engine.PendingData(), Bytes({1, 0}));

  Hear(4, KindTextScreen, std::string("x") + '\0');
  EXPECT_FALSE(engine.InputFieldEnabled()) << "any new screen disables the field";
}

TEST_F(EngineTest, ShortInputScreenReadsMissingBytesAsZero) {
  Register(4);
  Hear(4, KindInputScreen, Bytes({7, 0, 40}) + "Pro");
  EXPECT_EQ(engine.ScreenRow(7).substr(0, 3), "Pro");
  EXPECT_EQ(engine.InputFieldMaxLength(), 0);
}

TEST_F(EngineTest, MultiPartScreensAreReassembledOnce) {
  Register(4);
  const std::string text = std::string(20, 'x') + std::string(10, 'y') + '\0';
  Hear(4, KindTextScreen, text.substr(0, 20), 2);
  EXPECT_EQ(engine.SimExpectedReply(), -1) << "waits for the second part";
  Hear(4, KindTextScreen | ContinuationBit, text.substr(20), 2);
  const std::uint32_t serial = engine.ScreenSerial();
  EXPECT_EQ(engine.ScreenRow(1), std::string(4, 'x') + std::string(10, 'y') + "  ");
  Hear(4, KindTextScreen | ContinuationBit, text.substr(20), 2);  // our acknowledgement was lost
  EXPECT_EQ(engine.ScreenSerial(), serial) << "a repeated part is acknowledged, not appended";
  EXPECT_EQ(Transmit(), "U" + BuildFrame(1, KindAck, 4, 1, ""));
}

TEST_F(EngineTest, KeysFollowTheScreenOnDisplay) {
  engine.KeyPress('u');
  EXPECT_EQ(log.back(), "Nicht verbunden.");
  Register(4);
  Hear(4, KindMenuScreen, Bytes({0, 1, 0}) + std::string(16, ' ') + '\0');
  engine.KeyPress('r');
  EXPECT_EQ(engine.PendingData(), Bytes({253}));
  engine.KeyPress('L');
  EXPECT_EQ(engine.PendingData(), Bytes({252}));
  engine.KeyPress('7');
  EXPECT_EQ(engine.PendingKind(), KindMenuReply);
  EXPECT_EQ(engine.PendingData(), Bytes({7}));
  engine.KeyPress('x');
  EXPECT_EQ(engine.PendingData(), Bytes({7})) << "other keys are swallowed";

  Hear(4, KindTextScreen, std::string("t") + '\0');
  engine.KeyPress('l');
  EXPECT_EQ(engine.PendingData(), Bytes({2}));
  engine.KeyPress('o');
  EXPECT_EQ(engine.PendingData(), Bytes({4}));
  engine.KeyPress(CalculatorEngine::KeyEnter);
  EXPECT_EQ(engine.PendingData(), Bytes({9}));
  engine.KeyPress(CalculatorEngine::KeyEscape);
  EXPECT_EQ(engine.PendingKind(), KindTextReply);
  EXPECT_EQ(engine.PendingData(), Bytes({27}));
  engine.KeyPress('1');
  EXPECT_EQ(engine.PendingKind(), KindRestart) << "the key after an escape restarts";
}

TEST_F(EngineTest, LogoutAndSilentDisconnect) {
  Register(6);
  engine.Connect();
  EXPECT_EQ(engine.PendingKind(), KindLogout);
  Hear(6, KindPoll, "");
  EXPECT_EQ(Transmit(), "U" + BuildFrame(1, KindLogout, 6, 1, ""));
  Hear(6, KindLogoutAck, "");
  EXPECT_FALSE(engine.Registered());
  EXPECT_EQ(engine.SimExpectedReply(), -1);
  EXPECT_EQ(log.back(), "Abmeldebestätigung empfangen."_cp);
  EXPECT_EQ(Transmit(), "") << "without an address the calculator stays silent";
  Hear(6, KindLogoutAck, "");
  EXPECT_EQ(Transmit(), "");

  Register(7);
  engine.SilentDisconnect();
  EXPECT_EQ(engine.AddressText(), "$FF");
  Hear(7, KindPoll, "");
  EXPECT_EQ(Transmit(), "");
}

TEST_F(EngineTest, UnknownKindIsLogged) {
  Register(4);
  Hear(4, 12, "zz");
  EXPECT_EQ(log.back().substr(0, 23), "Unbekannte ID:12 in Pak");
}

TEST_F(EngineTest, RandomBytesNeverBreakTheEngine) {
  std::mt19937 rng(7);
  for (int model = 0; model < 2; ++model) {
    engine.Show();
    engine.SetModel(model);
    Register(4);
    for (int i = 0; i < 20000; ++i) {
      std::string junk(rng() % 40, '\0');
      for (char& c : junk)
        c = static_cast<char>(rng());
      if (i % 3 == 0) {
        // a well-formed frame for us with random content
        const std::uint8_t kinds[] = {KindTextScreen, KindMenuScreen, KindInputScreen,
                                      static_cast<std::uint8_t>(KindMenuScreen | ContinuationBit)};
        junk = "U" + BuildFrame(4, kinds[rng() % 4], 1, static_cast<std::uint8_t>(rng() % 4), junk);
      }
      engine.ProcessReceived(junk);
      engine.KeyPress(static_cast<char>(rng()));
      engine.SendToServer();
      ASSERT_EQ(engine.ScreenText().size(), 8u * (engine.Columns() + 2));
    }
  }
}

}  // namespace
}  // namespace velora
