// Measures how closely the serial line's Delay keeps time through the Qt adapters (precise timer
// and event pump), and how much CPU its waits use. Not part of the tests: real time, real load.
//
//   velora_delay_bench [runs per delay, default 200] [seconds of the CPU run, default 10]
#include <sys/resource.h>

#include <QCoreApplication>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "link/serial_line.h"
#include "platform/qt/qt_server_port.h"
#include "platform/qt/qt_time.h"
#include "store/log_file.h"

namespace {

using namespace velora;
using Steady = std::chrono::steady_clock;

class SilentUi : public OperatorUi {
 public:
  void ShowMessage(std::string_view) override {}
  bool Confirm(std::string_view) override { return false; }
  void EventLine(std::string_view) override {}
  void ReplaceEventList(std::string_view) override {}
};

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double Percentile(const std::vector<double>& sorted, double p) {
  const auto index =
      static_cast<std::size_t>(std::ceil(p * static_cast<double>(sorted.size()))) - 1;
  return sorted[std::min(index, sorted.size() - 1)];
}

void CpuRun(SerialLine& line, int delayMs, int seconds) {
  const auto end = Steady::now() + std::chrono::seconds(seconds);
  const double cpuBefore = CpuSeconds();
  const auto wallBefore = Steady::now();
  long waits = 0;
  while (Steady::now() < end) {
    line.Delay(delayMs);
    ++waits;
  }
  const double wall = std::chrono::duration<double>(Steady::now() - wallBefore).count();
  const double cpu = CpuSeconds() - cpuBefore;
  std::printf(
      "CPU while waiting in Delay(%d) for %.1f s (%ld waits): %.3f s = %.2f %% of one core\n",
      delayMs, wall, waits, cpu, 100.0 * cpu / wall);
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200;
  const int cpuSeconds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 10;

  QtClock clock;
  QtOneShotTimer timer;
  QtEventPump pump;
  SilentUi ui;
  LogFile log(clock, ui);  // closed: lines are formatted and dropped, as when nobody logs
  ServerSettings settings;
  QtServerPort port(settings);
  SerialLine line(port, timer, pump, log, settings);

  std::printf("Delay error in ms (measured - requested), %d runs each, dispatcher %s\n", runs,
              qEnvironmentVariableIsSet("QT_NO_GLIB") ? "unix" : "default");
  std::printf("%8s %9s %9s %9s %9s %9s\n", "delay", "min", "median", "p99", "worst", "mean");
  for (int ms : {1, 3, 15, 50, 100}) {
    std::vector<double> errors;
    errors.reserve(static_cast<std::size_t>(runs));
    for (int i = 0; i < runs; ++i) {
      const auto start = Steady::now();
      line.Delay(ms);
      const double took = std::chrono::duration<double, std::milli>(Steady::now() - start).count();
      errors.push_back(took - ms);
    }
    std::vector<double> magnitudes(errors.size());
    std::transform(errors.begin(), errors.end(), magnitudes.begin(),
                   [](double e) { return std::fabs(e); });
    std::sort(errors.begin(), errors.end());
    std::sort(magnitudes.begin(), magnitudes.end());
    double sum = 0;
    for (double e : errors)
      sum += e;
    std::printf("%6d ms %9.3f %9.3f %9.3f %9.3f %9.3f\n", ms, errors.front(),
                Percentile(errors, 0.5), Percentile(magnitudes, 0.99), magnitudes.back(),
                sum / static_cast<double>(errors.size()));
  }
  CpuRun(line, 50, cpuSeconds);
  CpuRun(line, 1, cpuSeconds);
  return 0;
}
