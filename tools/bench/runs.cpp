// The measured runs.
#include "bench/runs.h"

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/journeys.h"
#include "bench/meter.h"
#include "bus/server.h"
#include "common/text.h"
#include "platform/qt/qt_precise_wakeup.h"
#include "platform/qt/qt_scheduler.h"
#include "platform/qt/qt_world.h"
#include "platform/virtual/virtual_fleet.h"
#include "platform/virtual/virtual_radio.h"
#include "platform/virtual/virtual_serial_port.h"
#include "platform/virtual/virtual_time.h"
#include "platform/virtual/virtual_world.h"
#include "support/pty_pair.h"

namespace velora::bench {

namespace {

using Steady = std::chrono::steady_clock;

std::int64_t SteadyUs() {
  return std::chrono::duration_cast<std::chrono::microseconds>(Steady::now().time_since_epoch())
      .count();
}

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double PeakRssMb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

using testing::PtyPair;

class SilentUi : public OperatorUi {
 public:
  void ShowMessage(std::string_view) override {}
  bool Confirm(std::string_view) override { return false; }
  void EventLine(std::string_view) override {}
  void ReplaceEventList(std::string_view) override {}
};

class TempDir {
 public:
  TempDir() {
    char pattern[] = "/tmp/velora-bench-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) throw std::runtime_error("no temporary directory");
    path_ = pattern;
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// The far end of the pseudo-terminal: the server's modem on a radio of simulated calculators,
// with the receive latency of the virtual radio's own port. What the server writes goes on the
// air at the line rate; what the modem hears goes back through the pseudo-terminal.
class PtyModem {
 public:
  PtyModem(VirtualRadio& radio, const ServerSettings& settings, int masterFd)
      : fd_(masterFd),
        settings_(settings),
        modem_(radio, settings, "pty modem"),
        notifier_(masterFd, QSocketNotifier::Read) {
    std::string error;
    modem_.Open(error);
    modem_.SetReceivedHandler([this] {
      const std::string bytes = modem_.ReadAll();
      [[maybe_unused]] const ssize_t n = ::write(fd_, bytes.data(), bytes.size());
    });
    // The server's DTR does not come through: the modem sends while it has something to send.
    modem_.SetTxEmptyHandler([this] { modem_.SetDtr(settings_.TxenHighIsDtrFalse); });
    QObject::connect(&notifier_, &QSocketNotifier::activated, [this] { FromServer(); });
  }

 private:
  void FromServer() {
    char buffer[512];
    std::string bytes;
    ssize_t n;
    while ((n = ::read(fd_, buffer, sizeof buffer)) > 0)
      bytes.append(buffer, static_cast<std::size_t>(n));
    if (bytes.empty()) return;
    modem_.SetDtr(!settings_.TxenHighIsDtrFalse);
    modem_.Write(bytes);
  }

  int fd_;
  const ServerSettings& settings_;
  VirtualSerialPort modem_;
  QSocketNotifier notifier_;
};

// The default installation's content, wherever the benchmark is started from.
void UseBuiltInContent(Server& server) {
  ServerSettings settings = server.Settings();
  settings.ContentDir = std::string(VELORA_CONTENT_DIR) + "/";
  server.ApplySettings(settings);
}

// The calculators' side of the pseudo-terminal, in a process of its own as hardware would be:
// the server's process carries the server alone.
pid_t StartFarEnd(const PtyPair& pty, int stations, std::uint32_t seed) {
  std::fflush(nullptr);
  const pid_t pid = ::fork();
  if (pid != 0) return pid;
  static int argc = 1;
  static char name[] = "velora_bench_calculators";
  static char* argv[] = {name, nullptr};
  ::prctl(PR_SET_NAME, "bench-calcs");  // apart from the server in a profile
  QCoreApplication app(argc, argv);
  // Holding the device side open keeps the master readable until the server has opened it.
  [[maybe_unused]] const int device = ::open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY);
  QtScheduler scheduler;
  VirtualRadio radio(scheduler);
  ServerSettings settings;
  PtyModem modem(radio, settings, pty.MasterFd());
  CalculatorFleet fleet(radio, settings, stations, seed);
  app.exec();  // until the benchmark ends it
  ::_exit(0);
}

void AddDemoAccounts(Server& server, int count) {
  for (int i = 1; i <= count; ++i) {
    Tuserdata account;
    account.Name = AsciiUpper("demo" + std::to_string(i));
    account.Password = "demo" + std::to_string(i);
    server.AddAccount(account);
  }
}

void FillTimedWaits(std::vector<std::int64_t>& late, RealResult& result) {
  result.timedLateMeanUs = Mean(late);
  result.timedLateMedianUs = static_cast<double>(Percentile(late, 0.5));
  result.timedLateP99Us = static_cast<double>(Percentile(late, 0.99));
}

}  // namespace

RealResult RunRealTime(const RealPlan& plan) {
  static int argc = 1;
  static char name[] = "velora_bench";
  static char* argv[] = {name, nullptr};
  if (plan.shortSlices && !RequestShortTimeSlices()) {
    throw std::runtime_error("the kernel refused short time slices");
  }
  const bool onPty = plan.port == RealPort::PseudoTerminal;
  std::unique_ptr<PtyPair> pty;
  pid_t farEnd = -1;
  if (onPty) {
    pty = std::make_unique<PtyPair>();
    farEnd = StartFarEnd(*pty, plan.stations, plan.seed);
  }
  ::prctl(PR_SET_NAME, "bench-server");
  QCoreApplication app(argc, argv);

  TempDir dir;
  QtWorld world;
  SilentUi ui;
  IdealAnswers ideal(VirtualSerialPort::DefaultReceiveLatencyUs);
  Meter meter(SteadyUs, ideal, "U");
  MeteredTimer timer(world.timer, meter);
  const std::unique_ptr<Server> built =
      world.Build(ui, dir.path(), {.timer = &timer, .decoratePort = MeterPorts(meter)});
  Server& server = *built;
  // Port number 0, the server's modem on the real-time virtual radio, unless the far end is a
  // process of its own behind the pseudo-terminal.
  if (onPty) world.Port().SetDevicePath(pty->SlavePath());
  VirtualRadio& radio = world.Port().Radio();
  server.SetLogLevel(static_cast<LogLevel>(plan.logLevel));
  UseBuiltInContent(server);
  AddDemoAccounts(server, plan.stations);
  std::unique_ptr<CalculatorFleet> fleet;
  if (!onPty)
    fleet = std::make_unique<CalculatorFleet>(radio, server.Settings(), plan.stations, plan.seed);

  RealResult result;
  const std::int64_t startUs = SteadyUs();
  std::int64_t measureFromUs = -1;
  double cpuFrom = 0;
  double cpuTo = 0;
  std::int64_t measureToUs = 0;
  server.SetCycleHandler([&] {
    meter.CycleMark();
    const std::int64_t now = SteadyUs();
    if (measureFromUs < 0) {
      const bool ready = static_cast<int>(server.Stations().Count()) == plan.stations;
      if (!ready && now - startUs < static_cast<std::int64_t>(plan.warmUpLimitS * 1e6)) return;
      result.warmUpS = static_cast<double>(now - startUs) / 1e6;
      measureFromUs = now;
      cpuFrom = CpuSeconds();
      meter.SetMeasuring(true);
      return;
    }
    if (now - measureFromUs < static_cast<std::int64_t>(plan.measureS * 1e6)) return;
    meter.SetMeasuring(false);
    measureToUs = now;
    cpuTo = CpuSeconds();
    result.registered = static_cast<int>(server.Stations().Count());
    server.RequestStop();
  });
  server.Start();
  if (farEnd > 0) {
    ::kill(farEnd, SIGKILL);
    ::waitpid(farEnd, nullptr, 0);
  }

  MeterTotals totals = meter.Totals();
  result.cycles = totals.cycles;
  if (totals.cycles > 0) {
    const double perCycleMs = 1e3 * static_cast<double>(totals.cycles);
    result.meanCycleMs = static_cast<double>(totals.actualUs) / perCycleMs;
    result.idealCycleMs = static_cast<double>(totals.idealUs) / perCycleMs;
    result.lateWaitsMs = Mean(totals.timedWaitLateUs) *
                         static_cast<double>(totals.timedWaitLateUs.size()) / perCycleMs;
    result.lateAnswersMs = (Mean(totals.answeredUs) - Mean(totals.answeredIdealUs)) *
                           static_cast<double>(totals.answeredUs.size()) / perCycleMs;
    result.workMs = static_cast<double>(totals.actualUs - totals.waitedUs) / perCycleMs;
  }
  result.cpuShare = (cpuTo - cpuFrom) / (static_cast<double>(measureToUs - measureFromUs) / 1e6);
  FillTimedWaits(totals.timedWaitLateUs, result);
  result.answered = totals.answeredUs.size();
  result.answeredMeanMs = Mean(totals.answeredUs) / 1e3;
  result.answeredIdealMeanMs = Mean(totals.answeredIdealUs) / 1e3;
  return result;
}

VirtualResult RunVirtualTime(const VirtualPlan& plan) {
  TempDir dir;
  VirtualWorld world;
  VirtualTime& time = world.time;
  VirtualRadio& radio = world.radio;
  SilentUi ui;
  IdealAnswers ideal(VirtualSerialPort::DefaultReceiveLatencyUs);
  Meter meter([&time] { return time.NowUs(); }, ideal, "U");
  MeteredTimer timer(world.timer, meter);
  const std::unique_ptr<Server> built =
      world.Build(ui, dir.path(), {.timer = &timer, .decoratePort = MeterPorts(meter)});
  Server& server = *built;
  server.SetLogLevel(static_cast<LogLevel>(plan.logLevel));
  UseBuiltInContent(server);
  AddDemoAccounts(server, plan.stations);
  FleetTiming timing;
  if (plan.journeys) ConfigureJourneys(timing);
  CalculatorFleet fleet(radio, server.Settings(), plan.stations, plan.seed, "demo", timing);
  std::vector<std::unique_ptr<MessageErrand>> errands;
  if (plan.journeys) errands = GiveMessageErrands(fleet);

  VirtualResult result;
  // Cycle times by the number of stations present when the cycle began, while not everyone has
  // registered yet: the least time N registrations can take follows from them.
  std::map<std::size_t, std::vector<std::int64_t>> cycleUsByStations;
  std::vector<bool> everRegistered(static_cast<std::size_t>(plan.stations), false);
  int everCount = 0;
  std::int64_t lastMarkUs = -1;
  std::size_t stationsAtMark = 0;
  double settledFromCpu = -1;
  meter.SetMeasuring(true);
  server.SetCycleHandler([&] {
    meter.CycleMark();
    const std::int64_t now = time.NowUs();
    if (result.allRegisteredS < 0) {
      if (lastMarkUs >= 0) cycleUsByStations[stationsAtMark].push_back(now - lastMarkUs);
      for (std::size_t i = 0; i < fleet.Size(); ++i) {
        if (everRegistered[i] || !fleet.Station(i).engine().Registered()) continue;
        everRegistered[i] = true;
        ++everCount;
      }
      if (everCount == plan.stations) {
        result.allRegisteredS = static_cast<double>(now) / 1e6;
        result.allRegisteredCycles = meter.Totals().cycles;
        settledFromCpu = CpuSeconds();
      }
    } else {
      result.settledStationCycles += stationsAtMark;
    }
    lastMarkUs = now;
    stationsAtMark = server.Stations().Count();
    result.stationCycles += stationsAtMark;
  });
  const std::int64_t endUs = static_cast<std::int64_t>(plan.simulatedS * 1e6);
  const std::int64_t wallStart = SteadyUs();
  const std::int64_t wallLimit = static_cast<std::int64_t>(plan.wallLimitS * 1e6);
  std::function<void()> watch = [&] {
    if (time.NowUs() >= endUs || SteadyUs() - wallStart > wallLimit) {
      server.RequestStop();
      return;
    }
    time.ScheduleAfter(1'000'000, watch);
  };
  time.ScheduleAfter(1'000'000, watch);
  const double cpuFrom = CpuSeconds();
  server.Start();
  const double cpuTo = CpuSeconds();
  result.cpuS = cpuTo - cpuFrom;
  if (settledFromCpu >= 0) result.settledCpuS = cpuTo - settledFromCpu;
  result.wallS = static_cast<double>(SteadyUs() - wallStart) / 1e6;
  result.simulatedS = static_cast<double>(time.NowUs()) / 1e6;

  const MeterTotals& totals = meter.Totals();
  result.cycles = totals.cycles;
  result.frames = totals.framesSent + totals.framesReceived;
  result.idealRatio =
      totals.idealUs > 0 ? static_cast<double>(totals.actualUs) / totals.idealUs : 0;
  result.registeredAtEnd = static_cast<int>(fleet.RegisteredCount());
  if (!cycleUsByStations.empty()) {
    // A count never seen takes the cycle time of the next one seen below it.
    double bound = 0;
    std::int64_t last = 0;
    for (int k = 0; k < plan.stations; ++k) {
      auto found = cycleUsByStations.find(static_cast<std::size_t>(k));
      if (found != cycleUsByStations.end()) last = Percentile(found->second, 0.5);
      bound += static_cast<double>(last);
    }
    result.oneANewcomerPerCycleS = bound / 1e6;
  }
  for (std::size_t i = 0; i < fleet.Size(); ++i) {
    result.logins += static_cast<std::uint64_t>(fleet.User(i).logins);
  }
  result.logouts = CountLogouts(fleet);
  for (const auto& errand : errands)
    result.messages += static_cast<std::uint64_t>(errand->ConfirmedCount());
  result.peakRssMb = PeakRssMb();
  return result;
}

}  // namespace velora::bench
