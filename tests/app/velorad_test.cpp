// The headless server as a black box: started on a pseudo-terminal, a calculator played over it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>

#include "common/records.h"
#include "link/frame.h"
#include "platform/qt/qt_settings_backend.h"
#include "qt_test_support.h"
#include "settings/settings_form.h"
#include "settings/settings_store.h"
#include "sim/calculator_engine.h"
#include "store/users_format.h"
#include "support/memory_settings_backend.h"
#include "support/recording_ui.h"

namespace velora {
namespace {

using Clock = std::chrono::steady_clock;

class Velorad {
 public:
  // Standard output and error go to files named after `name` in `outdir`. fileSizeLimit: bytes
  // any file of the server may grow to (as ulimit -f), 0 for no limit.
  Velorad(const std::string& outdir, std::vector<std::string> args,
          const std::string& name = "velorad", rlim_t fileSizeLimit = 0)
      : out_(outdir + "/" + name + ".out"), err_(outdir + "/" + name + ".err") {
    pid_ = ::fork();
    if (pid_ == 0) {
      if (fileSizeLimit > 0) {
        const rlimit limit{fileSizeLimit, fileSizeLimit};
        ::setrlimit(RLIMIT_FSIZE, &limit);
      }
      const int fd = ::open(out_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      ::dup2(fd, STDOUT_FILENO);
      const int errFd = ::open(err_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      ::dup2(errFd, STDERR_FILENO);
      std::vector<char*> argv{const_cast<char*>(VELORAD_PATH)};
      for (auto& a : args)
        argv.push_back(a.data());
      argv.push_back(nullptr);
      ::execv(VELORAD_PATH, argv.data());
      ::_exit(127);
    }
  }
  ~Velorad() {
    if (pid_ > 0 && !exited_) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  // Sends the signal and waits for the end; the exit status, or -1 on a timeout or crash.
  int Stop(int signal, int timeoutMs) {
    ::kill(pid_, signal);
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    int status = 0;
    while (Clock::now() < deadline) {
      if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        exited_ = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      }
      ::usleep(10'000);
    }
    return -1;
  }
  std::string Output() const { return testing::ReadFileBytes(out_); }
  std::string Errors() const { return testing::ReadFileBytes(err_); }
  pid_t Pid() const { return pid_; }
  // Waits until the standard output holds the text; false on a timeout.
  bool WaitForOutput(const std::string& text, int timeoutMs) const {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (Clock::now() < deadline) {
      if (Output().find(text) != std::string::npos) return true;
      ::usleep(10'000);
    }
    return false;
  }

 private:
  std::string out_;
  std::string err_;
  pid_t pid_ = -1;
  bool exited_ = false;
};

// A calculator on the far end of the pseudo-terminal: the simulator's engine, with frames cut
// from the byte stream and its answers written when it has the turn.
class PtyCalculator {
 public:
  PtyCalculator(testing::PtyPair& pty, const ServerSettings& settings)
      : engine(settings), pty_(pty) {}

  // Runs until the condition holds or the time is up.
  bool RunUntil(const std::function<bool()>& condition, int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (Clock::now() < deadline) {
      if (condition()) return true;
      TakeFrames();
      if (answerAt_ && Clock::now() >= *answerAt_) {
        answerAt_.reset();
        const std::string bytes = engine.SendToServer();
        if (!bytes.empty()) pty_.Write(bytes);
      }
      ::usleep(1000);
    }
    return condition();
  }

  CalculatorEngine engine;

 private:
  void TakeFrames() {
    const std::string& all = pty_.Read();
    const std::string fresh = all.substr(consumed_);
    consumed_ = all.size();
    engine.ProcessReceived(fresh, [this] {
      answerAt_.reset();
      // Give the server time to switch its modem to receive.
      if (engine.HasTurn()) answerAt_ = Clock::now() + std::chrono::milliseconds(15);
    });
  }

  testing::PtyPair& pty_;
  std::size_t consumed_ = 0;
  std::optional<Clock::time_point> answerAt_;
};

TEST(VeloradTest, ServesACalculatorOnAPseudoTerminalAndSavesOnSigterm) {
  testing::TestApp();
  testing::TempDir dir;
  std::filesystem::create_directory_symlink(VELORA_CONTENT_DIR, dir.File("content"));
  UserTable users(1);
  users[0].Name = "GAST";
  users[0].Password = "geheim";
  testing::WriteFileBytes(dir.File("users.txt"), FormatUsersFile(users, 100));

  // Generous waits: the calculator here is a test process, not a radio modem.
  {
    ServerSettings settings;
    QtSettingsBackend backend(QString::fromStdString(dir.File("settings.conf")));
    SettingsForm form(settings);
    form.SetText(SettingId::EditCSRegisterWait, "300");
    form.SetText(SettingId::EditCSReceiveWait, "300");
    SettingsStore store(backend, form);
    ASSERT_FALSE(store.Save().has_value());
  }

  testing::PtyPair pty;
  Velorad server(dir.path(), {"--workdir", dir.path(), "--port", pty.SlavePath(), "--settings",
                              dir.File("settings.conf"), "--log-level", "3"});
  ServerSettings settings;
  PtyCalculator calc(pty, settings);
  calc.engine.SetUserName("gast");
  calc.engine.Connect();
  CalculatorEngine& e = calc.engine;
  ASSERT_TRUE(calc.RunUntil([&] { return e.Registered(); }, 20'000)) << server.Output();
  EXPECT_EQ(e.SimAddress(), 4);
  ASSERT_TRUE(calc.RunUntil(
      [&] { return e.SimExpectedReply() == KindInputReply && e.PendingKind() == KindNothing; },
      20'000))
      << "no login page";
  EXPECT_NE(e.ScreenText().find("wort"), std::string::npos) << e.ScreenText();
  e.SubmitInput(false, "geheim");
  ASSERT_TRUE(calc.RunUntil(
      [&] {
        return e.SimExpectedReply() == KindTextReply &&
               e.ScreenText().find("gast!") != std::string::npos;
      },
      20'000))
      << e.ScreenText();

  EXPECT_EQ(server.Stop(SIGTERM, 20'000), 0);
  const std::string out = server.Output();
  EXPECT_NE(out.find("TI Nr. 1 angemeldet; Name \"gast\"; Typ: TI82"), std::string::npos) << out;
  UserTable saved;
  std::int32_t uptime = 0;
  ParseUsersFile(testing::ReadFileBytes(dir.File("users.txt")), saved, uptime);
  ASSERT_EQ(saved.size(), 1u);
  EXPECT_EQ(saved[0].Name, "GAST");
  EXPECT_GE(uptime, 100);
  EXPECT_NE(testing::ReadFileBytes(dir.File("veloraserverlog.txt")).find("Port geschlossen"),
            std::string::npos)
      << "the cycle ended and the port was closed";
}

TEST(VeloradTest, RejectsUnknownOptions) {
  testing::TempDir dir;
  Velorad server(dir.path(), {"--colour", "blue"});
  EXPECT_EQ(server.Stop(0, 10'000), 2);
}

// Options for a short run on the virtual radio with settings of its own.
std::vector<std::string> VirtualRun(const testing::TempDir& dir, const std::string& seconds) {
  return {"--workdir", dir.path(), "--port", "virtual", "--settings", dir.File("settings.conf"),
          "--seconds", seconds};
}

TEST(VeloradTest, ASecondServerOnTheSameFolderRefusesToStart) {
  testing::TempDir dir;
  Velorad first(dir.path(), VirtualRun(dir, "30"), "first");
  ASSERT_TRUE(first.WaitForOutput("WICHTIGE EREIGNISSE", 20'000)) << first.Errors();
  Velorad second(dir.path(), VirtualRun(dir, "30"), "second");
  EXPECT_EQ(second.Stop(0, 20'000), 1);
  const std::string folder = std::filesystem::canonical(dir.path()).string();
  EXPECT_NE(second.Errors().find("velorad: Der Arbeitsordner " + folder +
                                 " wird schon von einem anderen Velora-Server benutzt (Prozess " +
                                 std::to_string(first.Pid()) + ")."),
            std::string::npos)
      << second.Errors();
  EXPECT_EQ(first.Stop(SIGTERM, 20'000), 0) << first.Errors();
}

TEST(VeloradTest, ASaveThatFailsAtTheEndIsAnErrorNamingTheFile) {
  testing::TempDir dir;
  // A link into a folder that is not there: nothing to load, nowhere to save.
  std::filesystem::create_symlink("fehlt/users.txt", dir.File("users.txt"));
  Velorad server(dir.path(), VirtualRun(dir, "1"));
  EXPECT_EQ(server.Stop(0, 20'000), 1);
  const std::string missing = std::strerror(ENOENT);
  EXPECT_NE(server.Errors().find("velorad: not saved: users.txt: " + missing), std::string::npos)
      << server.Errors();
  EXPECT_NE(server.Errors().find("Exception on writing user data (users.txt: " + missing + ")"),
            std::string::npos);
  EXPECT_TRUE(std::filesystem::exists(dir.File("resfdbck.txt"))) << "the other file is written";
}

// A file-size limit fails the writes as a full disk does: the server runs to its end, says what
// it could not save and leaves no temporary file.
TEST(VeloradTest, AFileSizeLimitFailsTheSaveInsteadOfEndingTheServer) {
  testing::TempDir dir;
  testing::WriteFileBytes(dir.File("users.txt"), FormatUsersFile(UserTable(100), 100));
  Velorad server(dir.path(), VirtualRun(dir, "2"), "velorad", 2048);
  EXPECT_EQ(server.Stop(0, 20'000), 1) << server.Errors();
  const std::string errors = server.Errors();
  EXPECT_NE(errors.find("not saved: users.txt: " + std::string(std::strerror(EFBIG))),
            std::string::npos)
      << errors;
  EXPECT_NE(errors.find(" cycles, cycle time"), std::string::npos) << "ran to its end";
  for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
    EXPECT_EQ(entry.path().string().find(".tmp"), std::string::npos) << entry.path();
}

// The status line: at once on SIGUSR1, and once more at the end with the end's save.
TEST(VeloradTest, Sigusr1PrintsTheStatusLineAtOnce) {
  testing::TempDir dir;
  std::vector<std::string> args = VirtualRun(dir, "60");
  for (const char* arg : {"--demo", "2", "--status-seconds", "0"})
    args.push_back(arg);
  Velorad server(dir.path(), args);
  ASSERT_TRUE(server.WaitForOutput("TI Nr. 2 angemeldet", 20'000)) << server.Errors();
  EXPECT_EQ(server.Output().find("status: "), std::string::npos) << "no line unasked";
  ::kill(server.Pid(), SIGUSR1);
  ASSERT_TRUE(server.WaitForOutput("status: 2 stations online, ", 10'000)) << server.Errors();
  EXPECT_EQ(server.Stop(SIGTERM, 20'000), 0) << server.Errors();
  const std::string out = server.Output();
  const std::size_t last = out.rfind("status: ");
  ASSERT_NE(last, out.find("status: ")) << "a last line at the end: " << out;
  EXPECT_NE(out.find("last save ", last), std::string::npos) << out;
}

TEST(VeloradTest, TheStatusLineComesEveryInterval) {
  testing::TempDir dir;
  std::vector<std::string> args = VirtualRun(dir, "3");
  for (const char* arg : {"--status-seconds", "0.5"})
    args.push_back(arg);
  Velorad server(dir.path(), args);
  EXPECT_EQ(server.Stop(0, 20'000), 0) << server.Errors();
  const std::string out = server.Output();
  int lines = 0;
  for (std::size_t at = out.find("status: 0 stations online"); at != std::string::npos;
       at = out.find("status: ", at + 1))
    ++lines;
  EXPECT_GE(lines, 4) << out;
}

// A working folder as the package leaves it, with the installation's pages.
void Installation(const testing::TempDir& dir) {
  std::filesystem::copy(VELORA_CONTENT_DIR, dir.File("content"),
                        std::filesystem::copy_options::recursive);
  Tuserdata admin;
  admin.Name = "ADMIN";
  admin.IsAdmin = true;
  testing::WriteFileBytes(dir.File("users.txt"), FormatUsersFile({admin}, 0));
}

TEST(VeloradTest, CheckPassesOnTheInstallationBesideARunningServer) {
  testing::TempDir dir;
  Installation(dir);
  Velorad running(dir.path(), VirtualRun(dir, "60"), "running");
  ASSERT_TRUE(running.WaitForOutput("WICHTIGE EREIGNISSE", 20'000)) << running.Errors();
  Velorad check(dir.path(),
                {"--check", "--workdir", dir.path(), "--settings", dir.File("settings.conf")},
                "check");
  EXPECT_EQ(check.Stop(0, 20'000), 0) << check.Output() << check.Errors();
  const std::string out = check.Output();
  EXPECT_NE(out.find("users.txt: 1 account (1 administrator), 0 stored messages"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("port: the virtual radio"), std::string::npos) << out;
  EXPECT_NE(out.find("velorad --check: no problems"), std::string::npos) << out;
  EXPECT_EQ(running.Stop(SIGTERM, 20'000), 0) << "the server kept its folder";
}

TEST(VeloradTest, CheckFailsOnABrokenPageNamingFileAndLine) {
  testing::TempDir dir;
  Installation(dir);
  std::string page = testing::ReadFileBytes(dir.File("content/menumain.txt"));
  page.replace(page.find("IDlogout"), 8, "IDabmelden");
  testing::WriteFileBytes(dir.File("content/menumain.txt"), page);
  Velorad check(dir.path(), {"--check", "--workdir", dir.path(), "--port", "/dev/velora-none",
                             "--settings", dir.File("settings.conf")});
  EXPECT_EQ(check.Stop(0, 20'000), 1);
  const std::string out = check.Output();
  EXPECT_NE(out.find("./content/menumain.txt:19: unknown service IDabmelden"), std::string::npos)
      << out;
  EXPECT_NE(out.find("/dev/velora-none: no such device"), std::string::npos) << out;
  EXPECT_NE(out.find("velorad --check: 2 problems"), std::string::npos) << out;
  EXPECT_FALSE(std::filesystem::exists(dir.File("veloraserverlog.txt"))) << "nothing started";
}

// The settings the package installs for the service: read without a fault, one log file that
// starts afresh when full, everything else at its default.
TEST(VeloradTest, TheServiceSettingsKeepOneLogFile) {
  testing::TestApp();
  QtSettingsBackend shipped(QStringLiteral(VELORA_PACKAGING_DIR "/velorad.settings"));
  ServerSettings settings;
  SettingsForm form(settings);
  SettingsStore store(shipped, form);
  ASSERT_FALSE(store.Load().has_value());
  EXPECT_TRUE(settings.SameLogFile);
  settings.SameLogFile = false;
  ServerSettings defaults;
  SettingsForm defaultForm(defaults);
  MemorySettingsBackend empty;
  SettingsStore(empty, defaultForm).Load();
  EXPECT_EQ(settings, defaults);
}

}  // namespace
}  // namespace velora
