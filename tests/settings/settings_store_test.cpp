// Loading, saving and applying the settings over the in-memory store.
#include "settings/settings_store.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>

#include "common/cp1252.h"
#include "support/memory_settings_backend.h"

namespace velora {
namespace {

using Id = SettingId;
using Kind = SettingsBackend::ValueKind;
using ::testing::HasSubstr;

// One program run: its own applied settings, dialog fields and store, over a shared backend.
struct ProgramRun {
  explicit ProgramRun(MemorySettingsBackend& backend, std::vector<std::string> ports = {})
      : store(backend, form, [ports] { return ports; }) {
    form.SetPortNumberHandler([this](int n) { portNumbers.push_back(n); });
  }
  ServerSettings settings;
  SettingsForm form{settings};
  SettingsStore store;
  std::vector<int> portNumbers;
};

class SettingsStoreTest : public ::testing::Test {
 protected:
  void Put(std::string_view name, std::string_view text) {
    backend.PutString(SettingsKeyPath, name, text);
  }
  void PutInt(std::string_view name, std::int32_t number) {
    backend.PutInteger(SettingsKeyPath, name, number);
  }
  std::optional<MemorySettingsBackend::Value> Stored(std::string_view name) {
    return backend.Get(SettingsKeyPath, name);
  }
  std::string StoredText(std::string_view name) {
    auto value = Stored(name);
    EXPECT_TRUE(value && value->kind == Kind::String) << name;
    return value ? value->text : std::string();
  }
  // Loads a new run from the backend as it stands.
  std::unique_ptr<ProgramRun> LoadedRun(std::vector<std::string> ports = {}) {
    auto run = std::make_unique<ProgramRun>(backend, std::move(ports));
    const SettingsFailure failure = run->store.Load();
    EXPECT_FALSE(failure) << *failure;
    return run;
  }

  MemorySettingsBackend backend;
};

TEST_F(SettingsStoreTest, FirstRunCreatesTheKeyAndAppliesTheDefaults) {
  ASSERT_FALSE(backend.HasKey(SettingsKeyPath));
  auto run = LoadedRun();
  EXPECT_TRUE(backend.HasKey(SettingsKeyPath));
  EXPECT_TRUE(run->store.Loaded());
  EXPECT_EQ(run->settings.ComPort, 0);
  EXPECT_EQ(run->portNumbers, std::vector<int>{0});
  EXPECT_EQ(run->settings.MaxLogLines, 2000);
  EXPECT_EQ(run->form.Text(Id::EditCSMaxLogLines), "2000");
  EXPECT_EQ(run->settings.ContentDir, "./content/");
  EXPECT_EQ(run->settings.MaxSinglePacketLen, 249);
  EXPECT_EQ(run->settings.KickAfterNoReplies, 30);
  EXPECT_EQ(run->settings.TxenToWritePause, 3);
  EXPECT_EQ(run->settings.PacketInitString, "U");
  EXPECT_EQ(run->settings.AfterTxenSwitchChars, "\xFF");
  EXPECT_TRUE(run->settings.LoginRequired);
  EXPECT_TRUE(run->settings.TxenHighIsDtrFalse);
  EXPECT_FALSE(run->settings.TxenOnTxEmpty);
  EXPECT_EQ(run->settings.LogoutAckCount, 10);
  // Loading writes nothing.
  EXPECT_TRUE(backend.WriteLog().empty());
}

TEST_F(SettingsStoreTest, SaveWritesEveryFieldInDialogOrderWithItsKind) {
  ProgramRun run(backend);
  run.form.SetPortNames({"COM1", "COM2"});
  run.form.SetComboIndex(1);
  ASSERT_FALSE(run.store.Save());

  std::vector<std::string> expected;
  for (const SettingDef& def : SettingsTable())
    expected.emplace_back(def.name);
  EXPECT_EQ(backend.WriteLog(), expected);

  for (const SettingDef& def : SettingsTable()) {
    auto value = Stored(def.name);
    ASSERT_TRUE(value) << def.name;
    const bool integer = def.kind == SettingKind::Choice || def.kind == SettingKind::Position;
    EXPECT_EQ(value->kind, integer ? Kind::Integer : Kind::String) << def.name;
  }
  EXPECT_EQ(StoredText("CheckCSLoginCompulsory"), "true");
  EXPECT_EQ(StoredText("CheckCSNoWrap"), "false");
  EXPECT_EQ(StoredText("RBCSTXENBreak"), "true");
  EXPECT_EQ(StoredText("EditCFSendAfterTXEN"), "\xFF");
  EXPECT_EQ(StoredText("EditCIProxyIP"), "");
  EXPECT_EQ(Stored("ComboCSPort")->number, 1);
  EXPECT_EQ(Stored("TrackCSNumOfLogoutAcks")->number, 10);
  EXPECT_EQ(run.settings.ComPort, 2);
}

TEST_F(SettingsStoreTest, SaveStoresTheFieldsBeforeSetUpVarsCorrectsThem) {
  ProgramRun run(backend);
  run.form.SetText(Id::EditCSMaxLenSinglePacket, "300");
  ASSERT_FALSE(run.store.Save());
  EXPECT_EQ(StoredText("EditCSMaxLogLines"), "1000");
  EXPECT_EQ(StoredText("EditCSMaxLenSinglePacket"), "300");
  EXPECT_EQ(run.form.Text(Id::EditCSMaxLenSinglePacket), "249");
  EXPECT_EQ(run.settings.MaxSinglePacketLen, 249);

  ASSERT_FALSE(run.store.Save());
  EXPECT_EQ(StoredText("EditCSMaxLogLines"), "2000");
  EXPECT_EQ(StoredText("EditCSMaxLenSinglePacket"), "249");
}

TEST_F(SettingsStoreTest, EmptiedContentDirectoryComesBackAsDefaultNextRun) {
  {
    auto run = LoadedRun();
    run->form.SetText(Id::EditCSContent, "");
    EXPECT_EQ(run->settings.ContentDir, "");
    ASSERT_FALSE(run->store.Save());
    EXPECT_EQ(StoredText("EditCSContent"), "");
  }
  auto next = LoadedRun();
  EXPECT_EQ(next->form.Text(Id::EditCSContent), "./content/");
  EXPECT_EQ(next->settings.ContentDir, "./content/");
}

TEST_F(SettingsStoreTest, EverySettingSurvivesSaveAndLoad) {
  {
    auto run = LoadedRun({"COM1", "COM4 (/dev/ttyS3)"});
    SettingsForm& f = run->form;
    f.SetText(Id::EditCSContent, "/srv/Inhalt/\xE4\xF6\xFC/");
    f.SetChecked(Id::CheckCSNoWrap, true);
    f.SetChecked(Id::CheckCSDeleteOldLog, true);
    f.SetText(Id::EditCSMaxLogLines, "5000");
    f.SetChecked(Id::CheckDoNotUseTableInTiSim, true);
    f.SetChecked(Id::CheckCSKickNotReplyingTIs, true);
    f.SetText(Id::EditCSKickAfterNumOfNoReplies, "12");
    f.SetComboIndex(1);
    f.SetChecked(Id::CheckCSLoginCompulsory, false);
    f.SetChecked(Id::CheckCSLimitNumOfMails, false);
    f.SetText(Id::EditCSMaxNumOfMails, "7");
    f.SetChecked(Id::CheckCSDropRcvdWhileTXENWechsel, true);
    f.SetSliderPosition(17);
    f.SetChecked(Id::RBCSTXENTXEmpty, true);
    f.SetChecked(Id::RBCSDTRhighhigh, true);
    f.SetText(Id::EditCSTXEN2r, "2");
    f.SetText(Id::EditCSTXEN2w, "5");
    f.SetText(Id::EditCSRegisterWait, "25");
    f.SetText(Id::EditCSReceiveWait, "60");
    f.SetText(Id::EditCSPauseAfterSendShortPacket, "31");
    f.SetText(Id::EditCSMaxLenSinglePacket, "120");
    f.SetText(Id::EditCSPauseAfterSendLongPacket, "90");
    f.SetText(Id::EditCIProxyIP, "proxy.example");
    f.SetText(Id::EditCIProxyPort, "3128");
    ASSERT_FALSE(run->store.Save());
  }
  auto run = LoadedRun({"COM1", "COM4 (/dev/ttyS3)"});
  const ServerSettings& s = run->settings;
  EXPECT_EQ(s.ContentDir, "/srv/Inhalt/\xE4\xF6\xFC/");
  EXPECT_TRUE(s.NoWrap);
  EXPECT_TRUE(s.SameLogFile);
  EXPECT_EQ(s.MaxLogLines, 5000);
  EXPECT_TRUE(s.TiSimNoCharTable);
  EXPECT_TRUE(s.KickSilentStations);
  EXPECT_TRUE(run->form.Enabled(Id::EditCSKickAfterNumOfNoReplies));
  EXPECT_EQ(s.KickAfterNoReplies, 12);
  EXPECT_EQ(s.ComPort, 4);
  EXPECT_EQ(run->portNumbers, std::vector<int>{4});
  EXPECT_FALSE(s.LoginRequired);
  EXPECT_FALSE(s.LimitMailCount);
  EXPECT_FALSE(run->form.Enabled(Id::EditCSMaxNumOfMails));
  EXPECT_EQ(s.MaxMailCount, 7);
  EXPECT_TRUE(s.DropRxDuringTurnaround);
  EXPECT_EQ(s.LogoutAckCount, 17);
  EXPECT_EQ(run->form.SliderLabel(), "Logout ACK wird 17 Mal gesendet");
  EXPECT_TRUE(s.TxenOnTxEmpty);
  EXPECT_FALSE(run->form.Checked(Id::RBCSTXENBreak));
  EXPECT_FALSE(s.TxenHighIsDtrFalse);
  EXPECT_TRUE(run->form.Checked(Id::RBCSDTRhighhigh));
  EXPECT_EQ(s.TxenToReadPause, 2);
  EXPECT_EQ(s.TxenToWritePause, 5);
  EXPECT_EQ(s.RegisterWait, 25);
  EXPECT_EQ(s.ReceiveWait, 60);
  EXPECT_EQ(s.ControlPacketPause, 31);
  EXPECT_EQ(s.MaxSinglePacketLen, 120);
  EXPECT_EQ(s.ContentPacketPause, 90);
  EXPECT_EQ(s.ProxyHost, "proxy.example");
  EXPECT_EQ(s.ProxyPort, "3128");
}

TEST_F(SettingsStoreTest, FlagsAreTrueOnlyForExactTrueOrYes) {
  struct Case {
    const char* stored;
    bool value;
  };
  for (const Case& c :
       {Case{"yes", true}, Case{"true", true}, Case{"TRUE", false}, Case{"Yes", false},
        Case{"1", false}, Case{"on", false}, Case{"", false}, Case{"true ", false}}) {
    Put("CheckCSNoWrap", c.stored);
    Put("CheckCSLoginCompulsory", c.stored);
    auto run = LoadedRun();
    EXPECT_EQ(run->settings.NoWrap, c.value) << c.stored;
    EXPECT_EQ(run->settings.LoginRequired, c.value) << c.stored;
  }
}

TEST_F(SettingsStoreTest, FlagsOfAnotherKindKeepTheirDefault) {
  PutInt("CheckCSLoginCompulsory", 0);
  PutInt("CheckCSNoWrap", 1);
  backend.PutOther(SettingsKeyPath, "RBCSDTRhighlow");
  auto run = LoadedRun();
  EXPECT_TRUE(run->settings.LoginRequired);
  EXPECT_FALSE(run->settings.NoWrap);
  EXPECT_TRUE(run->settings.TxenHighIsDtrFalse);
}

TEST_F(SettingsStoreTest, SliderIsLimitedToItsRange) {
  PutInt("TrackCSNumOfLogoutAcks", 50);
  EXPECT_EQ(LoadedRun()->settings.LogoutAckCount, 20);
  PutInt("TrackCSNumOfLogoutAcks", 0);
  auto low = LoadedRun();
  EXPECT_EQ(low->settings.LogoutAckCount, 1);
  EXPECT_EQ(low->form.SliderLabel(), "Logout ACK wird 1 Mal gesendet");
  PutInt("TrackCSNumOfLogoutAcks", -2147483647 - 1);
  EXPECT_EQ(LoadedRun()->settings.LogoutAckCount, 1);
  Put("TrackCSNumOfLogoutAcks", "15");
  EXPECT_EQ(LoadedRun()->settings.LogoutAckCount, 10);
}

TEST_F(SettingsStoreTest, PortChoiceIsLimitedToTheList) {
  PutInt("ComboCSPort", 7);
  auto beyond = LoadedRun({"COM1", "COM2", "COM3"});
  EXPECT_EQ(beyond->form.ComboIndex(), 2);
  EXPECT_EQ(beyond->settings.ComPort, 3);

  auto empty = LoadedRun();
  EXPECT_EQ(empty->form.ComboIndex(), -1);
  EXPECT_EQ(empty->settings.ComPort, 0);

  PutInt("ComboCSPort", -5);
  EXPECT_EQ(LoadedRun({"COM1"})->settings.ComPort, 0);

  Put("ComboCSPort", "1");
  EXPECT_EQ(LoadedRun({"COM1", "COM2"})->form.ComboIndex(), -1);

  PutInt("ComboCSPort", 0);
  auto twelve = LoadedRun({"COM12"});
  EXPECT_EQ(twelve->settings.ComPort, 1);
}

TEST_F(SettingsStoreTest, RadioGroupsAreSetInOrder) {
  Put("RBCSTXENBreak", "false");
  Put("RBCSTXENTXEmpty", "false");
  Put("RBCSDTRhighlow", "false");
  Put("RBCSDTRhighhigh", "false");
  auto neither = LoadedRun();
  for (Id id : {Id::RBCSTXENBreak, Id::RBCSTXENTXEmpty, Id::RBCSDTRhighlow, Id::RBCSDTRhighhigh})
    EXPECT_FALSE(neither->form.Checked(id)) << Def(id).name;
  EXPECT_FALSE(neither->settings.TxenOnTxEmpty);
  EXPECT_FALSE(neither->settings.TxenHighIsDtrFalse);

  Put("RBCSTXENBreak", "true");
  Put("RBCSTXENTXEmpty", "true");
  Put("RBCSDTRhighlow", "true");
  Put("RBCSDTRhighhigh", "true");
  auto both = LoadedRun();
  EXPECT_FALSE(both->form.Checked(Id::RBCSTXENBreak));
  EXPECT_TRUE(both->form.Checked(Id::RBCSTXENTXEmpty));
  EXPECT_TRUE(both->settings.TxenOnTxEmpty);
  EXPECT_FALSE(both->form.Checked(Id::RBCSDTRhighlow));
  EXPECT_TRUE(both->form.Checked(Id::RBCSDTRhighhigh));
  EXPECT_FALSE(both->settings.TxenHighIsDtrFalse);
}

TEST_F(SettingsStoreTest, NumberTextsAreAppliedWithTheirLimits) {
  Put("EditCSMaxLenSinglePacket", "0");
  Put("EditCSTXEN2r", "300");
  Put("EditCSMaxLogLines", "abc");
  auto run = LoadedRun();
  EXPECT_EQ(run->settings.MaxSinglePacketLen, 1);
  EXPECT_EQ(run->form.Text(Id::EditCSMaxLenSinglePacket), "1");
  EXPECT_EQ(run->settings.TxenToReadPause, 44);
  EXPECT_EQ(run->settings.MaxLogLines, 2000);
  // The store keeps the uncorrected text until the next save.
  EXPECT_EQ(StoredText("EditCSMaxLenSinglePacket"), "0");
  ASSERT_FALSE(run->store.Save());
  EXPECT_EQ(StoredText("EditCSMaxLenSinglePacket"), "1");
  EXPECT_EQ(StoredText("EditCSMaxLogLines"), "2000");
}

TEST_F(SettingsStoreTest, KickCountZeroClearsTheCheckBoxButTheStoreOnlyAtTheNextSave) {
  Put("CheckCSKickNotReplyingTIs", "true");
  Put("EditCSKickAfterNumOfNoReplies", "0");
  auto run = LoadedRun();
  EXPECT_FALSE(run->form.Checked(Id::CheckCSKickNotReplyingTIs));
  EXPECT_FALSE(run->form.Enabled(Id::EditCSKickAfterNumOfNoReplies));
  EXPECT_FALSE(run->settings.KickSilentStations);
  EXPECT_EQ(StoredText("CheckCSKickNotReplyingTIs"), "true");
  ASSERT_FALSE(run->store.Save());
  EXPECT_EQ(StoredText("CheckCSKickNotReplyingTIs"), "false");
}

TEST_F(SettingsStoreTest, EditFieldOfTheWrongKindEndsLoadingWithoutApplying) {
  Put("EditCSContent", "/daten/");
  Put("CheckCSLoginCompulsory", "false");
  PutInt("EditCSMaxNumOfMails", 15);
  Put("CheckCSDropRcvdWhileTXENWechsel", "true");
  Put("EditCSTXEN2w", "9");

  ProgramRun run(backend);
  const SettingsFailure failure = run.store.Load();
  ASSERT_TRUE(failure);
  EXPECT_THAT(*failure, HasSubstr("'EditCSMaxNumOfMails'"));
  EXPECT_EQ(*failure, std::string("Ungültiger Datentyp für 'EditCSMaxNumOfMails'"_cp));
  EXPECT_FALSE(run.store.Loaded());
  // Fields before it were loaded (and the at-use ones took effect), later ones were not.
  EXPECT_EQ(run.settings.ContentDir, "/daten/");
  EXPECT_FALSE(run.settings.LoginRequired);
  EXPECT_FALSE(run.settings.DropRxDuringTurnaround);
  EXPECT_EQ(run.form.Text(Id::EditCSTXEN2w), "3");
  // SetUpVars did not run.
  EXPECT_EQ(run.form.Text(Id::EditCSMaxLogLines), "1000");
  EXPECT_TRUE(run.portNumbers.empty());

  // Nothing holds the next attempt back once the value is repaired.
  Put("EditCSMaxNumOfMails", "15");
  EXPECT_FALSE(run.store.Load());
  EXPECT_TRUE(run.store.Loaded());
  EXPECT_EQ(run.settings.TxenToWritePause, 9);
}

TEST_F(SettingsStoreTest, OtherKindInAnEditFieldIsAReadErrorToo) {
  backend.PutOther(SettingsKeyPath, "EditCSContent");
  ProgramRun run(backend);
  const SettingsFailure failure = run.store.Load();
  ASSERT_TRUE(failure);
  EXPECT_THAT(*failure, HasSubstr("'EditCSContent'"));
  EXPECT_EQ(run.settings.ContentDir, "./content/");
}

TEST_F(SettingsStoreTest, RefusedWriteEndsSavingAndSkipsApplying) {
  ProgramRun run(backend);
  run.form.SetText(Id::EditCSMaxLenSinglePacket, "300");
  run.form.SetText(Id::EditCSTXEN2w, "8");
  backend.RefuseWrites("EditCSTXEN2r");
  const SettingsFailure failure = run.store.Save();
  ASSERT_TRUE(failure);
  EXPECT_EQ(*failure, std::string("Fehler beim Setzen der Daten für 'EditCSTXEN2r'"_cp));
  ASSERT_FALSE(backend.WriteLog().empty());
  EXPECT_EQ(backend.WriteLog().back(), "RBCSDTRhighhigh");
  EXPECT_EQ(backend.WriteLog().size(), static_cast<std::size_t>(Row(Id::EditCSTXEN2r)));
  EXPECT_FALSE(Stored("EditCSTXEN2w"));
  EXPECT_EQ(run.form.Text(Id::EditCSMaxLenSinglePacket), "300");
  EXPECT_EQ(run.settings.TxenToWritePause, 3);
  EXPECT_TRUE(run.portNumbers.empty());
}

TEST_F(SettingsStoreTest, UnopenableStoreIsReported) {
  backend.RefuseOpen();
  ProgramRun run(backend);
  const SettingsFailure load = run.store.Load();
  ASSERT_TRUE(load);
  EXPECT_THAT(*load, HasSubstr("Software\\Brevik\\Velora-Server\\"));
  EXPECT_FALSE(run.store.Loaded());
  EXPECT_TRUE(run.store.Save());
  EXPECT_TRUE(run.portNumbers.empty());
}

TEST_F(SettingsStoreTest, LoadsOnlyOncePerRun) {
  int listed = 0;
  ServerSettings settings;
  SettingsForm form(settings);
  SettingsStore store(backend, form, [&] {
    ++listed;
    return std::vector<std::string>{"COM1"};
  });
  ASSERT_FALSE(store.Load());
  Put("EditCSContent", "/anders/");
  form.SetText(Id::EditCSTXEN2w, "6");
  EXPECT_FALSE(store.Load());
  EXPECT_EQ(listed, 1);
  EXPECT_EQ(settings.ContentDir, "./content/");
  EXPECT_EQ(settings.TxenToWritePause, 3);
}

TEST_F(SettingsStoreTest, KeepsToItsOwnKey) {
  backend.PutString("Software\\Other\\", "EditCSContent", "/fremd/");
  backend.PutString("Software\\Brevik\\Velora-Server", "EditCSContent", "/ohne-trenner/");
  auto run = LoadedRun();
  EXPECT_EQ(run->settings.ContentDir, "./content/");
  ASSERT_FALSE(run->store.Save());
  EXPECT_EQ(backend.Get("Software\\Other\\", "EditCSContent")->text, "/fremd/");
}

}  // namespace
}  // namespace velora
