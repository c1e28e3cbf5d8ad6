// velorad: the server without windows, for an always-on box and for black-box tests.
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <system_error>

#include "app/signal_watch.h"
#include "app/terminal_ui.h"
#include "bus/installation_check.h"
#include "bus/lifecycle.h"
#include "bus/server.h"
#include "bus/status_line.h"
#include "common/text.h"
#include "platform/qt/qt_port_list.h"
#include "platform/qt/qt_precise_wakeup.h"
#include "platform/qt/qt_settings_backend.h"
#include "platform/qt/qt_text.h"
#include "platform/qt/qt_world.h"
#include "platform/virtual/virtual_fleet.h"

namespace velora {
namespace {

struct Options {
  std::string workdir = ".";
  std::optional<std::string> port;  // device path or "virtual"
  std::optional<std::string> settingsFile;
  int logLevel = InitialLogLevel;
  double seconds = 0;  // 0: until a signal
  int demo = 0;
  double statusSeconds = 60;  // 0: only on SIGUSR1
  bool check = false;
};

constexpr const char* kUsage =
    "usage: velorad [--workdir DIR] [--port DEVICE|virtual] [--settings FILE]\n"
    "               [--log-level 0..4] [--seconds S] [--demo N] [--status-seconds S]\n"
    "       velorad --check [--workdir DIR] [--port DEVICE|virtual] [--settings FILE]\n";

bool ParseNumber(const std::string& text, double& out) {
  char* end = nullptr;
  out = std::strtod(text.c_str(), &end);
  return !text.empty() && end != nullptr && *end == '\0';
}

std::optional<Options> Parse(int argc, char** argv, std::string& error) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      error.clear();
      return std::nullopt;
    }
    if (arg == "--check") {
      o.check = true;
      continue;
    }
    if (i + 1 >= argc) {
      error = "missing value for " + arg;
      return std::nullopt;
    }
    const std::string value = argv[++i];
    double number = 0;
    if (arg == "--workdir") {
      o.workdir = value;
    } else if (arg == "--port") {
      // Empty: the configured port, so that a service may pass an unset variable.
      if (value.empty()) {
        o.port.reset();
      } else {
        o.port = value;
      }
    } else if (arg == "--settings") {
      o.settingsFile = value;
    } else if (arg == "--log-level") {
      if (!ParseNumber(value, number) || number < 0 || number > MaxLogLevel ||
          number != int(number)) {
        error = "--log-level takes 0 to 4";
        return std::nullopt;
      }
      o.logLevel = static_cast<int>(number);
    } else if (arg == "--seconds") {
      if (!ParseNumber(value, number) || number <= 0) {
        error = "--seconds takes a positive number";
        return std::nullopt;
      }
      o.seconds = number;
    } else if (arg == "--demo") {
      if (!ParseNumber(value, number) || number < 0 || number > 250 || number != int(number)) {
        error = "--demo takes 0 to 250 calculators";
        return std::nullopt;
      }
      o.demo = static_cast<int>(number);
    } else if (arg == "--status-seconds") {
      if (!ParseNumber(value, number) || number < 0 || number > 86400) {
        error = "--status-seconds takes 0 to 86400";
        return std::nullopt;
      }
      o.statusSeconds = number;
    } else {
      error = "unknown option " + arg;
      return std::nullopt;
    }
  }
  return o;
}

std::unique_ptr<QtSettingsBackend> MakeSettingsBackend(const Options& options) {
  return options.settingsFile
             ? std::make_unique<QtSettingsBackend>(QString::fromStdString(*options.settingsFile))
             : std::make_unique<QtSettingsBackend>();
}

std::vector<std::string> PortLabels() {
  std::vector<std::string> labels;
  for (const SerialPortEntry& entry : ListSerialPorts())
    labels.push_back(entry.label);
  return labels;
}

std::string Count(std::size_t n, const std::string& one, const std::string& many = {}) {
  return std::to_string(n) + " " + (n == 1 ? one : many.empty() ? one + "s" : many);
}

void Print(const std::string& line) {
  std::fprintf(stdout, "%s\n", Cp1252ToUtf8(line).c_str());
}

// The device a start would open, or a problem; empty for the virtual radio.
std::string CheckPort(const Options& options, const InstallationReport& report,
                      std::vector<ContentProblem>& problems) {
  std::string device;
  if (options.port) {
    if (*options.port == VirtualRadioDevice) {
      Print("port: the virtual radio");
      return {};
    }
    device = *options.port;
  } else if (report.settings.ComPort == 0) {
    Print("port: the virtual radio (no port configured)");
    return {};
  } else {
    device = DeviceForPortNumber(report.settings.ComPort);
    if (device.empty()) {
      problems.push_back({"", 0,
                          "COM" + std::to_string(report.settings.ComPort) +
                              " is configured, but this system has no such serial port"});
      return {};
    }
  }
  Print("port: " + device);
  std::error_code ec;
  if (!std::filesystem::exists(device, ec)) {
    problems.push_back({device, 0, "no such device"});
  } else if (::access(device.c_str(), R_OK | W_OK) != 0) {
    problems.push_back({device, 0, "not readable and writable for this user (group dialout?)"});
  }
  return device;
}

// Reads what a start reads and says what it found; 1 on any problem. No lock: it runs beside the
// server that uses the folder.
int Check(const Options& options) {
  std::unique_ptr<QtSettingsBackend> backend = MakeSettingsBackend(options);
  const std::string settingsName = FromQString(backend->FilePath());
  const InstallationReport report = CheckInstallation(*backend, PortLabels, ".", settingsName);
  std::vector<ContentProblem> problems = report.problems;
  Print("working folder: " + FromQString(QDir::currentPath()));
  Print("settings: " + settingsName);
  CheckPort(options, report, problems);
  if (report.usersFound) {
    Print("users.txt: " + Count(report.accounts, "account") + " (" +
          Count(report.administrators, "administrator") + "), " +
          Count(report.storedMessages, "stored message"));
  }
  Print("resfdbck.txt: " + Count(report.feedback, "entry", "entries"));
  Print("content: " + report.contentFolder + ", " + Count(report.pages, "page"));
  for (const std::string& note : report.notes)
    Print("note: " + note);
  for (const ContentProblem& problem : problems)
    Print(Describe(problem));
  if (problems.empty()) {
    Print("velorad --check: no problems");
    return 0;
  }
  Print("velorad --check: " + Count(problems.size(), "problem"));
  return 1;
}

int Run(const Options& options) {
  if (!QDir::setCurrent(QString::fromStdString(options.workdir))) {
    std::fprintf(stderr, "velorad: cannot change to %s\n", options.workdir.c_str());
    return 1;
  }
  if (options.check) return Check(options);
  TerminalUi ui;
  QtWorld world;
  const std::unique_ptr<Server> built = world.Build(ui, ".");
  Server& server = *built;
  QtServerPort* port = &world.Port();
  server.SetLogLevel(static_cast<LogLevel>(options.logLevel));

  std::unique_ptr<QtSettingsBackend> backend = MakeSettingsBackend(options);
  Lifecycle lifecycle(server, ui, *backend, PortLabels, ".");
  // Standard output is the journal under the service manager.
  StatusReporter status(server, lifecycle);
  const auto printStatus = [&status] {
    Print(status.Line());
    std::fflush(stdout);
  };
  WatchStatusSignal(QCoreApplication::instance(), printStatus);
  if (!lifecycle.Load(static_cast<std::uint32_t>(std::random_device{}()))) return 1;
  if (options.port) port->SetDevicePath(*options.port);

  std::unique_ptr<CalculatorFleet> fleet;
  if (options.demo > 0) {
    if (!port->IsVirtualRadio()) {
      std::fprintf(stderr, "velorad: --demo needs the virtual radio (--port virtual)\n");
      return 2;
    }
    for (int i = 1; i <= options.demo; ++i) {
      const std::string name = "demo" + std::to_string(i);
      if (UserExists(server.Users(), name)) continue;
      Tuserdata account;
      account.Name = AsciiUpper(name);
      account.Password = name;
      lifecycle.AddTransientAccount(std::move(account));
    }
    fleet = std::make_unique<CalculatorFleet>(port->Radio(), server.Settings(), options.demo,
                                              std::random_device{}());
  }

  QCoreApplication* app = QCoreApplication::instance();
  // Stops the server like closing the main window.
  WatchTerminationSignals(app, [&server] { server.AbortWaits(); });
  QTimer uptime;
  QObject::connect(&uptime, &QTimer::timeout, [&server] { server.TickSecond(); });
  uptime.start(1000);
  QTimer statusTimer;
  QObject::connect(&statusTimer, &QTimer::timeout, printStatus);
  if (options.statusSeconds > 0) statusTimer.start(static_cast<int>(options.statusSeconds * 1000));
  if (options.seconds > 0) {
    QTimer::singleShot(static_cast<int>(options.seconds * 1000),
                       [&server] { server.AbortWaits(); });
  }
  std::uint64_t cycles = 0;
  std::uint64_t cycleMsSum = 0;
  std::uint32_t cycleMsMin = UINT32_MAX, cycleMsMax = 0;
  server.SetCycleHandler([&] {
    if (++cycles == 1) return;  // the first measures the start, not a cycle
    const std::uint32_t ms = server.Cycle().lastCycleMs;
    cycleMsSum += ms;
    cycleMsMin = std::min(cycleMsMin, ms);
    cycleMsMax = std::max(cycleMsMax, ms);
  });

  const bool started = lifecycle.Run();
  uptime.stop();
  statusTimer.stop();
  const SaveResult saved = lifecycle.Save();
  if (started) printStatus();
  for (const std::string& failed : saved.failed)
    std::fprintf(stderr, "velorad: not saved: %s\n", failed.c_str());
  if (cycles > 1) {
    std::fprintf(stderr, "velorad: %llu cycles, cycle time mean %.1f ms (min %u, max %u)\n",
                 static_cast<unsigned long long>(cycles - 1),
                 static_cast<double>(cycleMsSum) / static_cast<double>(cycles - 1), cycleMsMin,
                 cycleMsMax);
  }
  return started && saved.Ok() ? 0 : 1;
}

}  // namespace
}  // namespace velora

int main(int argc, char** argv) {
  velora::IgnoreFileSizeSignal();
  std::string error;
  const std::optional<velora::Options> options = velora::Parse(argc, argv, error);
  if (!options) {
    if (!error.empty()) std::fprintf(stderr, "velorad: %s\n", error.c_str());
    std::fputs(velora::kUsage, error.empty() ? stdout : stderr);
    return error.empty() ? 0 : 2;
  }
  QCoreApplication app(argc, argv);
  // The radio's pauses and time-outs end on time even on a busy box (where the kernel grants it).
  velora::RequestShortTimeSlices();
  return velora::Run(*options);
}
