// The simulator window driven by frames from the server: connecting, the key box, the input
// field, menus and text screens as shown, the model choice.
#include "gui/simulator_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QGroupBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "common/cp1252.h"
#include "link/frame.h"
#include "platform/qt/qt_text.h"
#include "support/bytes.h"

namespace velora {
namespace {

using testing::Bytes;

class SimulatorWindowTest : public ::testing::Test {
 protected:
  SimulatorWindowTest() {
    window.show();
    QApplication::setActiveWindow(&window);
  }

  template <typename T = QLineEdit>
  T* Child(const char* name) {
    T* child = window.findChild<T*>(name);
    EXPECT_NE(child, nullptr) << name;
    return child;
  }
  // What the calculator hears: start string and frame.
  void Hear(std::uint8_t destination, std::uint8_t kind, std::string_view data,
            std::uint8_t part = 1) {
    engine.ReceiveFromServer("U" + BuildFrame(destination, kind, 1, part, data));
    window.Refresh();
  }
  void Register(std::uint8_t address = 4) {
    Child<QPushButton>("CmdConnect")->click();
    Hear(0, KindInvite, "");
    engine.SendToServer();
    std::string name = engine.SimUserName();
    name.resize(8, '\0');
    Hear(255, KindRegistered, name + static_cast<char>(address));
  }
  // The frame the calculator sends at its next poll.
  std::string Answer(std::uint8_t address = 4) {
    Hear(address, KindPoll, "");
    return engine.SendToServer();
  }
  // A frame of the calculator at address 4 to the server, as it goes on the air.
  static std::string Sent(std::uint8_t kind, std::string_view data) {
    return "U" + BuildFrame(1, kind, 4, 1, data);
  }
  QStringList Screen() { return Child<QPlainTextEdit>("MemoTIScr")->toPlainText().split('\n'); }
  QStringList LogLines() { return Child<QPlainTextEdit>("MemoLog")->toPlainText().split('\n'); }
  void Keys(const QString& keys) { QTest::keyClicks(Child("EditInput"), keys); }

  ServerSettings settings;
  CalculatorEngine engine{settings};
  TFormTiSim window{engine};
};

TEST_F(SimulatorWindowTest, ConnectsAndDisconnectsThroughTheButtons) {
  auto* connect = Child<QPushButton>("CmdConnect");
  auto* models = Child<QGroupBox>("RGTIType");
  EXPECT_EQ(window.windowTitle(), "TIsim 82");
  EXPECT_EQ(Child("EditUsername")->text(), "TiSim");
  EXPECT_EQ(Child("EditAddress")->text(), "$FF");
  EXPECT_EQ(connect->text(), "&Connect");
  EXPECT_TRUE(models->isEnabled());

  connect->click();
  EXPECT_FALSE(models->isEnabled()) << "the model is locked once connecting";
  Hear(0, KindInvite, "");
  EXPECT_EQ(engine.SendToServer().substr(1, 3), Bytes({1, 19, KindRegisterRequest}));
  Hear(255, KindRegistered, std::string("TiSim\0\0\0", 8) + '\x07');
  EXPECT_EQ(Child("EditAddress")->text(), "7");
  EXPECT_EQ(connect->text(), "Dis&connect");
  EXPECT_EQ(LogLines(), (QStringList{"Anmeldungsanforderung wird gesendet.",
                                     QString::fromUtf8("Anmeldebestätigung empfangen.")}));

  connect->click();
  EXPECT_EQ(Answer(7), "U" + BuildFrame(1, KindLogout, 7, 1, ""));
  Hear(7, KindLogoutAck, "");
  EXPECT_EQ(Child("EditAddress")->text(), "$FF");
  EXPECT_EQ(connect->text(), "&Connect");
  EXPECT_TRUE(models->isEnabled());
  EXPECT_EQ(LogLines().back(), QString::fromUtf8("Abmeldebestätigung empfangen."));

  Register(5);
  Child<QPushButton>("CmdSilentDisconnect")->click();
  EXPECT_EQ(Child("EditAddress")->text(), "$FF");
  EXPECT_EQ(connect->text(), "&Connect");
  EXPECT_TRUE(models->isEnabled());
  EXPECT_EQ(Answer(5), "") << "the server is not told";

  // Showing the window again starts over.
  Child("EditUsername")->setText("Anna");
  window.hide();
  window.show();
  EXPECT_EQ(engine.SimUserName(), "TiSim");
  EXPECT_EQ(Child<QPlainTextEdit>("MemoLog")->toPlainText(), "");
}

TEST_F(SimulatorWindowTest, UserNameField) {
  QLineEdit* name = Child("EditUsername");
  name->selectAll();
  QTest::keyClicks(name, "Bernhard12");
  EXPECT_EQ(name->text(), "Bernhard") << "8 characters";
  EXPECT_EQ(engine.SimUserName(), "Bernhard");
  name->selectAll();
  QTest::keyClick(name, Qt::Key_Backspace);
  EXPECT_EQ(name->text(), "Bernhard") << "an emptied field shows the name again";
  QTest::keyClick(name, Qt::Key_Return);
  EXPECT_TRUE(engine.ConnectRequested()) << "Enter connects";
}

TEST_F(SimulatorWindowTest, KeyBoxSendsTheKeyCodesOfTheScreenOnDisplay) {
  Keys("1");
  EXPECT_EQ(LogLines().back(), "Nicht verbunden.");
  EXPECT_EQ(Child("EditInput")->text(), "");

  Register(4);
  Hear(4, KindMenuScreen, Bytes({1, 1, 0}) + "Menu" + '\0' + "Eins" + '\0');
  Answer();  // the acknowledgement
  struct Case {
    QString keys;
    std::uint8_t kind;
    int code;
  };
  for (const Case& c :
       {Case{"r", KindMenuReply, 253}, Case{"L", KindMenuReply, 252}, Case{"o", KindMenuReply, 4},
        Case{"u", KindMenuReply, 1}, Case{"7", KindMenuReply, 7}, Case{"3x?", KindMenuReply, 3}}) {
    Keys(c.keys);
    EXPECT_EQ(Child("EditInput")->text(), "") << "the box keeps no key";
    EXPECT_EQ(Answer(), Sent(c.kind, Bytes({c.code}))) << c.keys.toStdString();
  }
  QTest::keyClick(Child("EditInput"), Qt::Key_Return);
  EXPECT_EQ(Answer(), Sent(KindMenuReply, Bytes({9})));
  QTest::keyClick(Child("EditInput"), Qt::Key_Escape);
  EXPECT_EQ(Answer(), Sent(KindMenuReply, Bytes({27})));
  Keys("r");
  EXPECT_EQ(Answer(), Sent(KindRestart, Bytes({3}))) << "after an escape the next key restarts";

  Hear(4, KindTextScreen, std::string("Text") + '\0');
  Answer();
  Keys("r");
  EXPECT_EQ(Answer(), Sent(KindTextReply, Bytes({3}))) << "right on a text page";
}

TEST_F(SimulatorWindowTest, MenuIsShownWithNumberedItemsAndAWrongCountIsLogged) {
  Register(4);
  std::string data = Bytes({5, 1, 0}) + "Hauptmen\xAD" + '\0';
  for (const char* item : {"Nachrichten", "Mail", "Hilfe", "Ende"})
    data += std::string(item) + '\0';
  Hear(4, KindMenuScreen, data);
  const QStringList rows = Screen();
  ASSERT_EQ(rows.size(), 8);
  EXPECT_EQ(rows[0], QString::fromUtf8("HauptmenÜ       "));
  EXPECT_EQ(rows[1], "1 Nachrichten   ");
  EXPECT_EQ(rows[4], "4 Ende          ");
  EXPECT_EQ(rows[5], QString(16, ' '));
  EXPECT_EQ(
      LogLines().back(),
      QString::fromUtf8("Ungültige Angabe der Anzahl der Items im Fullscreen-Menü (5 statt 4)"));
  EXPECT_TRUE(Child("EditInput")->hasFocus()) << "keys go to the key box";
}

TEST_F(SimulatorWindowTest, InputScreenFillsTheFieldAndEnterOrEscapeSendsIt) {
  Register(4);
  const std::string layout = Bytes({1, 0, 5}) + "Name:" + Bytes({3, 0, 0, 10, 20, 3}) + "abc";
  Hear(4, KindInputScreen, layout);
  Answer();
  QLineEdit* field = Child("EditEditField");
  EXPECT_EQ(Screen()[1].left(5), "Name:");
  EXPECT_EQ(Screen()[3].left(10), "[########]");
  EXPECT_TRUE(field->isEnabled());
  EXPECT_EQ(field->maxLength(), 20);
  EXPECT_EQ(field->text(), "abc");
  EXPECT_TRUE(field->hasFocus());

  field->end(false);
  QTest::keyClicks(field, "de");
  QTest::keyClick(field, Qt::Key_Return);
  EXPECT_EQ(Answer(), Sent(KindInputReply, Bytes({0, 5}) + "abcde"));
  QTest::keyClick(field, Qt::Key_Escape);
  EXPECT_EQ(Answer(), Sent(KindInputReply, Bytes({1, 5}) + "abcde"));

  Hear(4, KindTextScreen, std::string("x") + '\0');
  EXPECT_FALSE(field->isEnabled()) << "the next screen ends the input";
}

TEST_F(SimulatorWindowTest, ModelChoiceSetsCaptionAndWidthAndTextWrapsToTheTop) {
  Child<QRadioButton>("TI 86")->click();
  EXPECT_EQ(window.windowTitle(), "TIsim 86");
  EXPECT_EQ(Child<QPlainTextEdit>("MemoTIScr")->width(), 21 * 8 + 8);
  EXPECT_EQ(Child<QPlainTextEdit>("MemoLog")->width(), 394 - (21 * 8 + 8));
  EXPECT_EQ(Screen()[0], QString(21, ' '));

  Register(4);
  // 8 rows of 21 and three more: the print continues at the top row.
  std::string text;
  for (char row = 'a'; row < 'a' + 8; ++row)
    text += std::string(21, row);
  Hear(4, KindTextScreen, text + "XYZ" + '\0');
  const QStringList rows = Screen();
  EXPECT_EQ(rows[0], "XYZ" + QString(18, 'a'));
  EXPECT_EQ(rows[7], QString(21, 'h'));

  Child<QPushButton>("CmdSilentDisconnect")->click();
  Child<QRadioButton>("TI 82")->click();
  EXPECT_EQ(window.windowTitle(), "TIsim 82");
  EXPECT_EQ(Child<QPlainTextEdit>("MemoTIScr")->width(), 16 * 8 + 8);
}

TEST_F(SimulatorWindowTest, CharacterTablesAndControlBytesOnTheScreen) {
  Register(4);
  Hear(4, KindTextScreen, std::string("Hallo \x91 \x0A.", 10) + '\0');
  EXPECT_EQ(Screen()[0], QString::fromUtf8("Hallo ä  .      ")) << "control bytes show as blanks";

  settings.TiSimNoCharTable = true;
  Hear(4, KindTextScreen, std::string("Hallo \x91") + '\0');
  EXPECT_EQ(Screen()[0], QString::fromUtf8("Hallo ‘         ")) << "the byte as PC text";
}

}  // namespace
}  // namespace velora
