// Two calculators on the radio, a TI 82 and a TI 86: one sends the other a message, which is
// told at once, reads it and answers; both messages outlive a server that never had its regular
// end.
#include <gtest/gtest.h>

#include <tuple>

#include "bus/lifecycle.h"
#include "common/cp1252.h"
#include "link/frame.h"
#include "network_harness.h"
#include "support/memory_settings_backend.h"

namespace velora {
namespace {

using testing::Network;
using testing::User;

class MessageNetworkTest : public ::testing::Test {
 protected:
  MessageNetworkTest()
      : life(std::make_unique<Lifecycle>(*net.server, net.ui, backend, nullptr, net.dir.path())) {
    EXPECT_TRUE(life->Load(1));
    net.Configure([](ServerSettings& s) { s.ContentDir = std::string(VELORA_CONTENT_DIR) + "/"; });
    net.AddUser("anna", "pa");
    net.AddUser("bert", "pb");
  }
  const std::vector<Tmessage>& MessagesOf(std::size_t account) {
    return net.server->Users()[account].Messages;
  }

  Network net;
  MemorySettingsBackend backend;
  std::unique_ptr<Lifecycle> life;
};

TEST_F(MessageNetworkTest, AMessageIsNoticedAtOnceReadAndAnswered) {
  User anna{net.AddCalculator("anna", 0).engine()};
  User bert{net.AddCalculator("bert", 1).engine()};
  const auto menu = [](User& u) { return u.Fresh(KindMenuReply); };
  const auto input = [](User& u) { return u.Fresh(KindInputReply); };
  const std::size_t done = net.Run(
      {{"start", [] { return true; }, [&] { anna.e.Connect(); }},
       {"anna registered", [&] { return anna.e.Registered(); }, [&] { bert.e.Connect(); }},
       {"anna login", [&] { return input(anna); }, [&] { anna.e.SubmitInput(false, "pa"); }},
       {"bert login", [&] { return input(bert); }, [&] { bert.e.SubmitInput(false, "pb"); }},
       {"anna greeting", [&] { return anna.Fresh(KindTextReply); }, [&] { anna.Continue(); }},
       {"bert greeting", [&] { return bert.Fresh(KindTextReply); }, [&] { bert.Continue(); }},
       {"anna main menu", [&] { return menu(anna); }, [&] { anna.Choose("Nachrichten"); }},
       {"bert main menu", [&] { return menu(bert); }},
       {"anna message menu", [&] { return menu(anna); }, [&] { anna.Choose("Schreiben"); }},
       {"anna recipient", [&] { return input(anna); }, [&] { anna.e.SubmitInput(false, "bert"); }},
       {"anna text", [&] { return input(anna); }, [&] { anna.e.SubmitInput(false, "Hallo Bert"); }},
       {"bert told", [&] { return bert.FreshText("Du hast Post."); }, [&] { bert.Continue(); }},
       {"anna confirmation", [&] { return anna.FreshText("an BERT versendet."); },
        [&] { anna.Continue(); }},
       {"bert back on the main menu", [&] { return menu(bert); },
        [&] { bert.Choose("Nachrichten"); }},
       {"bert message menu", [&] { return menu(bert); }, [&] { bert.Choose("Lesen"); }},
       {"bert list", [&] { return menu(bert); }, [&] { bert.Choose("Hallo Bert"); }},
       {"bert reads", [&] { return bert.FreshText("von anna"); }, [&] { bert.Continue(); }},
       {"bert after reading", [&] { return menu(bert); }, [&] { bert.Choose("Antworten"); }},
       {"bert answers", [&] { return input(bert); },
        [&] { bert.e.SubmitInput(false, "Hallo Anna"); }},
       {"anna on the message menu", [&] { return menu(anna); }},
       {"anna told", [&] { return anna.FreshText("Du hast Post."); }},
       {"bert confirmation", [&] { return bert.FreshText("an ANNA versendet."); }},
       {"saved while running",
        [&] {
          const std::string users = testing::ReadFileBytes(net.dir.File("users.txt"));
          return users.find("Hallo Anna") != std::string::npos;
        }}},
      120'000);
  ASSERT_EQ(done, 23u) << net.stuck;

  // As if the process were killed now: no end save. A new server finds both messages.
  life.reset();
  Network after;
  Lifecycle again(*after.server, after.ui, backend, nullptr, net.dir.path());
  ASSERT_TRUE(again.Load(1));
  ASSERT_EQ(after.server->Users().size(), 2u);
  EXPECT_EQ(after.server->Users()[1].Messages.size(), 1u);
  EXPECT_EQ(after.server->Users()[0].Messages.size(), 1u);

  EXPECT_NE(bert.seen.back().find("Die Nachricht wird an ANNA versendet."), std::string::npos);
  const std::vector<Tuserdata>& users = net.server->Users();
  ASSERT_EQ(users[1].Messages.size(), 1u);
  EXPECT_EQ(users[1].Messages[0].Sender, "anna");
  EXPECT_EQ(users[1].Messages[0].Text, "Hallo Bert");
  EXPECT_TRUE(users[1].Messages[0].Read);
  ASSERT_EQ(users[0].Messages.size(), 1u);
  EXPECT_EQ(users[0].Messages[0].Sender, "bert");
  EXPECT_EQ(users[0].Messages[0].Text, "Hallo Anna");
  EXPECT_FALSE(users[0].Messages[0].Read);

  // The notice goes out in the cycle after the one that carried the message, or in that cycle.
  const auto sentAt = [&](int source, std::string_view text) {
    for (const auto& h : net.FramesOf(KindInputReply, ServerAddress)) {
      if (FrameByte(h.frame, FrameSource) == source &&
          FramePayload(h.frame).find(text) != std::string::npos) {
        return h.atUs;
      }
    }
    ADD_FAILURE() << "no input reply " << text;
    return std::int64_t{0};
  };
  const auto toldAt = [&](int destination, std::int64_t after) {
    for (const auto& h : net.FramesOf(KindTextScreen, destination)) {
      if (h.atUs > after && FramePayload(h.frame).find("Du hast Post.") != std::string::npos) {
        return h.atUs;
      }
    }
    ADD_FAILURE() << "no notice to " << destination;
    return std::int64_t{0};
  };
  const auto invitationsBetween = [&](std::int64_t from, std::int64_t to) {
    int n = 0;
    for (const auto& h : net.FramesOf(KindInvite))
      n += h.atUs > from && h.atUs < to;
    return n;
  };
  const int annaAddress = anna.e.SimAddress();
  const int bertAddress = bert.e.SimAddress();
  const std::int64_t sent = sentAt(annaAddress, "Hallo Bert");
  EXPECT_LE(invitationsBetween(sent, toldAt(bertAddress, sent)), 1);
  const std::int64_t answered = sentAt(bertAddress, "Hallo Anna");
  EXPECT_LE(invitationsBetween(answered, toldAt(annaAddress, answered)), 1);
}

// Bert (the lower address, so his turn comes first) and anna send each other their texts in the
// same sweep: the notice bert's message puts on anna must not cost her the text she sent.
TEST_F(MessageNetworkTest, TextsCrossingANoticeInOneSweepAreBothStoredAndBothUsersTold) {
  User bert{net.AddCalculator("bert", 1).engine()};
  User anna{net.AddCalculator("anna", 0).engine()};
  const auto menu = [](User& u) { return u.Fresh(KindMenuReply); };
  const auto input = [](User& u) { return u.Fresh(KindInputReply); };
  std::vector<Network::Step> steps = {
      {"start", [] { return true; }, [&] { bert.e.Connect(); }},
      {"bert registered", [&] { return bert.e.Registered(); }, [&] { anna.e.Connect(); }}};
  for (auto [user, password, to] : {std::tuple{&bert, "pb", "anna"}, {&anna, "pa", "bert"}}) {
    User& u = *user;
    steps.push_back(
        {"login", [&] { return input(u); }, [&u, password] { u.e.SubmitInput(false, password); }});
    steps.push_back({"greeting", [&] { return u.Fresh(KindTextReply); }, [&] { u.Continue(); }});
    steps.push_back({"main menu", [&] { return menu(u); }, [&] { u.Choose("Nachrichten"); }});
    steps.push_back({"message menu", [&] { return menu(u); }, [&] { u.Choose("Schreiben"); }});
    steps.push_back(
        {"recipient", [&] { return input(u); }, [&u, to] { u.e.SubmitInput(false, to); }});
    steps.push_back({"text field", [&] { return input(u); }});
  }
  // Both on their text fields now: both texts go out at their turns in the next sweep.
  steps.back().then = [&] {
    bert.e.SubmitInput(false, "Von Bert");
    anna.e.SubmitInput(false, "Von Anna");
  };
  // Each user reads the confirmation, then sees the notice.
  const auto told = [](User& u) {
    if (u.FreshText("versendet.")) u.Continue();
    return !u.seen.empty() && u.seen.back().find("Du hast Post.") != std::string::npos;
  };
  steps.push_back({"both told", [&] { return told(bert) + told(anna) == 2; }});
  ASSERT_EQ(net.Run(steps, 120'000), steps.size()) << net.stuck;

  ASSERT_EQ(MessagesOf(0).size(), 1u);
  EXPECT_EQ(MessagesOf(0)[0].Text, "Von Bert");
  ASSERT_EQ(MessagesOf(1).size(), 1u);
  EXPECT_EQ(MessagesOf(1)[0].Text, "Von Anna");
  for (User* u : {&bert, &anna})
    EXPECT_NE(u->seen.at(u->seen.size() - 2).find("versendet."), std::string::npos);
  // The texts really crossed: both input replies in one sweep, with no invitation between them.
  const auto replies = net.FramesOf(KindInputReply, ServerAddress);
  ASSERT_GE(replies.size(), 2u);
  const auto& last = replies.back();
  const auto& before = replies[replies.size() - 2];
  EXPECT_NE(FramePayload(last.frame).find("Von Anna"), std::string::npos);
  EXPECT_NE(FramePayload(before.frame).find("Von Bert"), std::string::npos);
  for (const auto& h : net.FramesOf(KindInvite))
    EXPECT_FALSE(h.atUs > before.atUs && h.atUs < last.atUs);
}

}  // namespace
}  // namespace velora
