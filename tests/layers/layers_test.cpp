// The core's folders include only folders below them: common, settings, link, then sim, store and
// mail side by side (none of them includes another), then session, then bus.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace velora {
namespace {

namespace fs = std::filesystem;

const std::map<std::string, int> kRank = {{"common", 0},  {"settings", 1}, {"link", 2},
                                          {"sim", 3},     {"store", 3},    {"mail", 3},
                                          {"session", 4}, {"bus", 5}};

// The folder of a line `#include "folder/file.h"`, or empty for any other line.
std::string IncludedFolder(const std::string& line) {
  std::size_t i = line.find_first_not_of(" \t");
  if (i == std::string::npos || line[i] != '#') return {};
  i = line.find_first_not_of(" \t", i + 1);
  if (i == std::string::npos || line.compare(i, 7, "include") != 0) return {};
  i = line.find_first_not_of(" \t", i + 7);
  if (i == std::string::npos || line[i] != '"') return {};
  const std::size_t slash = line.find('/', i + 1);
  const std::size_t quote = line.find('"', i + 1);
  if (slash == std::string::npos || slash > quote) return {};
  return line.substr(i + 1, slash - i - 1);
}

// Every include of one core folder that reaches a folder at its own rank or above.
std::vector<std::string> Violations(const fs::path& folder, int rank) {
  std::vector<std::string> found;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    const std::string ext = entry.path().extension().string();
    if (ext != ".h" && ext != ".cpp") continue;
    std::ifstream in(entry.path());
    std::string line;
    for (int n = 1; std::getline(in, line); ++n) {
      const std::string target = IncludedFolder(line);
      if (target.empty() || target == folder.filename().string()) continue;
      const auto it = kRank.find(target);
      if (it == kRank.end() || it->second < rank) {
        if (it == kRank.end()) found.push_back(entry.path().string() + ":" + std::to_string(n));
        continue;
      }
      found.push_back(entry.path().string() + ":" + std::to_string(n) + " includes " + target);
    }
  }
  return found;
}

TEST(LayerTest, NoCoreFolderIncludesOneAtOrAboveItsOwnLayer) {
  for (const auto& [name, rank] : kRank) {
    const fs::path folder = fs::path(VELORA_SOURCE_DIR) / name;
    if (!fs::is_directory(folder)) continue;
    EXPECT_EQ(Violations(folder, rank), std::vector<std::string>{}) << name;
  }
}

}  // namespace
}  // namespace velora
