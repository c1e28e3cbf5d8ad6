// The QSettings store: its file, the value kinds as a new process reads them, and refused writes.
// The binary runs itself again as a child ("--child-dump FILE", "--child-load FILE") so that
// nothing cached inside one process can hide what the file really holds.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <QCoreApplication>
#include <QDir>
#include <QProcess>

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <sstream>

#include "common/cp1252.h"
#include "platform/qt/qt_settings_backend.h"
#include "settings/settings_store.h"
#include "support/recording_ui.h"

namespace velora {
namespace {

using Kind = SettingsBackend::ValueKind;
using ::testing::HasSubstr;
using testing::ReadFileBytes;
using testing::TempDir;
using testing::WriteFileBytes;

const char* KindName(Kind kind) {
  switch (kind) {
    case Kind::Missing:
      return "missing";
    case Kind::String:
      return "string";
    case Kind::Integer:
      return "integer";
    case Kind::Other:
      return "other";
  }
  return "?";
}

// Strings are shown byte by byte so that the test sees exactly what came back.
std::string Hex(std::string_view bytes) {
  std::ostringstream out;
  for (unsigned char b : bytes) {
    out << "0123456789ABCDEF"[b >> 4] << "0123456789ABCDEF"[b & 15];
  }
  return out.str();
}

std::unique_ptr<QtSettingsBackend> BackendFor(const QString& file) {
  if (file == QLatin1String("-")) return std::make_unique<QtSettingsBackend>();
  return std::make_unique<QtSettingsBackend>(file);
}

int ChildDump(const QString& file) {
  auto backend = BackendFor(file);
  if (!backend->OpenKey(SettingsKeyPath, false)) {
    std::cout << "no key\n";
    return 0;
  }
  for (const std::string& name : backend->ValueNames()) {
    const Kind kind = backend->KindOf(name);
    std::cout << name << ' ' << KindName(kind);
    if (kind == Kind::String) std::cout << ' ' << Hex(backend->ReadString(name));
    if (kind == Kind::Integer) std::cout << ' ' << backend->ReadInteger(name);
    std::cout << '\n';
  }
  return 0;
}

int ChildLoad(const QString& file) {
  auto backend = BackendFor(file);
  ServerSettings s;
  SettingsForm form(s);
  SettingsStore store(*backend, form, [] { return std::vector<std::string>{"COM1", "COM2"}; });
  if (const SettingsFailure failure = store.Load()) {
    std::cout << "failed: " << Cp1252ToUtf8(*failure) << '\n';
    return 0;
  }
  std::cout << "ContentDir " << Hex(s.ContentDir) << '\n'
            << "MaxLogLines " << s.MaxLogLines << '\n'
            << "ComPort " << s.ComPort << '\n'
            << "LogoutAckCount " << s.LogoutAckCount << '\n'
            << "LoginRequired " << s.LoginRequired << '\n'
            << "TxenOnTxEmpty " << s.TxenOnTxEmpty << '\n'
            << "MaxSinglePacketLen " << s.MaxSinglePacketLen << '\n';
  return 0;
}

// Runs this binary as a fresh process and returns what it printed.
std::string RunChild(const QString& mode, const QString& file) {
  QProcess child;
  child.start(QCoreApplication::applicationFilePath(), {mode, file});
  EXPECT_TRUE(child.waitForFinished(30000));
  EXPECT_EQ(child.exitCode(), 0);
  return child.readAllStandardOutput().toStdString();
}

class QtSettingsBackendTest : public ::testing::Test {
 protected:
  QString File(std::string_view name) const { return QString::fromStdString(dir.File(name)); }

  TempDir dir;
};

TEST_F(QtSettingsBackendTest, PerUserStoreLiesInTheXdgConfigFolder) {
  const QString expected = QString::fromLocal8Bit(std::getenv("XDG_CONFIG_HOME")) +
                           QStringLiteral("/Brevik/Velora-Server.settings");
  QFile::remove(expected);
  QtSettingsBackend backend;
  EXPECT_EQ(backend.FilePath(), expected);
  EXPECT_FALSE(backend.OpenKey(SettingsKeyPath, false));
  ASSERT_TRUE(backend.OpenKey(SettingsKeyPath, true));
  backend.WriteString("EditCSContent", "/inhalt/");
  backend.CloseKey();
  const std::string text = ReadFileBytes(expected.toStdString());
  EXPECT_THAT(text, HasSubstr("[Software\\Brevik\\Velora-Server\\]\nEditCSContent=s:/inhalt/\n"));
  EXPECT_EQ(RunChild("--child-dump", "-"), "EditCSContent string " + Hex("/inhalt/") + "\n");
  QFile::remove(expected);
}

TEST_F(QtSettingsBackendTest, KindsAndTextSurviveInAFreshProcess) {
  const QString file = File("store.settings");
  {
    QtSettingsBackend backend(file);
    ASSERT_TRUE(backend.OpenKey(SettingsKeyPath, true));
    backend.WriteString("EditCSMaxLogLines", "1000");
    backend.WriteInteger("ComboCSPort", 3);
    backend.WriteInteger("TrackCSNumOfLogoutAcks", -2147483647 - 1);
    backend.WriteString("EditCFSendAfterTXEN", "\xFF");
    backend.WriteString("EditCSContent", "/Pfad/\xE4\x80%41=\r\n[x]\\ ");
    backend.WriteString("EditCIProxyIP", "");
    // The cache of this process agrees with the file.
    EXPECT_EQ(backend.KindOf("ComboCSPort"), Kind::Integer);
    EXPECT_EQ(backend.KindOf("EditCSMaxLogLines"), Kind::String);
  }
  EXPECT_EQ(RunChild("--child-dump", file),
            "ComboCSPort integer 3\n"
            "EditCFSendAfterTXEN string FF\n"
            "EditCIProxyIP string \n"
            "EditCSContent string " +
                Hex("/Pfad/\xE4\x80%41=\r\n[x]\\ ") +
                "\n"
                "EditCSMaxLogLines string " +
                Hex("1000") +
                "\n"
                "TrackCSNumOfLogoutAcks integer -2147483648\n");

  // The file itself is UTF-8 text with one tagged value per line.
  const std::string text = ReadFileBytes(file.toStdString());
  EXPECT_THAT(text, HasSubstr("\nComboCSPort=i:3\n"));
  EXPECT_THAT(text, HasSubstr("\nEditCSMaxLogLines=s:1000\n"));
  EXPECT_THAT(text, HasSubstr("\nEditCFSendAfterTXEN=s:\xC3\xBF\n"));
  EXPECT_THAT(text, HasSubstr("\nEditCSContent=s:/Pfad/\xC3\xA4\xE2\x82\xAC%2541=%0D%0A[x]\\ \n"));
}

TEST_F(QtSettingsBackendTest, ReadsAHandWrittenFileLineByLine) {
  const QString file = File("hand.settings");
  WriteFileBytes(file.toStdString(),
                 "# kommentar\n"
                 "Top=s:oben\n"
                 "[Software\\Other\\]\n"
                 "A=s:fremd\n"
                 "[Software\\Brevik\\Velora-Server\\]\r\n"
                 "A=s:Gr\xC3\xBC\xC3\x9F\x65\r\n"
                 "B=i:42\n"
                 "C=i:zwölf\n"
                 "D=q:unknown\n"
                 "E=b:raw\n"
                 "kaputte Zeile\n"
                 "F=i:99999999999\n"
                 "G=ohne Kennung\n"
                 "H=i:-7\n");
  QtSettingsBackend backend(file);
  ASSERT_TRUE(backend.OpenKey(SettingsKeyPath, false));
  EXPECT_EQ(backend.ValueNames(),
            (std::vector<std::string>{"A", "B", "C", "D", "E", "F", "G", "H"}));
  EXPECT_EQ(backend.ReadString("A"),
            "Gr\xFC\xDF"
            "e");
  EXPECT_EQ(backend.ReadInteger("B"), 42);
  EXPECT_EQ(backend.ReadInteger("H"), -7);
  for (const char* name : {"C", "D", "E", "F", "G"})
    EXPECT_EQ(backend.KindOf(name), Kind::Other) << name;
  EXPECT_EQ(backend.KindOf("Z"), Kind::Missing);
  EXPECT_THROW(backend.ReadInteger("A"), SettingsError);
  EXPECT_THROW(backend.ReadString("B"), SettingsError);
  EXPECT_THROW(backend.ReadString("Z"), SettingsError);
  EXPECT_FALSE(backend.OpenKey("Software\\Nobody\\", false));
  ASSERT_TRUE(backend.OpenKey("Software\\Other\\", false));
  EXPECT_EQ(backend.ReadString("A"), "fremd");
}

TEST_F(QtSettingsBackendTest, ValuesOfOtherKindsAreKeptWhenTheFileIsRewritten) {
  const QString file = File("keep.settings");
  WriteFileBytes(file.toStdString(), "[Software\\Brevik\\Velora-Server\\]\nD=q:unknown\n");
  {
    QtSettingsBackend backend(file);
    ASSERT_TRUE(backend.OpenKey(SettingsKeyPath, true));
    backend.WriteInteger("B", 1);
  }
  EXPECT_EQ(RunChild("--child-dump", file), "B integer 1\nD other\n");
}

TEST_F(QtSettingsBackendTest, SavedSettingsLoadInAFreshProcess) {
  const QString file = File("run.settings");
  {
    QtSettingsBackend backend(file);
    ServerSettings s;
    SettingsForm form(s);
    SettingsStore store(backend, form, [] { return std::vector<std::string>{"COM1", "COM2"}; });
    ASSERT_FALSE(store.Load());
    form.SetText(SettingId::EditCSContent, "/b\xFChne/");
    form.SetText(SettingId::EditCSMaxLogLines, "4500");
    form.SetComboIndex(1);
    form.SetSliderPosition(4);
    form.SetChecked(SettingId::CheckCSLoginCompulsory, false);
    form.SetChecked(SettingId::RBCSTXENTXEmpty, true);
    form.SetText(SettingId::EditCSMaxLenSinglePacket, "80");
    ASSERT_FALSE(store.Save());
  }
  EXPECT_EQ(RunChild("--child-load", file),
            "ContentDir " + Hex("/b\xFChne/") +
                "\nMaxLogLines 4500\nComPort 2\nLogoutAckCount 4\nLoginRequired 0\n"
                "TxenOnTxEmpty 1\nMaxSinglePacketLen 80\n");
}

TEST_F(QtSettingsBackendTest, EditFieldStoredAsIntegerStopsLoadingInAFreshProcess) {
  const QString file = File("wrong.settings");
  {
    QtSettingsBackend backend(file);
    ASSERT_TRUE(backend.OpenKey(SettingsKeyPath, true));
    backend.WriteInteger("EditCSMaxLogLines", 5000);
  }
  const std::string out = RunChild("--child-load", file);
  EXPECT_THAT(out, HasSubstr("failed: Ungültiger Datentyp für 'EditCSMaxLogLines'"));
}

TEST_F(QtSettingsBackendTest, RefusedWriteIsReportedAndALaterSaveSucceeds) {
  // A regular file where the store's folder should be: nothing can be written below it.
  const std::string blocker = dir.File("blocked");
  WriteFileBytes(blocker, "x");
  const QString file = QString::fromStdString(blocker + "/store.settings");
  QtSettingsBackend backend(file);
  ServerSettings s;
  SettingsForm form(s);
  SettingsStore store(backend, form);
  form.SetText(SettingId::EditCSMaxLenSinglePacket, "300");
  const SettingsFailure failure = store.Save();
  ASSERT_TRUE(failure);
  EXPECT_THAT(*failure, HasSubstr("Fehler beim Setzen der Daten für 'EditCSContent'"_cp));
  EXPECT_EQ(form.Text(SettingId::EditCSMaxLenSinglePacket), "300");

  std::filesystem::remove(blocker);
  std::filesystem::create_directory(blocker);
  EXPECT_FALSE(store.Save());
  EXPECT_EQ(form.Text(SettingId::EditCSMaxLenSinglePacket), "249");
  EXPECT_THAT(RunChild("--child-dump", file),
              HasSubstr("EditCSMaxLenSinglePacket string " + Hex("300") + "\n"));
}

TEST_F(QtSettingsBackendTest, EveryWriteReplacesTheFileWhole) {
  const QString file = File("atomic.settings");
  QtSettingsBackend backend(file);
  ASSERT_TRUE(backend.OpenKey(SettingsKeyPath, true));
  backend.WriteString("A", "eins");
  struct stat first {};
  ASSERT_EQ(stat(file.toLocal8Bit().constData(), &first), 0);
  backend.WriteString("B", "zwei");
  struct stat second {};
  ASSERT_EQ(stat(file.toLocal8Bit().constData(), &second), 0);
  // A new inode: the file was written aside and renamed, never truncated in place.
  EXPECT_NE(first.st_ino, second.st_ino);
  EXPECT_EQ(QDir(QString::fromStdString(dir.path())).entryList(QDir::Files | QDir::Hidden),
            QStringList{"atomic.settings"});
}

TEST_F(QtSettingsBackendTest, ReadsAndWritesNeedAnOpenKey) {
  QtSettingsBackend backend(File("closed.settings"));
  EXPECT_THROW(backend.KindOf("A"), SettingsError);
  EXPECT_THROW(backend.WriteString("A", "x"), SettingsError);
  ASSERT_TRUE(backend.OpenKey(SettingsKeyPath, true));
  backend.CloseKey();
  EXPECT_THROW(backend.ReadString("A"), SettingsError);
}

}  // namespace
}  // namespace velora

int main(int argc, char** argv) {
  const bool child = argc == 3 && std::string_view(argv[1]).starts_with("--child-");
  std::string xdg;
  if (!child) {
    // Before QCoreApplication and QSettings fix the user's folders for the process.
    xdg = (std::filesystem::temp_directory_path() / "velora-xdg-XXXXXX").string();
    if (mkdtemp(xdg.data()) == nullptr) return 2;
    setenv("XDG_CONFIG_HOME", xdg.c_str(), 1);
  }
  QCoreApplication app(argc, argv);
  if (child) {
    const QString mode = app.arguments().at(1);
    const QString file = app.arguments().at(2);
    return mode == QLatin1String("--child-dump") ? velora::ChildDump(file)
                                                 : velora::ChildLoad(file);
  }
  ::testing::InitGoogleTest(&argc, argv);
  const int result = RUN_ALL_TESTS();
  std::filesystem::remove_all(xdg);
  return result;
}
