// The benchmark: the server in real time on the virtual radio and on a pseudo-terminal, and in
// virtual time with fleets of scripted calculators. Prints one table and can write it to a file
// with the date and the machine. Every figure comes from this run; each run has a process of its
// own.
//
//   velora_bench [--out FILE] [--quick] [--only real|virtual] [--measure S] [--simulate S]
//                [--stations N] [--log-level L] [--short-slices]
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "bench/runs.h"

namespace {

using namespace velora::bench;

// Runs fn in a child process and hands its result back; nothing when the child failed.
template <class Result>
std::optional<Result> InChild(const std::function<Result()>& fn) {
  int fds[2];
  if (::pipe(fds) != 0) return std::nullopt;
  std::fflush(nullptr);
  const pid_t pid = ::fork();
  if (pid < 0) return std::nullopt;
  if (pid == 0) {
    ::close(fds[0]);
    int status = 1;
    try {
      const Result result = fn();
      status = ::write(fds[1], &result, sizeof result) == sizeof result ? 0 : 1;
    } catch (const std::exception& e) {
      std::fprintf(stderr, "velora_bench: %s\n", e.what());
    }
    std::fflush(nullptr);
    ::_exit(status);
  }
  ::close(fds[1]);
  Result result;
  std::size_t got = 0;
  while (got < sizeof result) {
    const ssize_t n = ::read(fds[0], reinterpret_cast<char*>(&result) + got, sizeof result - got);
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  ::close(fds[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  if (got != sizeof result || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::nullopt;
  return result;
}

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...) {
  char text[4096];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  return text;
}

std::string FirstLineWith(const char* path, const std::string& key) {
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind(key, 0) != 0) continue;
    const auto colon = line.find(':');
    return colon == std::string::npos ? line
                                      : line.substr(line.find_first_not_of(" \t", colon + 1));
  }
  return "?";
}

std::string Machine() {
  const long cores = ::sysconf(_SC_NPROCESSORS_ONLN);
  std::string load = "?";
  std::ifstream in("/proc/loadavg");
  if (in) {
    std::string one, five, fifteen;
    in >> one >> five >> fifteen;
    load = one + " " + five + " " + fifteen;
  }
  return FirstLineWith("/proc/cpuinfo", "model name") + ", " + std::to_string(cores) +
         " cores (nproc), load average at start " + load;
}

std::string Today() {
  const std::time_t now = std::time(nullptr);
  char text[64];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", std::localtime(&now));
  return text;
}

struct Options {
  std::string out;
  bool real = true;
  bool simulated = true;
  double measureS = 8;
  double simulateS = 3600;
  double warmUpLimitS = 60;
  int onlyStations = -1;  // every station count
  int realLogLevel = 3;   // as the headless server starts
  bool shortSlices = false;
};

std::optional<Options> Parse(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--out" && hasValue) {
      o.out = argv[++i];
    } else if (arg == "--quick") {
      o.measureS = 2;
      o.simulateS = 300;
      o.warmUpLimitS = 20;
    } else if (arg == "--only" && hasValue) {
      const std::string what = argv[++i];
      o.real = what == "real";
      o.simulated = what == "virtual";
    } else if (arg == "--measure" && hasValue) {
      o.measureS = std::atof(argv[++i]);
    } else if (arg == "--simulate" && hasValue) {
      o.simulateS = std::atof(argv[++i]);
    } else if (arg == "--short-slices") {
      o.shortSlices = true;
    } else if (arg == "--log-level" && hasValue) {
      o.realLogLevel = std::atoi(argv[++i]);
    } else if (arg == "--stations" && hasValue) {
      o.onlyStations = std::atoi(argv[++i]);
    } else {
      return std::nullopt;
    }
  }
  return o;
}

std::string RealTable(const Options& options) {
  std::string table =
      "| port | stations | registered (warm-up s) | cycles | cycle ms | ideal ms | ratio | "
      "beyond the ideal, ms: late waits + late answers + work | answered wait ms (ideal), "
      "count | CPU % of a core | timed wait late µs: mean, median, p99 |\n"
      "|---|---|---|---|---|---|---|---|---|---|---|\n";
  for (RealPort port : {RealPort::VirtualRadio, RealPort::PseudoTerminal}) {
    for (int stations : {0, 10, 50}) {
      if (options.onlyStations >= 0 && stations != options.onlyStations) continue;
      RealPlan plan;
      plan.port = port;
      plan.stations = stations;
      plan.measureS = options.measureS;
      plan.warmUpLimitS = options.warmUpLimitS;
      plan.logLevel = options.realLogLevel;
      plan.shortSlices = options.shortSlices;
      const char* portName = port == RealPort::VirtualRadio ? "virtual radio" : "pseudo-terminal";
      std::fprintf(stderr, "real time, %s, %d stations ...\n", portName, stations);
      const std::optional<RealResult> r =
          InChild<RealResult>([&plan] { return RunRealTime(plan); });
      if (!r) {
        table += Format("| %s | %d | failed ||||||||\n", portName, stations);
        continue;
      }
      const std::string answered =
          r->answered == 0 ? "–"
                           : Format("%.3f (%.3f), %llu", r->answeredMeanMs, r->answeredIdealMeanMs,
                                    static_cast<unsigned long long>(r->answered));
      table += Format("| %s | %d | %d (%.1f) | %llu | %.2f | %.2f | %.4f | ", portName, stations,
                      r->registered, r->warmUpS, static_cast<unsigned long long>(r->cycles),
                      r->meanCycleMs, r->idealCycleMs,
                      r->idealCycleMs > 0 ? r->meanCycleMs / r->idealCycleMs : 0.0);
      table += Format("%.2f + %.2f + %.2f | ", r->lateWaitsMs, r->lateAnswersMs, r->workMs);
      table += answered + Format(" | %.1f | %.0f, %.0f, %.0f |\n", 100 * r->cpuShare,
                                 r->timedLateMeanUs, r->timedLateMedianUs, r->timedLateP99Us);
      std::fprintf(stderr, "%s", table.substr(table.rfind('\n', table.size() - 2) + 1).c_str());
    }
  }
  return table;
}

std::string VirtualTable(const Options& options) {
  std::string table =
      "| stations | users | simulated s | wall s | simulated s per wall s | cycles | "
      "CPU µs per cycle | CPU µs per station and cycle (all registered) | frames per wall s | "
      "CPU µs per frame | "
      "peak RSS MB | "
      "every station registered after s (cycles) | one newcomer per cycle: at least s | "
      "logins / logouts / messages | cycle time / model |\n"
      "|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|\n";
  for (bool journeys : {false, true}) {
    for (int stations : {10, 50, 250}) {
      if (options.onlyStations >= 0 && stations != options.onlyStations) continue;
      VirtualPlan plan;
      plan.stations = stations;
      plan.journeys = journeys;
      plan.simulatedS = options.simulateS;
      const char* users = journeys ? "journeys" : "register, browse";
      std::fprintf(stderr, "virtual time, %d stations, %s ...\n", stations, users);
      const std::optional<VirtualResult> r =
          InChild<VirtualResult>([&plan] { return RunVirtualTime(plan); });
      if (!r) {
        table += Format("| %d | %s | failed |||||||||||\n", stations, users);
        continue;
      }
      // With journeys members leave long before the last has come: no registration figures.
      std::string registered = "–";
      std::string bound = "–";
      std::string settled;
      if (!journeys && r->settledStationCycles > 0) {
        settled = Format(" (%.2f)", r->settledCpuS * 1e6 / r->settledStationCycles);
      }
      if (!journeys) {
        registered = r->allRegisteredS < 0
                         ? Format("not all: %d at the end", r->registeredAtEnd)
                         : Format("%.0f (%llu)", r->allRegisteredS,
                                  static_cast<unsigned long long>(r->allRegisteredCycles));
        bound = Format("%.0f", r->oneANewcomerPerCycleS);
      }
      const double cpuUs = r->cpuS * 1e6;
      table +=
          Format("| %d | %s | %.0f | %.2f | %.0f | %llu | %.0f | %.2f", stations, users,
                 r->simulatedS, r->wallS, r->wallS > 0 ? r->simulatedS / r->wallS : 0,
                 static_cast<unsigned long long>(r->cycles), r->cycles > 0 ? cpuUs / r->cycles : 0,
                 r->stationCycles > 0 ? cpuUs / r->stationCycles : 0);
      table += settled + Format(" | %.0f | %.2f | %.1f | ", r->wallS > 0 ? r->frames / r->wallS : 0,
                                r->frames > 0 ? cpuUs / r->frames : 0, r->peakRssMb);
      table +=
          registered + " | " + bound +
          Format(" | %llu / %llu / %llu | %.4f |\n", static_cast<unsigned long long>(r->logins),
                 static_cast<unsigned long long>(r->logouts),
                 static_cast<unsigned long long>(r->messages), r->idealRatio);
      std::fprintf(stderr, "%s", table.substr(table.rfind('\n', table.size() - 2) + 1).c_str());
    }
  }
  return table;
}

}  // namespace

int main(int argc, char** argv) {
  const std::optional<Options> options = Parse(argc, argv);
  if (!options) {
    std::fputs(
        "usage: velora_bench [--out FILE] [--quick] [--only real|virtual] [--measure S] "
        "[--simulate S] [--stations N] [--log-level L] [--short-slices]\n",
        stderr);
    return 2;
  }
  std::string report = "# Benchmarks\n\nMeasured " + Today() + " on " + Machine() + ".\n";
  report +=
      "Written by `make bench` (tools/velora_bench); every figure below comes from that one run, "
      "the soak's section aside.\n";
  if (options->real) {
    report += Format(
        "\n## Real time\n\n"
        "The server's polling cycle on the real-time virtual radio (as `velorad --port virtual "
        "--demo N`) and on a pseudo-terminal whose far end is a modem on a radio of simulated "
        "calculators in a process of their own, with 0, 10 and 50 scripted calculators that all "
        "ask "
        "to register within the first second. Once every station has registered, or after "
        "%.0f s, %.0f s are measured.\n\n"
        "- ideal: the same cycles with every timed wait exactly as long as asked (the pauses, "
        "the end-of-write waits for the bytes actually written, the receive time-outs) and "
        "every answer arriving when the exact radio model delivers it (the virtual radio and "
        "the server's port in virtual time, a calculator's 2 ms turnaround); ratio = cycle / "
        "ideal.\n"
        "- beyond the ideal: the cycle's time beyond its ideal, split into the lateness of the "
        "waits that ran out, the lateness of the answers and the work between waits.\n"
        "- answered wait: a receive wait that a station's frame ended, against its ideal.\n"
        "- CPU: the server's process, from getrusage; on the virtual radio the simulated "
        "stations run in it too (as with `--demo`), behind the pseudo-terminal they have a "
        "process of their own.\n"
        "- timed wait late: how late the waits that ran out (Delay, receive time-outs) ended.\n"
        "- log level %d; %s.\n\n",
        options->warmUpLimitS, options->measureS, options->realLogLevel,
        options->shortSlices ? "the processes asked the kernel for short time slices "
                               "(--short-slices)"
                             : "the kernel's default time slices, as velorad runs");
    report += RealTable(*options);
  }
  if (options->simulated) {
    report += Format(
        "\n## Virtual time\n\n"
        "The whole network in virtual time for %.0f simulated seconds, log level 1. Scripted "
        "calculators that all ask to register within the first second and then browse, or that "
        "go on journeys (log in, choose 5 to 30 menu items, log out, come back after 30 s to 5 "
        "min and register again; at one main menu in four a user writes another member a "
        "message).\n\n"
        "- CPU per station and cycle: the run's CPU time over the stations present, summed over "
        "the cycles; in brackets the same from the moment every station had registered. "
        "Flat when the cost of a cycle grows in proportion to the stations.\n"
        "- frames: those the server sent and received. The longer the cycle, the more of the "
        "users' answers and screens fall into one cycle, so a station's share of a cycle grows "
        "with the stations; the cost of a frame shows the machinery alone.\n"
        "- one newcomer per cycle: the least time the registrations can take when each cycle's "
        "one invitation lets in at most one station, summed from the cycle times this run saw "
        "with 0, 1, 2, … stations present.\n"
        "- cycle time / model: the cycles against the ideal used for the real-time runs; 1 "
        "when that model is exact.\n\n",
        options->simulateS);
    report += VirtualTable(*options);
  }
  std::printf("%s", report.c_str());
  if (!options->out.empty()) {
    const std::filesystem::path path(options->out);
    std::error_code ignored;
    if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path(), ignored);
    // The soak's section is copied there by hand from `make soak`: it stays.
    std::string kept;
    {
      std::ifstream before(path, std::ios::binary);
      const std::string text{std::istreambuf_iterator<char>(before), {}};
      const std::size_t soak = text.find("\n## Noisy-radio soak");
      if (soak != std::string::npos) kept = text.substr(soak);
    }
    std::ofstream out(path, std::ios::trunc);
    out << report << kept;
    if (!out) {
      std::fprintf(stderr, "velora_bench: cannot write %s\n", options->out.c_str());
      return 1;
    }
  }
  return 0;
}
