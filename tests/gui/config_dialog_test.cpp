// The configuration dialog as the operator sees it: fields, enable logic, key filter, slider
// label, closing with its corrections, and deleting the old logs.
#include "gui/config_dialog.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>
#include <QTabWidget>
#include <QTest>
#include <filesystem>
#include <memory>

#include "common/cp1252.h"
#include "platform/qt/qt_text.h"
#include "support/memory_settings_backend.h"
#include "support/recording_ui.h"

namespace velora {
namespace {

using Id = SettingId;
using testing::RecordingUi;
using testing::TempDir;

class ConfigDialogTest : public ::testing::Test {
 protected:
  ConfigDialogTest() {
    dialog = std::make_unique<TForm2>(
        form, store, ui, [this] { return running; }, dir.path());
  }

  template <typename T>
  T* Field(Id id) {
    T* widget = qobject_cast<T*>(dialog->Field(id));
    EXPECT_NE(widget, nullptr) << Def(id).name;
    return widget;
  }
  QLineEdit* Edit(Id id) { return Field<QLineEdit>(id); }
  QAbstractButton* Button(Id id) { return Field<QAbstractButton>(id); }
  QString Shown(Id id) { return Edit(id)->text(); }
  void Type(Id id, const QString& keys) {
    Edit(id)->selectAll();
    QTest::keyClicks(Edit(id), keys);
  }
  // The value the store holds; a missing one fails the test.
  MemorySettingsBackend::Value Stored(std::string_view name) {
    const auto value = backend.Get(SettingsKeyPath, name);
    EXPECT_TRUE(value.has_value()) << name;
    return value.value_or(MemorySettingsBackend::Value{});
  }
  void Close() {
    dialog->show();
    dialog->close();
  }

  MemorySettingsBackend backend;
  ServerSettings settings;
  SettingsForm form{settings};
  std::vector<std::string> ports{"COM1 (/dev/ttyS0)", "COM2 (/dev/ttyUSB0)"};
  SettingsStore store{backend, form, [this] { return ports; }};
  RecordingUi ui;
  bool running = false;
  TempDir dir;
  std::unique_ptr<TForm2> dialog;
};

TEST_F(ConfigDialogTest, ShowsEveryFieldUnderItsValueNameWithItsInitialState) {
  EXPECT_EQ(dialog->windowTitle(), "Konfiguration");
  QTabWidget* tabs = dialog->Tabs();
  ASSERT_EQ(tabs->count(), 3);
  EXPECT_EQ(tabs->tabText(0), "Serveroptionen");
  EXPECT_EQ(tabs->tabText(1), "Funkanpassung");
  EXPECT_EQ(tabs->tabText(2), "Internetanbindung");
  EXPECT_EQ(tabs->currentIndex(), 0);

  for (const SettingDef& def : SettingsTable()) {
    const QString name = QString::fromLatin1(def.name.data(), def.name.size());
    QWidget* widget = dialog->findChild<QWidget*>(name);
    ASSERT_NE(widget, nullptr) << def.name;
    EXPECT_EQ(widget, dialog->Field(def.id));
    EXPECT_EQ(widget->isEnabled(), def.enabled) << def.name;
    switch (def.kind) {
      case SettingKind::Text: {
        auto* edit = qobject_cast<QLineEdit*>(widget);
        ASSERT_NE(edit, nullptr) << def.name;
        EXPECT_EQ(edit->text(), ToQString(def.defaultText)) << def.name;
        EXPECT_EQ(edit->isReadOnly(), def.readOnly) << def.name;
        break;
      }
      case SettingKind::Flag:
        ASSERT_NE(qobject_cast<QAbstractButton*>(widget), nullptr) << def.name;
        EXPECT_EQ(qobject_cast<QAbstractButton*>(widget)->isChecked(), def.defaultChecked)
            << def.name;
        break;
      case SettingKind::Choice:
        ASSERT_NE(qobject_cast<QComboBox*>(widget), nullptr);
        EXPECT_EQ(qobject_cast<QComboBox*>(widget)->currentIndex(), 0) << "no port chosen";
        break;
      case SettingKind::Position:
        ASSERT_NE(qobject_cast<QSlider*>(widget), nullptr);
        EXPECT_EQ(qobject_cast<QSlider*>(widget)->value(), def.defaultNumber);
        break;
    }
  }
  EXPECT_EQ(Shown(Id::EditCFSendAfterTXEN), QString(QChar(0xFF)));
  // The limit of the log folder sits with the other log settings.
  QWidget* folderLimit = dialog->Field(Id::EditCSMaxLogFolderMB);
  EXPECT_EQ(folderLimit->parentWidget(), dialog->Field(Id::EditCSMaxLogLines)->parentWidget());
  EXPECT_TRUE(tabs->widget(0)->isAncestorOf(folderLimit));
  EXPECT_TRUE(tabs->widget(2)->isAncestorOf(dialog->Field(Id::EditCIHttpStatus)));
  EXPECT_EQ(Button(Id::CheckCSKickNotReplyingTIs)->text(),
            "TIs, die             Mal nicht antworten, zwangsweise abmelden");
  EXPECT_EQ(Button(Id::CheckCSLoginCompulsory)->text(),
            QString::fromUtf8("zum Zugriff auf das Velora ist ein Login mit Paßwort nötig"));
  EXPECT_EQ(Button(Id::RBCSTXENTXEmpty)->toolTip(),
            "TXEN-Wechsel erfolgt bei der Auslösung des Events \"Empfangspuffer leer\"");
  EXPECT_TRUE(Button(Id::RBCSDTRhighlow)->toolTip().isEmpty()) << "its hint is not shown";
  EXPECT_EQ(dialog->findChild<QLabel*>("LabelNumOfLogOutAcks")->text(),
            "Logout ACK wird 10 Mal gesendet");
  EXPECT_EQ(dialog->findChild<QLabel*>("LabelDeleteLog")->text(), QString::fromUtf8("löschen"));
}

TEST_F(ConfigDialogTest, LoadingShowsTheStoredValuesAndThePortList) {
  backend.PutString(SettingsKeyPath, "EditCSContent", "/srv/inhalt/");
  backend.PutString(SettingsKeyPath, "CheckCSKickNotReplyingTIs", "true");
  backend.PutString(SettingsKeyPath, "RBCSDTRhighlow", "false");
  backend.PutInteger(SettingsKeyPath, "ComboCSPort", 1);
  backend.PutInteger(SettingsKeyPath, "TrackCSNumOfLogoutAcks", 50);
  ASSERT_TRUE(dialog->FormShow());

  EXPECT_EQ(Shown(Id::EditCSContent), "/srv/inhalt/");
  EXPECT_TRUE(Button(Id::CheckCSKickNotReplyingTIs)->isChecked());
  EXPECT_TRUE(Edit(Id::EditCSKickAfterNumOfNoReplies)->isEnabled());
  EXPECT_FALSE(Button(Id::RBCSDTRhighlow)->isChecked());
  EXPECT_FALSE(Button(Id::RBCSDTRhighhigh)->isChecked()) << "neither of the group chosen";
  EXPECT_EQ(Field<QSlider>(Id::TrackCSNumOfLogoutAcks)->value(), 20);
  EXPECT_EQ(Shown(Id::EditCSMaxLogLines), "2000") << "corrected when applied";

  auto* combo = Field<QComboBox>(Id::ComboCSPort);
  ASSERT_EQ(combo->count(), 3);
  EXPECT_EQ(combo->itemText(1), "COM1 (/dev/ttyS0)");
  EXPECT_EQ(combo->currentText(), "COM2 (/dev/ttyUSB0)");
  EXPECT_EQ(settings.ComPort, 2);
  EXPECT_FALSE(combo->isEditable());
  EXPECT_NE(dialog->findChild<QLabel*>("LabelVirtualRadio"), nullptr);
}

TEST_F(ConfigDialogTest, ALoadErrorIsShownInTheExceptionBox) {
  backend.PutInteger(SettingsKeyPath, "EditCSContent", 7);
  EXPECT_FALSE(dialog->FormShow());
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].rfind("Ausnahmefehler abgefangen:\r\n", 0), 0u) << ui.messages[0];
}

TEST_F(ConfigDialogTest, CheckBoxesEnableTheirNumberFields) {
  for (const auto& [check, field] :
       {std::pair{Id::CheckCSKickNotReplyingTIs, Id::EditCSKickAfterNumOfNoReplies},
        {Id::CheckCSLimitNumOfMails, Id::EditCSMaxNumOfMails}}) {
    const bool before = Button(check)->isChecked();
    EXPECT_EQ(Edit(field)->isEnabled(), before) << Def(field).name;
    Button(check)->click();
    EXPECT_EQ(Edit(field)->isEnabled(), !before) << Def(field).name;
    EXPECT_EQ(form.Checked(check), !before);
    Button(check)->click();
    EXPECT_EQ(Edit(field)->isEnabled(), before) << Def(field).name;
  }
  Button(Id::CheckCSLimitSizeOfMails)->click();
  EXPECT_TRUE(Button(Id::CheckCSLimitSizeOfMails)->isChecked()) << "disabled, only loading sets it";
}

TEST_F(ConfigDialogTest, NumberFieldsTakeOnlyDigitsAndBackspace) {
  for (const SettingDef& def : SettingsTable()) {
    if (!def.number || !def.enabled) continue;
    Type(def.id, "x7-y 3");
    EXPECT_EQ(Shown(def.id), "73") << def.name;
    EXPECT_EQ(form.Text(def.id), "73") << def.name;
    QTest::keyClick(Edit(def.id), Qt::Key_Backspace);
    EXPECT_EQ(form.Text(def.id), "7") << def.name;
  }
  Type(Id::EditCSContent, "/tmp/x");
  EXPECT_EQ(form.Text(Id::EditCSContent), "/tmp/x") << "other fields take any key";
  Type(Id::EditCIProxyIP, "proxy.n");
  QTest::sendKeyEvent(QTest::Click, Edit(Id::EditCIProxyIP), Qt::Key_unknown,
                      QString::fromUtf8("ä"), Qt::NoModifier);
  EXPECT_EQ(form.Text(Id::EditCIProxyIP), "proxy.nä"_cp);
}

TEST_F(ConfigDialogTest, TheSliderLabelAndTheRadioGroupsFollowTheOperator) {
  Field<QSlider>(Id::TrackCSNumOfLogoutAcks)->setValue(20);
  EXPECT_EQ(dialog->findChild<QLabel*>("LabelNumOfLogOutAcks")->text(),
            "Logout ACK wird 20 Mal gesendet");
  EXPECT_EQ(settings.LogoutAckCount, 20);

  Button(Id::RBCSTXENTXEmpty)->click();
  EXPECT_TRUE(Button(Id::RBCSTXENTXEmpty)->isChecked());
  EXPECT_FALSE(Button(Id::RBCSTXENBreak)->isChecked());
  EXPECT_TRUE(settings.TxenOnTxEmpty);
  Button(Id::RBCSTXENTXEmpty)->click();
  EXPECT_TRUE(Button(Id::RBCSTXENTXEmpty)->isChecked()) << "a second click keeps the choice";
}

TEST_F(ConfigDialogTest, ClosingSavesTheFieldsAsTheyStandAndShowsTheCorrections) {
  ASSERT_TRUE(dialog->FormShow());
  Type(Id::EditCSMaxLogLines, "1000");
  Type(Id::EditCSMaxLenSinglePacket, "300");
  Button(Id::CheckCSKickNotReplyingTIs)->click();
  Type(Id::EditCSKickAfterNumOfNoReplies, "0");
  Type(Id::EditCSTXEN2r, "300");
  auto* combo = Field<QComboBox>(Id::ComboCSPort);
  emit combo->activated(1);
  Close();

  EXPECT_FALSE(dialog->isVisible());
  EXPECT_EQ(Stored("EditCSMaxLogLines").text, "1000");
  EXPECT_EQ(Stored("EditCSMaxLenSinglePacket").text, "300");
  EXPECT_EQ(Stored("CheckCSKickNotReplyingTIs").text, "true");
  EXPECT_EQ(Stored("ComboCSPort").number, 0);
  EXPECT_EQ(Shown(Id::EditCSMaxLogLines), "2000");
  EXPECT_EQ(Shown(Id::EditCSMaxLenSinglePacket), "249");
  EXPECT_FALSE(Button(Id::CheckCSKickNotReplyingTIs)->isChecked());
  EXPECT_FALSE(Edit(Id::EditCSKickAfterNumOfNoReplies)->isEnabled());
  EXPECT_EQ(settings.MaxLogLines, 2000);
  EXPECT_EQ(settings.MaxSinglePacketLen, 249);
  EXPECT_EQ(settings.TxenToReadPause, 44);
  EXPECT_FALSE(settings.KickSilentStations);
  EXPECT_EQ(settings.ComPort, 1);

  // Opening again shows the values as they were left; choosing no port is the virtual radio.
  dialog->show();
  EXPECT_EQ(Shown(Id::EditCSMaxLogLines), "2000");
  emit combo->activated(0);
  dialog->close();
  EXPECT_EQ(settings.ComPort, 0);
  EXPECT_EQ(Stored("ComboCSPort").number, -1);
  EXPECT_EQ(Stored("EditCSMaxLogLines").text, "2000");
}

TEST_F(ConfigDialogTest, AValueThatCannotBeWrittenKeepsTheDialogOpen) {
  ASSERT_TRUE(dialog->FormShow());
  backend.RefuseWrites("CheckCSNoWrap");
  Type(Id::EditCSTXEN2w, "7");
  Close();
  EXPECT_TRUE(dialog->isVisible());
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].rfind("Ausnahmefehler abgefangen:\r\n", 0), 0u) << ui.messages[0];
  EXPECT_EQ(settings.TxenToWritePause, 3) << "nothing applied";
  dialog->close();
  EXPECT_EQ(ui.messages.size(), 2u) << "closing again saves again";
  EXPECT_TRUE(dialog->isVisible());
}

TEST_F(ConfigDialogTest, DeletingOldLogsIsRefusedWhileRunningAndAsksFirst) {
  namespace fs = std::filesystem;
  testing::WriteFileBytes(dir.File("veloraserverlog.txt"), "log");
  testing::WriteFileBytes(dir.File("veloraserverlog20261206@090705.txt"), "old");
  auto* label = dialog->findChild<QLabel*>("LabelDeleteLog");
  dialog->show();

  running = true;
  QTest::mouseClick(label, Qt::LeftButton);
  EXPECT_EQ(ui.messages, std::vector{std::string("Geht nicht solange der Server läuft."_cp)});
  EXPECT_TRUE(ui.questions.empty());

  running = false;
  ui.confirmAnswer = false;
  QTest::mouseClick(label, Qt::LeftButton);
  EXPECT_EQ(ui.questions, std::vector{std::string("Logdateien wirklich löschen?"_cp)});
  EXPECT_EQ(ui.messages.size(), 1u);
  EXPECT_TRUE(fs::exists(dir.File("veloraserverlog.txt")));

  ui.confirmAnswer = true;
  QTest::mouseClick(label, Qt::LeftButton);
  EXPECT_EQ(ui.messages.back(), "2 Logdateien gelöscht."_cp);
  QTest::mouseClick(label, Qt::LeftButton);
  EXPECT_EQ(ui.messages.back(), "0 Logdateien gelöscht."_cp);
  EXPECT_TRUE(dialog->isVisible());
}

}  // namespace
}  // namespace velora
