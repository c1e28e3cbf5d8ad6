#include "bus/server.h"

#include <gtest/gtest.h>

#include "common/cp1252.h"
#include "platform/virtual/virtual_world.h"
#include "support/recording_ui.h"

namespace velora {
namespace {

using testing::RecordingUi;

// A port that cannot be opened.
class BrokenPort : public SerialPort {
 public:
  int PortNumber() const override { return 3; }
  void SetPortNumber(int) override {}
  bool Open(std::string& error) override {
    error = "no such device";
    return false;
  }
  void Close() override {}
  bool IsOpen() const override { return false; }
  void Write(std::string_view) override {}
  std::string ReadAll() override { return {}; }
  void SetDtr(bool) override {}
  void SetBreak(bool) override {}
  void SetReceivedHandler(std::function<void()>) override {}
  void SetTxEmptyHandler(std::function<void()>) override {}
};

class ServerStartTest : public ::testing::Test {
 protected:
  std::unique_ptr<Server> MakeServer(const std::string& workDir) {
    return world.Build(ui, workDir, {.decoratePort = [](std::unique_ptr<SerialPort>, auto&) {
                         return std::make_unique<BrokenPort>();
                       }});
  }
  testing::TempDir dir;
  VirtualWorld world;
  RecordingUi ui;
};

TEST_F(ServerStartTest, ALogThatCannotBeCreatedStopsTheStart) {
  const auto server = MakeServer(dir.File("missing"));
  EXPECT_FALSE(server->Start());
  EXPECT_EQ(ui.messages, (std::vector<std::string>{"Could not open logfile for write access."}));
  EXPECT_FALSE(server->Running());
  EXPECT_EQ(world.time.NowUs(), 0) << "nothing waited";
}

TEST_F(ServerStartTest, APortThatCannotBeOpenedClosesTheLogAgain) {
  const auto server = MakeServer(dir.path());
  EXPECT_FALSE(server->Start());
  EXPECT_EQ(ui.messages, (std::vector<std::string>{"Could not open port COM3"}));
  EXPECT_FALSE(server->LogOpen());
  EXPECT_EQ(ui.eventListText, "WICHTIGE EREIGNISSE:\r\n");
  EXPECT_FALSE(server->Running()) << "reported as not running, so the operator can start again";
  EXPECT_EQ(world.time.NowUs(), 0) << "nothing waited";
}

TEST_F(ServerStartTest, UptimeCountsOnlyWhileRunning) {
  const auto server = MakeServer(dir.path());
  server->TickSecond();
  EXPECT_EQ(server->RunSeconds(), 0);
  EXPECT_EQ(server->TotalUptime(), 0);
}

TEST(UptimeTest, MinutesAndSecondsWithAtLeastTwoDigits) {
  EXPECT_EQ(FormatUptime(59), "00:59");
  EXPECT_EQ(FormatUptime(60), "01:00");
  EXPECT_EQ(FormatUptime(6000), "100:00");
}

}  // namespace
}  // namespace velora
