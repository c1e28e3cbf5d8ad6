// Program start and end around a running server: the lock on the working folder, what loading
// and saving tell the operator, and the files saved while the server runs.
#include "bus/lifecycle.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <limits>

#include "network_harness.h"
#include "store/users_format.h"
#include "support/memory_settings_backend.h"

namespace velora {
namespace {

using testing::Network;
using testing::ReadFileBytes;
using testing::WriteFileBytes;

class LifecycleTest : public ::testing::Test {
 protected:
  LifecycleTest() {
    Tuserdata gast;
    gast.Name = "GAST";
    gast.Password = "pw";
    usersFile = FormatUsersFile({gast}, 100);
    WriteFileBytes(net.dir.File("users.txt"), usersFile);
    WriteFileBytes(net.dir.File("resfdbck.txt"), "anna\r\ngut\r\nt\r\n");
  }
  std::unique_ptr<Lifecycle> Make() {
    return std::make_unique<Lifecycle>(
        *net.server, net.ui, backend, [] { return std::vector<std::string>{}; }, net.dir.path());
  }
  // Loads, then points the server at the installation's pages again (the stored settings the
  // load applies name the default folder).
  std::unique_ptr<Lifecycle> Loaded() {
    std::unique_ptr<Lifecycle> life = Make();
    EXPECT_TRUE(life->Load(1));
    net.Configure([](ServerSettings& s) { s.ContentDir = std::string(VELORA_CONTENT_DIR) + "/"; });
    return life;
  }
  std::string Users() const { return ReadFileBytes(net.dir.File("users.txt")); }
  // A change as a service makes it: on the account of the first station, marked as changed.
  void ChangePassword(std::string password) {
    net.server->Post(net.server->Stations().IdAt(0), [password](TProcess& session) {
      session.Account()->Password = password;
      session.Context().MarkChanged();
    });
  }
  int LogCount(std::string_view text) const {
    const std::string log = ReadFileBytes(net.dir.File("veloraserverlog.txt"));
    int n = 0;
    for (std::size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1))
      ++n;
    return n;
  }

  Network net;
  MemorySettingsBackend backend;
  std::string usersFile;
};

TEST_F(LifecycleTest, ASecondServerOnTheSameFolderRefusesToStart) {
  std::unique_ptr<Lifecycle> first = Make();
  ASSERT_TRUE(first->Load(1));
  EXPECT_EQ(ReadFileBytes(net.dir.File(".velora.lock")), std::to_string(::getpid()) + "\n");

  testing::RecordingUi otherUi;
  Network other;
  Lifecycle second(*other.server, otherUi, backend, {}, net.dir.path());
  EXPECT_FALSE(second.Load(1));
  const std::string folder = std::filesystem::canonical(net.dir.path()).string();
  ASSERT_EQ(otherUi.messages.size(), 1u);
  EXPECT_EQ(otherUi.messages[0], "Der Arbeitsordner " + folder +
                                     " wird schon von einem anderen Velora-Server benutzt "
                                     "(Prozess " +
                                     std::to_string(::getpid()) + ").");
  EXPECT_TRUE(other.server->Users().empty()) << "nothing was read";

  first.reset();
  Lifecycle third(*other.server, otherUi, backend, {}, net.dir.path());
  EXPECT_TRUE(third.Load(1)) << "the lock ends with its holder";
}

TEST_F(LifecycleTest, LoadingRemovesWhatAKilledSaveLeftAndRefusesABadFile) {
  WriteFileBytes(net.dir.File("users.txt.tmp4711-0"), "halb");
  {
    std::unique_ptr<Lifecycle> life = Make();
    ASSERT_TRUE(life->Load(1));
    EXPECT_FALSE(std::filesystem::exists(net.dir.File("users.txt.tmp4711-0")));
    EXPECT_EQ(net.ui.events, std::vector<std::string>{"Reste eines abgebrochenen Speicherns "
                                                      "entfernt: " +
                                                      net.dir.File("users.txt.tmp4711-0")});
  }
  WriteFileBytes(net.dir.File("users.txt"),
                 usersFile + usersFile.substr(usersFile.find("Username")));
  std::unique_ptr<Lifecycle> life = Make();
  EXPECT_FALSE(life->Load(1));
  EXPECT_EQ(net.ui.messages, std::vector<std::string>{"Exception on loading user data (users.txt, "
                                                      "line 16: the end of the file expected "
                                                      "(line 2 counts 1))"});
}

TEST_F(LifecycleTest, ASaveThatFailsAtTheEndSaysWhichFile) {
  std::unique_ptr<Lifecycle> life = Make();
  ASSERT_TRUE(life->Load(1));
  std::filesystem::remove(net.dir.File("users.txt"));
  std::filesystem::create_directory(net.dir.File("users.txt"));
  Tuserdata added;
  added.Name = "NEU";
  net.server->AddAccount(added);
  const SaveResult result = life->Save();
  EXPECT_FALSE(result);
  const std::string reason = std::strerror(EISDIR);
  EXPECT_EQ(result.failed, std::vector<std::string>{"users.txt: " + reason});
  EXPECT_EQ(net.ui.messages,
            std::vector<std::string>{"Exception on writing user data (users.txt: " + reason + ")"});
  std::filesystem::remove(net.dir.File("users.txt"));
  EXPECT_TRUE(life->Save());
  EXPECT_NE(Users().find("Username=NEU"), std::string::npos);
}

// A change during the run reaches the disk within the save interval, later ones no sooner than
// an interval after the last save; a server that ends without its final save keeps them.
TEST_F(LifecycleTest, ChangesAreSavedWhileTheServerRuns) {
  std::unique_ptr<Lifecycle> life = Loaded();
  struct stat feedbackBefore {};
  ASSERT_EQ(::stat(net.dir.File("resfdbck.txt").c_str(), &feedbackBefore), 0);
  CalculatorStation& gast = net.AddCalculator("gast");
  std::int64_t changed = 0, saved = 0, changedAgain = 0, savedAgain = 0;
  const std::size_t done = net.Run(
      {{"start", [] { return true; }, [&] { gast.engine().Connect(); }},
       {"login page", [&] { return gast.engine().ScreenSerial() > 0; },
        [&] {
          ChangePassword("neu");
          changed = net.NowMs();
        }},
       {"on disk", [&] { return Users().find("Passwort=neu\r\n") != std::string::npos; },
        [&] {
          saved = net.NowMs();
          ChangePassword("neuer");
          changedAgain = net.NowMs();
        }},
       {"on disk again", [&] { return Users().find("Passwort=neuer\r\n") != std::string::npos; },
        [&] { savedAgain = net.NowMs(); }}},
      60'000);
  ASSERT_EQ(done, 4u) << net.stuck;
  EXPECT_LE(saved - changed, static_cast<std::int64_t>(SaveIntervalMs));
  EXPECT_GE(savedAgain - saved, static_cast<std::int64_t>(SaveIntervalMs) - 1)
      << "at most once an interval";
  EXPECT_LE(savedAgain - changedAgain, static_cast<std::int64_t>(SaveIntervalMs) + 200);
  EXPECT_EQ(ReadFileBytes(net.dir.File("users.txt.bak")), usersFile);
  struct stat feedbackAfter {};
  ASSERT_EQ(::stat(net.dir.File("resfdbck.txt").c_str(), &feedbackAfter), 0);
  EXPECT_EQ(feedbackAfter.st_ino, feedbackBefore.st_ino) << "unchanged, so not rewritten";

  // Dropped without the save at the end, as by a crash.
  life.reset();
  net.server.reset();
  EXPECT_NE(Users().find("Passwort=neuer\r\n"), std::string::npos);
}

// A save that fails while the server runs is logged and shown once, tried again every interval
// without any further change, and once it works the ".bak" holds the file as it was read.
TEST_F(LifecycleTest, AFailedSaveWhileRunningIsToldOnceAndTriedAgainUntilItWorks) {
  std::unique_ptr<Lifecycle> life = Loaded();
  // No temporary file can be made beside users.txt or its ".bak".
  auto blockers = [&](auto each) {
    for (const char* name : {"users.txt.tmp", "users.txt.bak.tmp"}) {
      for (int attempt = 0; attempt <= 100; ++attempt)
        each(net.dir.File(name + std::to_string(::getpid()) + "-" + std::to_string(attempt)));
    }
  };
  blockers([](const std::string& path) { std::filesystem::create_directory(path); });
  CalculatorStation& gast = net.AddCalculator("gast");
  const std::string failure =
      "NOTE : saving failed: users.txt: " + std::string(std::strerror(EEXIST));
  std::int64_t freed = 0;
  const std::size_t done =
      net.Run({{"start", [] { return true; }, [&] { gast.engine().Connect(); }},
               {"login page", [&] { return gast.engine().ScreenSerial() > 0; },
                [&] { ChangePassword("eins"); }},
               {"failed", [&] { return LogCount(failure) == 1; }},
               {"failing a while", [&] { return net.NowMs() > 3 * SaveIntervalMs; },
                [&] {
                  blockers([](const std::string& path) { std::filesystem::remove(path); });
                  freed = net.NowMs();
                }},
               {"saved", [&] { return Users().find("Passwort=eins\r\n") != std::string::npos; }}},
              60'000);
  ASSERT_EQ(done, 5u) << net.stuck;
  EXPECT_LE(net.NowMs() - freed, static_cast<std::int64_t>(SaveIntervalMs) + 200);
  EXPECT_EQ(LogCount(failure), 1) << "the same reason is logged once";
  EXPECT_EQ(net.ui.messages,
            (std::vector<std::string>{"Exception on writing user data (users.txt.bak: " +
                                          std::string(std::strerror(EEXIST)) + ")",
                                      "Exception on writing user data (users.txt: " +
                                          std::string(std::strerror(EEXIST)) + ")"}));
  EXPECT_EQ(ReadFileBytes(net.dir.File("users.txt.bak")), usersFile);
}

// An edit field stored as an integer ends the loading there and nothing is applied; the settings
// applied at use that were loaded before it hold all the same, and follow the dialog's fields
// while it is open, whereas the copied ones change only when it closes.
TEST_F(LifecycleTest, SettingsAppliedAtUseHoldAfterALoadErrorAndFollowTheOpenDialog) {
  backend.PutString(SettingsKeyPath, "CheckCSNoWrap", "true");
  backend.PutInteger(SettingsKeyPath, "TrackCSNumOfLogoutAcks", 3);
  backend.PutString(SettingsKeyPath, "EditCSTXEN2w", "9");
  backend.PutInteger(SettingsKeyPath, "EditCSMaxLenSinglePacket", 100);
  std::unique_ptr<Lifecycle> life = Loaded();
  const ServerSettings& used = net.server->Settings();
  EXPECT_EQ(net.ui.messages.size(), 1u) << "the load error is shown";
  EXPECT_TRUE(used.NoWrap);
  EXPECT_EQ(used.LogoutAckCount, 3);
  EXPECT_EQ(used.TxenToWritePause, 3) << "copied, so not applied";

  CalculatorStation& gast = net.AddCalculator("gast");
  const std::size_t done =
      net.Run({{"start", [] { return true; }, [&] { gast.engine().Connect(); }},
               {"login page", [&] { return gast.engine().ScreenSerial() > 0; },
                [&] {
                  life->Form().SetSliderPosition(4);
                  life->Form().SetText(SettingId::EditCSTXEN2w, "7");
                  gast.engine().Connect();
                }},
               {"logged out", [&] { return !gast.engine().Registered(); }}},
              30'000);
  ASSERT_EQ(done, 3u) << net.stuck;
  EXPECT_EQ(net.FramesOf(KindLogoutAck, 4).size(), 4u) << "the slider of the open dialog";
  EXPECT_EQ(used.TxenToWritePause, 3);
  life->CloseSettings();
  EXPECT_EQ(used.TxenToWritePause, 7);
}

TEST_F(LifecycleTest, TheTotalUptimeStopsAtItsLimit) {
  const std::int32_t most = std::numeric_limits<std::int32_t>::max();
  ASSERT_TRUE(net.server->Restore({}, {}, most - 1));
  std::function<void()> tick = [&] {
    net.server->TickSecond();
    net.time.ScheduleAfter(1'000'000, tick);
  };
  net.time.ScheduleAfter(1'000'000, tick);
  ASSERT_TRUE(net.RunUntil([&] { return net.NowMs() > 3500; }, 10'000));
  EXPECT_EQ(net.server->TotalUptime(), most);
  EXPECT_EQ(net.server->RunSeconds(), 3);
}

}  // namespace
}  // namespace velora
