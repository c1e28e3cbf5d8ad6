// Deleting the old log files.
#include "store/old_logs.h"

#include <filesystem>
#include <system_error>
#include <vector>

#include "common/cp1252.h"
#include "store/log_file.h"

namespace velora {

namespace {

constexpr std::size_t DateChars = 8;
constexpr std::size_t TimeChars = 6;
constexpr std::string_view Extension = ".txt";

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

std::string DeletedLogsMessage(int count) {
  if (count == 1) return std::string("Eine Logdatei gelöscht."_cp);
  return std::to_string(count) + std::string(" Logdateien gelöscht."_cp);
}

}  // namespace velora
