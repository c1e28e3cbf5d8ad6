// The dialog's field model: defaults, enable logic, radio groups, slider, write-through and
// SetUpVars.
#include "settings/settings_form.h"

#include <gtest/gtest.h>

#include <vector>

namespace velora {
namespace {

using Id = SettingId;

class SettingsFormTest : public ::testing::Test {
 protected:
  ServerSettings settings;
  SettingsForm form{settings};
};

TEST_F(SettingsFormTest, StartsWithTheDialogDefaultsAndTheirEnabledStates) {
  EXPECT_EQ(form.Text(Id::EditCSContent), "./content/");
  EXPECT_EQ(form.Text(Id::EditCSMaxLogLines), "1000");
  EXPECT_EQ(form.Text(Id::EditCFSendAfterTXEN), "\xFF");
  EXPECT_EQ(form.Text(Id::EditCIProxyIP), "");
  EXPECT_TRUE(form.Checked(Id::CheckCSLoginCompulsory));
  EXPECT_FALSE(form.Checked(Id::CheckCSKickNotReplyingTIs));
  EXPECT_TRUE(form.Checked(Id::RBCSTXENBreak));
  EXPECT_FALSE(form.Checked(Id::RBCSTXENTXEmpty));
  EXPECT_TRUE(form.Checked(Id::RBCSDTRhighlow));
  EXPECT_FALSE(form.Checked(Id::RBCSDTRhighhigh));
  EXPECT_EQ(form.ComboIndex(), -1);
  EXPECT_EQ(form.ChosenPortName(), "");
  EXPECT_EQ(form.SliderPosition(), 10);
  EXPECT_EQ(form.SliderLabel(), "Logout ACK wird 10 Mal gesendet");

  // The kick count waits for its check box; the mail size pair is shown disabled although checked.
  EXPECT_FALSE(form.Enabled(Id::EditCSKickAfterNumOfNoReplies));
  EXPECT_TRUE(form.Enabled(Id::EditCSMaxNumOfMails));
  EXPECT_TRUE(form.Checked(Id::CheckCSLimitSizeOfMails));
  EXPECT_FALSE(form.Enabled(Id::CheckCSLimitSizeOfMails));
  EXPECT_FALSE(form.Enabled(Id::EditCSMaxSizeOfMails));
  for (Id id : {Id::CheckCSMarkingCond, Id::EditCSPacketInitString, Id::CheckCSSendPacketInitString,
                Id::CheckCFSendAfterTXEN, Id::EditCFSendAfterTXEN})
    EXPECT_FALSE(form.Enabled(id)) << Def(id).name;
  EXPECT_TRUE(form.ReadOnly(Id::EditCSPacketInitString));
  EXPECT_TRUE(form.ReadOnly(Id::EditCFSendAfterTXEN));
  EXPECT_FALSE(form.ReadOnly(Id::EditCSContent));
}

TEST_F(SettingsFormTest, TakesOverTheAtUseSettingsOfTheRecordItIsGiven) {
  ServerSettings other;
  other.ContentDir = "/elsewhere/";
  other.LoginRequired = false;
  other.LogoutAckCount = 3;
  other.TxenHighIsDtrFalse = false;
  other.MaxLogLines = 9999;  // copied: left alone until SetUpVars
  SettingsForm fresh(other);
  EXPECT_EQ(other.ContentDir, "./content/");
  EXPECT_TRUE(other.LoginRequired);
  EXPECT_EQ(other.LogoutAckCount, 10);
  EXPECT_TRUE(other.TxenHighIsDtrFalse);
  EXPECT_EQ(other.MaxLogLines, 9999);
}

TEST_F(SettingsFormTest, CheckBoxesEnableTheirNumberFields) {
  form.SetChecked(Id::CheckCSKickNotReplyingTIs, true);
  EXPECT_TRUE(form.Enabled(Id::EditCSKickAfterNumOfNoReplies));
  form.SetChecked(Id::CheckCSKickNotReplyingTIs, false);
  EXPECT_FALSE(form.Enabled(Id::EditCSKickAfterNumOfNoReplies));

  form.SetChecked(Id::CheckCSLimitNumOfMails, false);
  EXPECT_FALSE(form.Enabled(Id::EditCSMaxNumOfMails));
  form.SetChecked(Id::CheckCSLimitNumOfMails, true);
  EXPECT_TRUE(form.Enabled(Id::EditCSMaxNumOfMails));

  // Only a change of state runs the logic: the disabled size field stays so while checked.
  form.SetChecked(Id::CheckCSLimitSizeOfMails, true);
  EXPECT_FALSE(form.Enabled(Id::EditCSMaxSizeOfMails));
  form.SetChecked(Id::CheckCSLimitSizeOfMails, false);
  form.SetChecked(Id::CheckCSLimitSizeOfMails, true);
  EXPECT_TRUE(form.Enabled(Id::EditCSMaxSizeOfMails));
  // The check box itself stays as it was shown.
  EXPECT_FALSE(form.Enabled(Id::CheckCSLimitSizeOfMails));
}

TEST_F(SettingsFormTest, RadioButtonClearsItsPartnerButNeverSetsIt) {
  form.SetChecked(Id::RBCSTXENTXEmpty, true);
  EXPECT_FALSE(form.Checked(Id::RBCSTXENBreak));
  EXPECT_TRUE(settings.TxenOnTxEmpty);

  form.SetChecked(Id::RBCSDTRhighhigh, true);
  EXPECT_FALSE(form.Checked(Id::RBCSDTRhighlow));
  EXPECT_FALSE(settings.TxenHighIsDtrFalse);
  form.SetChecked(Id::RBCSDTRhighlow, true);
  EXPECT_FALSE(form.Checked(Id::RBCSDTRhighhigh));
  EXPECT_TRUE(settings.TxenHighIsDtrFalse);

  form.SetChecked(Id::RBCSTXENTXEmpty, false);
  EXPECT_FALSE(form.Checked(Id::RBCSTXENBreak));
  EXPECT_FALSE(form.Checked(Id::RBCSTXENTXEmpty));
  EXPECT_FALSE(settings.TxenOnTxEmpty);
  // Other groups are untouched.
  EXPECT_TRUE(form.Checked(Id::RBCSDTRhighlow));
}

TEST_F(SettingsFormTest, SliderStaysInRangeAndLabelsItsPosition) {
  form.SetSliderPosition(20);
  EXPECT_EQ(form.SliderLabel(), "Logout ACK wird 20 Mal gesendet");
  EXPECT_EQ(settings.LogoutAckCount, 20);
  form.SetSliderPosition(50);
  EXPECT_EQ(form.SliderPosition(), 20);
  form.SetSliderPosition(0);
  EXPECT_EQ(form.SliderPosition(), 1);
  EXPECT_EQ(form.SliderLabel(), "Logout ACK wird 1 Mal gesendet");
  EXPECT_EQ(settings.LogoutAckCount, 1);
}

TEST_F(SettingsFormTest, EveryChangeOfAnAtUseFieldReachesTheSettingsAtOnce) {
  for (const SettingDef& def : SettingsTable()) {
    if (def.flagTarget == nullptr) continue;
    const bool before = form.Checked(def.id);
    if (def.radioPartner >= 0 && before) {
      // A radio button is cleared by choosing its partner.
      form.SetChecked(static_cast<Id>(def.radioPartner), true);
    } else {
      form.SetChecked(def.id, !before);
    }
    EXPECT_EQ(settings.*def.flagTarget, !before) << def.name;
  }
  form.SetText(Id::EditCSContent, "/srv/pages/");
  EXPECT_EQ(settings.ContentDir, "/srv/pages/");
  form.SetText(Id::EditCIProxyIP, "10.0.0.1");
  form.SetText(Id::EditCIProxyPort, "8080");
  EXPECT_EQ(settings.ProxyHost, "10.0.0.1");
  EXPECT_EQ(settings.ProxyPort, "8080");
}

TEST_F(SettingsFormTest, CopiedFieldsWaitForSetUpVars) {
  form.SetText(Id::EditCSTXEN2w, "9");
  form.SetText(Id::EditCSReceiveWait, "77");
  form.SetText(Id::EditCSPacketInitString, "AB");
  form.SetText(Id::EditCSMaxNumOfMails, "4");
  EXPECT_EQ(settings.TxenToWritePause, 3);
  EXPECT_EQ(settings.ReceiveWait, 50);
  EXPECT_EQ(settings.PacketInitString, "U");
  EXPECT_EQ(settings.MaxMailCount, 15);
  form.SetUpVars();
  EXPECT_EQ(settings.TxenToWritePause, 9);
  EXPECT_EQ(settings.ReceiveWait, 77);
  EXPECT_EQ(settings.PacketInitString, "AB");
  EXPECT_EQ(settings.MaxMailCount, 4);
}

TEST_F(SettingsFormTest, TextIsCutToTheFieldsMaximumLength) {
  form.SetText(Id::EditCSPacketInitString, "UUUUU");
  EXPECT_EQ(form.Text(Id::EditCSPacketInitString), "UUU");
  form.SetText(Id::EditCFSendAfterTXEN, "ab");
  EXPECT_EQ(form.Text(Id::EditCFSendAfterTXEN), "a");
  EXPECT_EQ(settings.AfterTxenSwitchChars, "a");
  const std::string longPath(300, 'p');
  form.SetText(Id::EditCSContent, longPath);
  EXPECT_EQ(form.Text(Id::EditCSContent), longPath);
}

TEST_F(SettingsFormTest, NumberFieldsTakeOnlyTypedDigitsAndBackspace) {
  const std::vector<Id> numberFields{Id::EditCSMaxLogLines,
                                     Id::EditCSKickAfterNumOfNoReplies,
                                     Id::EditCSMaxNumOfMails,
                                     Id::EditCSMaxSizeOfMails,
                                     Id::EditCSTXEN2r,
                                     Id::EditCSTXEN2w,
                                     Id::EditCSRegisterWait,
                                     Id::EditCSReceiveWait,
                                     Id::EditCSPauseAfterSendShortPacket,
                                     Id::EditCSPauseAfterSendLongPacket,
                                     Id::EditCSMaxLenSinglePacket,
                                     Id::EditCSMaxLogFolderMB};
  for (Id id : numberFields) {
    EXPECT_TRUE(form.AcceptsTypedKey(id, '0')) << Def(id).name;
    EXPECT_TRUE(form.AcceptsTypedKey(id, '9')) << Def(id).name;
    EXPECT_TRUE(form.AcceptsTypedKey(id, '\b')) << Def(id).name;
    for (char key : {'a', '-', '$', ' ', 'x', '/'})
      EXPECT_FALSE(form.AcceptsTypedKey(id, key)) << Def(id).name << " " << key;
  }
  int numbers = 0;
  for (const SettingDef& def : SettingsTable())
    numbers += def.number ? 1 : 0;
  EXPECT_EQ(numbers, static_cast<int>(numberFields.size()));
  EXPECT_TRUE(form.AcceptsTypedKey(Id::EditCSContent, 'a'));
  EXPECT_TRUE(form.AcceptsTypedKey(Id::EditCIProxyPort, ':'));
  EXPECT_FALSE(form.AcceptsTypedKey(Id::EditCSPacketInitString, 'U'));
  EXPECT_FALSE(form.AcceptsTypedKey(Id::CheckCSNoWrap, '1'));
}

TEST_F(SettingsFormTest, SetUpVarsConvertsAndCutsToWidth) {
  form.SetText(Id::EditCSTXEN2r, "300");
  form.SetText(Id::EditCSTXEN2w, "-1");
  form.SetText(Id::EditCSRegisterWait, "70000");
  form.SetText(Id::EditCSReceiveWait, "$1F");
  form.SetText(Id::EditCSPauseAfterSendShortPacket, "  0x10 ms");
  form.SetText(Id::EditCSPauseAfterSendLongPacket, "-250");
  form.SetText(Id::EditCSMaxSizeOfMails, "x1g");
  form.SetText(Id::EditCSKickAfterNumOfNoReplies, "4000000000");
  form.SetUpVars();
  EXPECT_EQ(settings.TxenToReadPause, 44);
  EXPECT_EQ(settings.TxenToWritePause, 255);
  EXPECT_EQ(settings.RegisterWait, 70000 - 65536);
  EXPECT_EQ(settings.ReceiveWait, 31);
  EXPECT_EQ(settings.ControlPacketPause, 16);
  EXPECT_EQ(settings.ContentPacketPause, -250);
  EXPECT_EQ(settings.MaxMailSizeKB, 1);
  EXPECT_EQ(settings.KickAfterNoReplies, 2147483647);
  // Only the limited fields are rewritten.
  EXPECT_EQ(form.Text(Id::EditCSTXEN2r), "300");
}

TEST_F(SettingsFormTest, LogLinesNeverBelowTwoThousand) {
  form.SetUpVars();
  EXPECT_EQ(settings.MaxLogLines, 2000);
  EXPECT_EQ(form.Text(Id::EditCSMaxLogLines), "2000");
  form.SetText(Id::EditCSMaxLogLines, "1999x");
  form.SetUpVars();
  EXPECT_EQ(form.Text(Id::EditCSMaxLogLines), "2000");
  form.SetText(Id::EditCSMaxLogLines, "2001 ");
  form.SetUpVars();
  EXPECT_EQ(settings.MaxLogLines, 2001);
  EXPECT_EQ(form.Text(Id::EditCSMaxLogLines), "2001 ");
}

TEST_F(SettingsFormTest, TheLogFolderLimitIsCopiedAndNeverNegative) {
  EXPECT_EQ(form.Text(Id::EditCSMaxLogFolderMB), "200");
  form.SetText(Id::EditCSMaxLogFolderMB, "7");
  EXPECT_EQ(settings.MaxLogFolderMB, 200) << "copied by SetUpVars";
  struct Case {
    const char* text;
    int value;
    const char* shown;
  };
  for (const Case& c : {Case{"200", 200, "200"}, Case{"0", 0, "0"}, Case{"5000", 5000, "5000"},
                        Case{"-3", 0, "0"}, Case{"", 0, ""}}) {
    form.SetText(Id::EditCSMaxLogFolderMB, c.text);
    form.SetUpVars();
    EXPECT_EQ(settings.MaxLogFolderMB, c.value) << c.text;
    EXPECT_EQ(form.Text(Id::EditCSMaxLogFolderMB), c.shown) << c.text;
  }
}

TEST_F(SettingsFormTest, PacketLengthIsLimitedAndTheFieldCorrected) {
  struct Case {
    const char* text;
    int value;
    const char* shown;
  };
  for (const Case& c : {Case{"0", 1, "1"}, Case{"300", 249, "249"}, Case{"abc", 1, "1"},
                        Case{"-7", 1, "1"}, Case{"249", 249, "249"}, Case{"1", 1, "1"},
                        Case{"100", 100, "100"}, Case{"$FA", 249, "249"}}) {
    form.SetText(Id::EditCSMaxLenSinglePacket, c.text);
    form.SetUpVars();
    EXPECT_EQ(settings.MaxSinglePacketLen, c.value) << c.text;
    EXPECT_EQ(form.Text(Id::EditCSMaxLenSinglePacket), c.shown) << c.text;
  }
}

TEST_F(SettingsFormTest, KickCountZeroSwitchesKickingOff) {
  form.SetChecked(Id::CheckCSKickNotReplyingTIs, true);
  form.SetText(Id::EditCSKickAfterNumOfNoReplies, "0");
  form.SetUpVars();
  EXPECT_EQ(settings.KickAfterNoReplies, 0);
  EXPECT_FALSE(form.Checked(Id::CheckCSKickNotReplyingTIs));
  EXPECT_FALSE(form.Enabled(Id::EditCSKickAfterNumOfNoReplies));
  EXPECT_FALSE(settings.KickSilentStations);

  form.SetChecked(Id::CheckCSKickNotReplyingTIs, true);
  form.SetText(Id::EditCSKickAfterNumOfNoReplies, "12");
  form.SetUpVars();
  EXPECT_TRUE(settings.KickSilentStations);
  EXPECT_EQ(settings.KickAfterNoReplies, 12);
}

TEST_F(SettingsFormTest, PortNumberIsTheDigitAfterCom) {
  std::vector<int> handed;
  form.SetPortNumberHandler([&](int n) { handed.push_back(n); });
  form.SetUpVars();
  EXPECT_EQ(settings.ComPort, 0);

  form.SetPortNames({"COM3 (/dev/ttyUSB0)", "COM12", "COM", "COMx"});
  form.SetComboIndex(0);
  form.SetUpVars();
  EXPECT_EQ(settings.ComPort, 3);
  form.SetComboIndex(1);
  form.SetUpVars();
  EXPECT_EQ(settings.ComPort, 1);
  form.SetComboIndex(2);
  form.SetUpVars();
  EXPECT_EQ(settings.ComPort, 0);
  form.SetComboIndex(3);
  form.SetUpVars();
  EXPECT_EQ(settings.ComPort, 0);
  EXPECT_EQ(handed, (std::vector<int>{0, 3, 1, 0, 0}));
}

TEST_F(SettingsFormTest, ComboChoosesOnlyEntriesOfItsList) {
  form.SetComboIndex(0);
  EXPECT_EQ(form.ComboIndex(), -1);
  form.SetPortNames({"COM1", "COM2"});
  form.SetComboIndex(1);
  EXPECT_EQ(form.ChosenPortName(), "COM2");
  form.SetComboIndex(2);
  EXPECT_EQ(form.ComboIndex(), -1);
  form.SetComboIndex(1);
  form.SetPortNames({"COM5"});
  EXPECT_EQ(form.ComboIndex(), -1);
}

TEST_F(SettingsFormTest, ReportsEveryVisibleChangeOnce) {
  std::vector<Id> changed;
  form.SetChangeHandler([&](Id id) { changed.push_back(id); });
  form.SetText(Id::EditCSContent, "./content/");  // unchanged
  form.SetChecked(Id::CheckCSNoWrap, false);      // unchanged
  EXPECT_TRUE(changed.empty());

  form.SetChecked(Id::CheckCSKickNotReplyingTIs, true);
  EXPECT_EQ(changed,
            (std::vector<Id>{Id::CheckCSKickNotReplyingTIs, Id::EditCSKickAfterNumOfNoReplies}));
  changed.clear();
  form.SetChecked(Id::RBCSTXENTXEmpty, true);
  EXPECT_EQ(changed, (std::vector<Id>{Id::RBCSTXENBreak, Id::RBCSTXENTXEmpty}));
  changed.clear();
  form.SetText(Id::EditCSKickAfterNumOfNoReplies, "0");
  changed.clear();
  form.SetUpVars();
  EXPECT_EQ(changed, (std::vector<Id>{Id::EditCSMaxLogLines, Id::CheckCSKickNotReplyingTIs,
                                      Id::EditCSKickAfterNumOfNoReplies}));
  changed.clear();
  form.SetSliderPosition(10);
  form.SetSliderPosition(11);
  EXPECT_EQ(changed, (std::vector<Id>{Id::TrackCSNumOfLogoutAcks}));
}

}  // namespace
}  // namespace velora
