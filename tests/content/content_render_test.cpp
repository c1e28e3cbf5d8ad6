// Every page of the default installation, shown by a session and read by a calculator of either
// model: no server error, no unknown action, and nothing the calculator cannot lay out.
#include <gtest/gtest.h>

#include <filesystem>

#include "link/frame.h"
#include "session/action.h"
#include "session/content.h"
#include "session/screen.h"
#include "sim/calculator_engine.h"
#include "support/session_harness.h"

namespace velora {
namespace {

std::vector<std::string> ContentPages() {
  std::vector<std::string> pages;
  for (const auto& entry : std::filesystem::directory_iterator(VELORA_CONTENT_DIR)) {
    const std::string name = entry.path().filename().string();
    if (name.size() > 4 && name.ends_with(".txt") && !name.starts_with("res"))
      pages.push_back(name);
  }
  std::sort(pages.begin(), pages.end());
  return pages;
}

TEST(ContentRenderTest, EveryPageShowsOnBothModels) {
  const std::vector<std::string> pages = ContentPages();
  ASSERT_GE(pages.size(), 16u);
  for (std::uint8_t model : {std::uint8_t{0x82}, std::uint8_t{0x86}}) {
    for (const std::string& page : pages) {
      SCOPED_TRACE(page + (model == 0x82 ? " on a TI 82" : " on a TI 86"));
      testing::Harness h;
      h.settings.ContentDir = std::string(VELORA_CONTENT_DIR) + "/";
      h.AddUser("GAST", "geheim", true);
      auto session = h.Register("gast", model);
      testing::Calculator calc(*session);
      calc.Expect();  // the login page
      session->LoadContentFile(page);
      const testing::Screen screen = calc.Expect();
      EXPECT_FALSE(h.Logged("SERVER-ERR")) << h.LogContents();
      EXPECT_FALSE(h.Logged("Unbekannte ID")) << h.LogContents();
      EXPECT_TRUE(screen.kind == KindTextScreen || screen.kind == KindMenuScreen ||
                  screen.kind == KindInputScreen);
      ASSERT_LE(screen.data.size(), MaxFrameData) << "fits one packet at the default length";

      ServerSettings settings;
      CalculatorEngine engine(settings);
      std::vector<std::string> complaints;
      engine.onLog = [&](const std::string& line) {
        if (line.find("Ung") != std::string::npos || line.find("Unbekannte") != std::string::npos) {
          complaints.push_back(line);
        }
      };
      engine.SetModel(model == 0x86 ? 1 : 0);
      engine.SetUserName("gast");
      engine.ProcessReceived(
          "U" + BuildFrame(255, KindRegistered, 1, 1, std::string("gast\0\0\0\0\4", 9)));
      engine.ProcessReceived("U" + BuildFrame(4, screen.kind, 1, 1, screen.data));
      EXPECT_TRUE(complaints.empty()) << complaints.front();
      EXPECT_EQ(engine.SimExpectedReply(), ReplyKindOf(screen.kind));
    }
  }
}

TEST(ContentRenderTest, EveryActionOfEveryPageIsKnown) {
  testing::Harness h;
  h.settings.ContentDir = std::string(VELORA_CONTENT_DIR) + "/";
  auto session = h.Register("x");
  for (const std::string& page : ContentPages()) {
    TAoS lines;
    ASSERT_TRUE(ReadContentLines(h.settings.ContentDir + page, lines));
    for (const std::string& line : lines) {
      if (line.size() < 2 || (line[0] != 'I' && line[0] != 'i') ||
          (line[1] != 'D' && line[1] != 'd'))
        continue;
      const TAction action = session->ParseAction(0, line);
      EXPECT_NE(action.Number, ActionUnknown) << page << ": " << line;
    }
  }
  EXPECT_FALSE(h.Logged("Unbekannte ID"));
}

}  // namespace
}  // namespace velora
