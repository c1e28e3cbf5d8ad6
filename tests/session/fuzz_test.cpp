// Random and truncated frames against a session: nothing may break, whatever arrives.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "session/process.h"
#include "support/session_harness.h"

namespace velora {
namespace {

using testing::Harness;

struct Config {
  std::uint8_t model;
  int maxPacket;
  bool noWrap;
  bool loginRequired;
  unsigned seed;
};

class SessionFuzz : public ::testing::TestWithParam<Config> {};

std::uint8_t InterestingKind(std::mt19937& rng) {
  static constexpr std::uint8_t kinds[] = {0, 1, 2, 3, 5, 10, 32, 33, 36, 0xA0, 0xA1, 0xA4, 0x81};
  if (rng() % 8 == 0) return static_cast<std::uint8_t>(rng());
  return kinds[rng() % std::size(kinds)];
}

std::string InterestingData(std::mt19937& rng) {
  static constexpr std::uint8_t bytes[] = {0, 1, 2, 3, 4, 7, 9, 252, 253, 255, '1', '3', 'x'};
  std::string data(rng() % 24, '\0');
  for (char& c : data)
    c = static_cast<char>(rng() % 3 == 0 ? rng() : bytes[rng() % std::size(bytes)]);
  return data;
}

TEST_P(SessionFuzz, AnyFramesLeaveTheSessionSound) {
  const Config cfg = GetParam();
  Harness h;
  h.settings.MaxSinglePacketLen = cfg.maxPacket;
  h.settings.NoWrap = cfg.noWrap;
  h.settings.LoginRequired = cfg.loginRequired;
  h.StandardPages();
  h.Page("menumain.txt",
         {"",      "14",   "",           "0",     "Haupt",    "Hilfe",  "hilfe",       "Lang",
          "lang",  "Feld", "feld",       "Viele", "viele",    "Kaputt", "IDkaputt",    "Fehlt",
          "fehlt", "Mail", "IDsendmail", "Ende",  "IDlogout", "Sprung", "IDjumpToPage"});
  std::vector<std::string> lang{"", "11", "IDmenumain"};
  for (int i = 0; i < 60; ++i)
    lang.push_back("Zeile " + std::to_string(i) + " mit etwas mehr Text darin");
  h.Page("lang.txt", lang);
  h.Page("feld.txt", {"", "15", "9", "300", std::string(400, 'p'), "", "999", "lang", "IDmenumain",
                      "temp", "1"});
  std::vector<std::string> viele{"", "14", "", "0", "Viele"};
  for (int i = 0; i < 40; ++i) {
    viele.push_back("Eintrag " + std::to_string(i));
    viele.push_back(i % 3 == 0 ? "IDmenumain" : (i % 3 == 1 ? "lang" : "IDjumptopage"));
  }
  h.Page("viele.txt", viele);
  h.Page("typ.txt", {"", "99"});
  const int gast = h.AddUser("GAST", "");
  h.AddUser("CHEF", "", true);
  h.Page("menumainadmin.txt", {"", "14", "", "0", "Admin", "Typ", "typ", "Feld", "feld"});

  std::mt19937 rng(cfg.seed);
  const char* names[] = {"gast", "chef", "fremd", ""};
  std::unique_ptr<TProcess> s;
  auto reRegister = [&] {
    for (Tuserdata& u : h.users)
      u.Online = false;
    s = h.Register(names[rng() % std::size(names)], cfg.model, 4 + static_cast<int>(rng() % 250));
  };
  reRegister();
  // Screens are cut to the configured length; control packets (at most the 9 bytes of the
  // registration confirmation) always travel whole.
  const auto LimitOf = [&](const TPacket& p) -> std::size_t {
    if ((p.Kind & 0x7F) < KindTextScreen) return 9;
    return static_cast<std::size_t>(std::clamp(cfg.maxPacket, 1, 249));
  };

  for (int step = 0; step < 6000; ++step) {
    const unsigned choice = rng() % 10;
    const auto source = static_cast<std::uint8_t>(s->Address());
    if (choice < 4) {
      testing::Deliver(*s, BuildFrame(1, InterestingKind(rng), source,
                                      static_cast<std::uint8_t>(rng() % 5 == 0 ? rng() : rng() % 4),
                                      InterestingData(rng)));
    } else if (choice < 5) {
      std::string junk(rng() % 300, '\0');
      for (char& c : junk)
        c = static_cast<char>(rng());
      testing::Deliver(*s, junk);
    } else if (choice < 6) {
      const std::string frame =
          BuildFrame(1, InterestingKind(rng), source, 1, InterestingData(rng));
      testing::Deliver(*s, std::string_view(frame).substr(0, rng() % (frame.size() + 1)));
    } else {
      const TPacket p = s->NextPacket();
      ASSERT_LE(p.Data.size(), LimitOf(p));
      if (p.Kind != KindNothing && p.Kind != KindAck && rng() % 2 == 0) {
        testing::Deliver(*s, BuildFrame(1, KindAck, source, 1, {}));
      } else if (rng() % 2 == 0) {
        testing::Deliver(*s, BuildFrame(1, KindNothing, source, 1, {}));
      }
    }

    for (const TPacket& p : s->Link().OutQueue())
      ASSERT_LE(p.Data.size(), LimitOf(p));
    const std::uint8_t expected = s->Link().ExpectedReply();
    ASSERT_TRUE(expected == 0 || expected == KindMenuReply || expected == KindTextReply ||
                expected == KindInputReply)
        << int(expected);
    ASSERT_GE(s->Link().SendCountMax(), s->Link().SendCount());
    ASSERT_GE(s->Screen().TextPage(), 0);
    ASSERT_LE(s->Screen().TextPage(), s->Screen().LastPage());
    ASSERT_GE(s->Screen().LongMenu().Page, 0);
    ASSERT_LE(s->Screen().LongMenu().Page, s->Screen().LongMenu().MaxPage);
    ASSERT_LE(s->Screen().PageActions().size(), 7u);
    if (s->HoldsOnlineMark()) {
      ASSERT_TRUE(h.users[s->UserIndex()].Online);
    }
    if (s->LoggedOut()) {
      s->ReleaseOnlineMark();
      reRegister();
    }
  }
  (void)gast;
}

INSTANTIATE_TEST_SUITE_P(
    Configurations, SessionFuzz,
    ::testing::Values(Config{0x82, 249, false, true, 1}, Config{0x86, 249, false, false, 2},
                      Config{0x82, 1, false, false, 3}, Config{0x86, 7, true, true, 4},
                      Config{0x82, 30, true, false, 5}, Config{0x86, 0, false, true, 6}),
    // Named by seed: the default name dumps the struct's padding, which changes from run to run.
    [](const auto& info) { return "Seed" + std::to_string(info.param.seed); });

}  // namespace
}  // namespace velora
