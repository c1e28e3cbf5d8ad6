// Deleting the old log files.
#include "store/old_logs.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <tuple>
#include <vector>

#include "common/cp1252.h"
#include "store/log_file.h"

namespace velora {

namespace {

constexpr std::size_t DateChars = 8;
constexpr std::size_t TimeChars = 6;
constexpr std::string_view Extension = ".txt";

// The counter of a dated name: 1 without one, else its digits (saturated, names are short).
std::uint64_t CounterOf(std::string_view name) {
  constexpr std::size_t stamped = LogFileStem.size() + DateChars + 1 + TimeChars;
  const std::string_view counter = name.substr(stamped, name.size() - stamped - Extension.size());
  if (counter.empty()) return 1;
  std::uint64_t value = 0;
  for (char c : counter.substr(1))
    value = std::min<std::uint64_t>(value * 10 + static_cast<std::uint64_t>(c - '0'), 1u << 30);
  return value;
}

}  // namespace

bool IsDatedLogFileName(std::string_view name) {
  constexpr std::size_t stamped = LogFileStem.size() + DateChars + 1 + TimeChars;
  if (name.size() < stamped + Extension.size()) return false;
  if (name.substr(0, LogFileStem.size()) != LogFileStem) return false;
  if (name[LogFileStem.size() + DateChars] != '@') return false;
  if (name.substr(name.size() - Extension.size()) != Extension) return false;
  const std::string_view counter = name.substr(stamped, name.size() - stamped - Extension.size());
  if (counter.empty()) return true;
  if (counter.size() < 2 || counter[0] != '-') return false;
  for (char c : counter.substr(1)) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

int DeleteOldLogs(const std::string& directory) {
  namespace fs = std::filesystem;
  std::error_code error;
  std::vector<fs::path> dated;
  for (fs::directory_iterator it(directory, error), end; !error && it != end; it.increment(error)) {
    const std::string name = it->path().filename().string();
    // Only ordinary files: a directory or a device of that name is left alone.
    if (IsDatedLogFileName(name) && it->is_regular_file(error)) dated.push_back(it->path());
  }
  int count = 0;
  for (const fs::path& path : dated) {
    fs::remove(path, error);
    ++count;
  }
  const fs::path current = fs::path(directory) / LogFileName;
  if (fs::exists(fs::symlink_status(current, error))) {
    fs::remove(current, error);
    ++count;
  }
  return count;
}

std::vector<std::string> RemoveOldestDatedLogs(const std::string& directory, std::uint64_t maxBytes,
                                               std::string_view keepName) {
  namespace fs = std::filesystem;
  struct Dated {
    std::string stamp;
    std::uint64_t counter;
    std::string name;
    std::uint64_t size;
  };
  std::error_code error;
  std::vector<Dated> logs;
  std::uint64_t total = 0;
  for (fs::directory_iterator it(directory, error), end; !error && it != end; it.increment(error)) {
    const std::string name = it->path().filename().string();
    if (!IsDatedLogFileName(name) || !it->is_regular_file(error)) continue;
    const std::uintmax_t size = it->file_size(error);
    if (error) continue;
    logs.push_back(
        {name.substr(LogFileStem.size(), DateChars + 1 + TimeChars), CounterOf(name), name, size});
    total += size;
  }
  std::sort(logs.begin(), logs.end(), [](const Dated& a, const Dated& b) {
    return std::tie(a.stamp, a.counter, a.name) < std::tie(b.stamp, b.counter, b.name);
  });
  std::vector<std::string> removed;
  for (const Dated& log : logs) {
    if (total <= maxBytes) break;
    if (log.name == keepName) continue;
    if (!fs::remove(fs::path(directory) / log.name, error) || error) continue;
    total -= log.size;
    removed.push_back(log.name);
  }
  return removed;
}

std::string DeletedLogsMessage(int count) {
  if (count == 1) return std::string("Eine Logdatei gelöscht."_cp);
  return std::to_string(count) + std::string(" Logdateien gelöscht."_cp);
}

}  // namespace velora
