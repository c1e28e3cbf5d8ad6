// velorad: the server without windows, for an always-on box and for black-box tests.
#include <QCoreApplication>
#include <QDir>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <random>
#include <string>

#include "app/signal_watch.h"
#include "app/terminal_ui.h"
#include "bus/lifecycle.h"
#include "bus/server.h"
#include "common/text.h"
#include "platform/qt_line_connection.h"
#include "platform/qt_port_list.h"
#include "platform/qt_server_port.h"
#include "platform/qt_settings_backend.h"
#include "platform/qt_time.h"
#include "platform/virtual_fleet.h"

namespace velora {
namespace {

struct Options {
  std::string workdir = ".";
  std::optional<std::string> port;  // device path or "virtual"
  std::optional<std::string> settingsFile;
  int logLevel = InitialLogLevel;
  double seconds = 0;  // 0: until a signal
  int demo = 0;
};

constexpr const char* kUsage =
    "usage: velorad [--workdir DIR] [--port DEVICE|virtual] [--settings FILE]\n"
    "               [--log-level 0..4] [--seconds S] [--demo N]\n";

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
    if (i + 1 >= argc) {
      error = "missing value for " + arg;
      return std::nullopt;
    }
    const std::string value = argv[++i];
    double number = 0;
    if (arg == "--workdir") {
      o.workdir = value;
    } else if (arg == "--port") {
      o.port = value;
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
    } else {
      error = "unknown option " + arg;
      return std::nullopt;
    }
  }
  return o;
}

int Run(const Options& options) {
  if (!QDir::setCurrent(QString::fromStdString(options.workdir))) {
    std::fprintf(stderr, "velorad: cannot change to %s\n", options.workdir.c_str());
    return 1;
  }
  TerminalUi ui;
  QtClock clock;
  QtEventPump pump;
  QtOneShotTimer timer;
  QtLineConnectionFactory mailConnections;
  QtOneShotTimerFactory mailTimers;
  QtServerPort* port = nullptr;
  Server server(ServerPorts{clock, pump, timer, ui,
                            [&port](const ServerSettings& settings) {
                              auto made = std::make_unique<QtServerPort>(settings);
                              port = made.get();
                              return made;
                            },
                            &mailConnections, &mailTimers, QtLocalHostName()},
                ".");
  server.SetLogLevel(static_cast<LogLevel>(options.logLevel));
  port->SetNoteHandler([&server](std::string_view note) { server.LogLine(note); });

  std::unique_ptr<QtSettingsBackend> backend =
      options.settingsFile
          ? std::make_unique<QtSettingsBackend>(QString::fromStdString(*options.settingsFile))
          : std::make_unique<QtSettingsBackend>();
  Lifecycle lifecycle(
      server, ui, *backend,
      [] {
        std::vector<std::string> labels;
        for (const SerialPortEntry& entry : ListSerialPorts())
          labels.push_back(entry.label);
        return labels;
      },
      ".");
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
  const SaveResult saved = lifecycle.Save();
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
  std::string error;
  const std::optional<velora::Options> options = velora::Parse(argc, argv, error);
  if (!options) {
    if (!error.empty()) std::fprintf(stderr, "velorad: %s\n", error.c_str());
    std::fputs(velora::kUsage, error.empty() ? stdout : stderr);
    return error.empty() ? 0 : 2;
  }
  QCoreApplication app(argc, argv);
  return velora::Run(*options);
}
