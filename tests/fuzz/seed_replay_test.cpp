// Every seed of the fuzz corpora through its target, in the ordinary builds: the targets stay
// buildable without clang, and the seeds (among them every input a fuzzer once failed on) pass.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>

#include "support/recording_ui.h"

#define VELORA_FUZZ_TARGETS(X) \
  X(frame_scanner)             \
  X(session)                   \
  X(user_file)                 \
  X(content_file)              \
  X(smtp_reply)                \
  X(pop3_reply)

#define VELORA_DECLARE(name) \
  extern "C" int VeloraFuzz_##name(const std::uint8_t* data, std::size_t size);
VELORA_FUZZ_TARGETS(VELORA_DECLARE)

namespace velora {
namespace {

struct Target {
  const char* name;
  int (*run)(const std::uint8_t*, std::size_t);
};

#define VELORA_ENTRY(name) Target{#name, VeloraFuzz_##name},
const Target kTargets[] = {VELORA_FUZZ_TARGETS(VELORA_ENTRY)};

class SeedReplay : public ::testing::TestWithParam<Target> {};

TEST_P(SeedReplay, EverySeedPasses) {
  const std::filesystem::path folder = std::filesystem::path(VELORA_FUZZ_CORPUS) / GetParam().name;
  int seeds = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    const std::string bytes = testing::ReadFileBytes(entry.path().string());
    SCOPED_TRACE(entry.path().filename().string());
    EXPECT_EQ(GetParam().run(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()), 0);
    ++seeds;
  }
  EXPECT_GE(seeds, 3) << "a few seeds for each target";
}

INSTANTIATE_TEST_SUITE_P(Targets, SeedReplay, ::testing::ValuesIn(kTargets),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace velora
