// A station that has not logged in, sending random frames of every kind: nothing but the login
// page's actions may run, no account may change, whatever state "login.txt" is in.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "session/process.h"
#include "store/feedback_format.h"
#include "store/users_format.h"
#include "support/session_harness.h"

#ifndef VELORA_PRELOGIN_FRAMES
#define VELORA_PRELOGIN_FRAMES 1000000
#endif

namespace velora {
namespace {

using testing::Harness;

std::string RandomText(std::mt19937& rng, std::size_t maxLength) {
  std::string text(rng() % (maxLength + 1), '\0');
  for (char& c : text)
    c = static_cast<char>(rng() % 2 == 0 ? 'a' + rng() % 26 : rng());
  return text;
}

// Mostly the kinds a session acts on, with and without the continuation bit; any byte now and
// then.
std::uint8_t RandomKind(std::mt19937& rng) {
  static constexpr std::uint8_t kinds[] = {KindRegisterRequest, KindAck,        KindRestart,
                                           KindLogout,          KindNoAck,      KindNothing,
                                           KindNothing,         KindMenuReply,  KindTextReply,
                                           KindInputReply,      KindInputReply, KindReply34};
  const std::uint8_t kind =
      rng() % 6 == 0 ? static_cast<std::uint8_t>(rng()) : kinds[rng() % std::size(kinds)];
  return rng() % 16 == 0 ? kind | ContinuationBit : kind;
}

std::string RandomData(std::mt19937& rng, std::uint8_t kind) {
  if ((kind & ~ContinuationBit) == KindInputReply && rng() % 4 != 0) {
    std::string text = RandomText(rng, 20);
    std::string data(1, static_cast<char>(rng() % 3 == 0 ? 1 : 0));
    data += static_cast<char>(rng() % 4 == 0 ? rng() : text.size());
    return data + text;
  }
  return RandomText(rng, 4);
}

TEST(PreLoginTest, RandomFramesRunNothingButTheLoginPagesActions) {
  Harness h;
  h.StandardPages();
  // Everything beyond the login is marked, so that reaching it shows.
  h.Page("menumain.txt", {"", "14", "", "0", "QQQ Haupt", "Hilfe", "hilfe", "Neu", "IDcreateuser",
                          "Liste", "IDlistusers", "Ende", "IDlogout"});
  h.Page("menumainadmin.txt", {"", "14", "", "0", "QQQ Admin", "Neu", "IDcreateuser"});
  h.Page("hilfe.txt", {"", "11", "IDmenumain", "QQQ Hilfe"});
  std::mt19937 rng(2026);
  h.AddUser("GAST", "gast-" + std::to_string(rng()));
  h.AddUser("CHEF", "chef-" + std::to_string(rng()), true);
  const std::string accountsBefore = FormatUsersFile(h.users, 0) + FormatFeedbackFile(h.feedback);

  const std::string login = h.settings.ContentDir + "login.txt";
  const std::vector<std::pair<std::string, std::vector<std::string>>> loginPages = {
      {"as shipped",
       {"", "15", "1", "3", "Passwort:", "", "16", "IDlogin", "IDlogout", "password", "12"}},
      {"missing", {}},
      {"unreadable", {}},
      {"a menu", {"", "14", "", "0", "Login", "Menue", "menumain", "Neu", "IDcreateuser"}},
      {"a text", {"", "11", "IDmenumain", "Willkommen"}},
      {"an unknown action",
       {"", "15", "1", "4", "Passwort:", "", "32", "IDanmelden", "IDlogout", "password", "16"}},
      {"actions that lead elsewhere",
       {"", "15", "1", "3", "Passwort:", "", "16", "menumain", "IDcreateuser", "password", "12"}},
      {"cut short", {"", "15", "1", "4", "Passwort:", "", "32", "IDlogin"}},
  };
  const int framesEach = VELORA_PRELOGIN_FRAMES / static_cast<int>(loginPages.size());
  const char* names[] = {"gast", "chef", "fremd"};
  for (const auto& [what, lines] : loginPages) {
    SCOPED_TRACE(what);
    std::filesystem::remove_all(login);
    if (what == "unreadable") std::filesystem::create_directory(login);
    if (!lines.empty()) h.Page("login.txt", lines);

    std::unique_ptr<TProcess> s;
    auto reRegister = [&] {
      if (s) s->ReleaseOnlineMark();
      s = h.Register(names[rng() % std::size(names)], rng() % 2 == 0 ? 0x82 : 0x86,
                     4 + static_cast<int>(rng() % 250));
    };
    reRegister();
    for (int frame = 0; frame < framesEach;) {
      const auto source = static_cast<std::uint8_t>(s->Address());
      const unsigned choice = rng() % 8;
      if (choice < 5) {
        const std::uint8_t kind = RandomKind(rng);
        const auto part = static_cast<std::uint8_t>(rng() % 8 == 0 ? rng() : 1 + rng() % 2);
        testing::Deliver(*s, BuildFrame(ServerAddress, kind, source, part, RandomData(rng, kind)));
        ++frame;
      } else if (choice < 7) {
        const TPacket p = s->NextPacket();
        ASSERT_NE(p.Kind & ~ContinuationBit, KindMenuScreen) << "a menu before login";
        if (p.Kind != KindAck && p.Kind != KindNothing) {
          testing::Deliver(*s, BuildFrame(ServerAddress, KindAck, source, 1, ""));
          ++frame;
        }
      } else {
        h.clock.tick += static_cast<std::uint32_t>(rng() % 4000);
      }
      ASSERT_FALSE(s->LoggedIn());
      ASSERT_TRUE(s->CurrentPageId().empty() || s->CurrentPageId() == "login.txt")
          << s->CurrentPageId();
      if (s->LoggedOut()) reRegister();
    }
    s->ReleaseOnlineMark();
  }
  EXPECT_EQ(FormatUsersFile(h.users, 0) + FormatFeedbackFile(h.feedback), accountsBefore);
  const std::string log = h.LogContents();
  EXPECT_EQ(log.find("SERVER-ERR:Diese Aktion"), std::string::npos) << "a service ran";
  EXPECT_EQ(log.find("SERVER-ERR:Unbekannte Aktion"), std::string::npos);
  EXPECT_NE(log.find("wrong passwords in a row"), std::string::npos) << "the login was tried";
}

}  // namespace
}  // namespace velora
