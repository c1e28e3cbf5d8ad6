// A content page of any bytes, loaded by a session and then used: keys, menu choices and input
// as the calculator sends them. Loading always ends in a screen (the page or the server error),
// and what the page does keeps the session's packets and pages within their limits. The content
// check judges the same bytes and names no line beyond the page.
#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "fuzz_input.h"
#include "link/frame.h"
#include "session/content_check.h"
#include "session/process.h"
#include "support/session_harness.h"

namespace velora {
namespace {

using fuzz::FuzzInput;

constexpr std::string_view kPage = "fuzz.txt";

// The fuzzed page alone, for the content check.
std::string CheckFolder(const testing::Harness& h) {
  return h.dir.path() + "/check/";
}

testing::Harness& World() {
  struct Pages : testing::Harness {
    Pages() {
      StandardPages();
      settings.LoginRequired = false;
      log.Close();
      std::filesystem::create_directory(CheckFolder(*this));
    }
  };
  static Pages h;
  return h;
}

class Calculator {
 public:
  Calculator(TProcess& s, const ServerSettings& settings) : s_(s), settings_(settings) {}

  void Settle() {
    for (int i = 0; i < 2000 && (!s_.Link().OutQueue().empty() || !s_.Link().TIReady()); ++i) {
      const TPacket p = s_.NextPacket();
      const std::size_t limit =
          (p.Kind & 0x7F) < KindTextScreen
              ? 9
              : static_cast<std::size_t>(std::clamp(settings_.MaxSinglePacketLen, 1, 249));
      FUZZ_CHECK(p.Data.size() <= limit, "a packet of " + std::to_string(p.Data.size()));
      if (p.Kind == KindAck || p.Kind == KindLogoutAck) continue;
      Send(p.Kind == KindNothing || p.Kind == KindRegistered ? KindNothing : KindAck, {});
    }
  }

  void Send(std::uint8_t kind, std::string_view data) {
    testing::Deliver(s_, BuildFrame(ServerAddress, kind, static_cast<std::uint8_t>(s_.Address()), 1,
                                    data.substr(0, MaxFrameData)));
  }

  // What the calculator sends for the screen on display.
  void Answer(FuzzInput& in) {
    const std::uint8_t expected = s_.Link().ExpectedReply();
    const std::uint8_t choice = in.Byte();
    if (expected == KindInputReply) {
      const std::string text = in.Text(20);
      std::string data(1, static_cast<char>(choice % 3));
      data += static_cast<char>(text.size());
      Send(KindInputReply, data + text);
    } else {
      Send(expected == 0 ? std::uint8_t{KindTextReply} : expected,
           std::string(1, static_cast<char>(choice % 16)));
    }
  }

 private:
  TProcess& s_;
  const ServerSettings& settings_;
};

void CheckTheCheck(const std::string& folder, std::string_view page) {
  velora::testing::WriteFileBytes(folder + std::string(kPage), page);
  const std::size_t lines = static_cast<std::size_t>(std::count(page.begin(), page.end(), '\n'));
  for (const ContentProblem& problem : CheckContent(folder).problems) {
    FUZZ_CHECK(problem.file != kPage || problem.line <= lines + 2,
               "a problem beyond the page: " + Describe(problem));
  }
}

void CheckPages(const TProcess& s) {
  const Screens& screen = s.Screen();
  FUZZ_CHECK(screen.TextPage() >= 0 && screen.TextPage() <= screen.LastPage(), "text page");
  FUZZ_CHECK(screen.LongMenu().Page >= 0 && screen.LongMenu().Page <= screen.LongMenu().MaxPage,
             "menu page");
  FUZZ_CHECK(screen.PageActions().size() <= 7, "more actions than a page shows");
}

}  // namespace
}  // namespace velora

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace velora;
  velora::testing::Harness& h = World();
  FuzzInput in(data, size);
  const std::uint8_t config = in.Byte();
  h.settings.NoWrap = (config & 1) != 0;
  h.settings.MaxSinglePacketLen = (config & 2) != 0 ? 249 : 20;
  const std::string answers = in.Bytes(in.Byte() % 8 * 2);
  const std::string page = in.Rest();
  velora::testing::WriteFileBytes(h.settings.ContentDir + std::string(kPage), page);

  h.users.clear();
  h.AddUser("GAST", "gast");
  std::unique_ptr<TProcess> s = h.Register("gast", (config & 4) != 0 ? 0x86 : 0x82);
  Calculator calc(*s, h.settings);
  calc.Settle();
  s->LoadContentFile(kPage);
  FUZZ_CHECK(!s->Link().OutQueue().empty(), "loading a page showed nothing");
  calc.Settle();
  CheckPages(*s);
  FuzzInput keys(reinterpret_cast<const std::uint8_t*>(answers.data()), answers.size());
  while (!keys.Empty() && !s->LoggedOut()) {
    calc.Answer(keys);
    calc.Settle();
    CheckPages(*s);
  }
  CheckTheCheck(CheckFolder(h), page);
  return 0;
}
