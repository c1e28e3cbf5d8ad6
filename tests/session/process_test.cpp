// The session object: registration, acceptance and readiness, acknowledgements, multi-part
// transfers in both directions, logout and restart.
#include "session/process.h"

#include <gtest/gtest.h>

#include "common/cp1252.h"
#include "session/screen.h"
#include "support/session_harness.h"

namespace velora {
namespace {

using testing::Calculator;
using testing::Flat;
using testing::Harness;
using testing::Screen;

class SessionTest : public ::testing::Test {
 protected:
  SessionTest() {
    h.StandardPages();
    gast = h.AddUser("GAST", "geheim");
  }

  // A session logged in and showing its main menu.
  std::unique_ptr<TProcess> LoggedIn(std::string_view name = "gast") {
    auto s = h.Register(name);
    Calculator calc(*s);
    EXPECT_EQ(calc.Expect().kind, KindInputScreen);
    EXPECT_EQ(calc.Enter("geheim").kind, KindTextScreen);
    EXPECT_EQ(calc.Key(9).kind, KindMenuScreen);
    return s;
  }

  Harness h;
  int gast = 0;
};

TEST_F(SessionTest, RegistrationConfirmationCarriesPaddedNameAndAddress) {
  auto s = h.Register("gast", 0x82, 9);
  ASSERT_FALSE(s->Link().OutQueue().empty());
  EXPECT_EQ(s->Link().OutQueue().front().Kind, KindRegistered);
  EXPECT_EQ(s->Link().OutQueue().front().Data, std::string("gast\0\0\0\0\x09", 9));

  h.AddUser("ABCDEFGH");
  auto full = h.Register("abcdefgh", 0x86, 5);
  EXPECT_EQ(full->Link().OutQueue().front().Data, "abcdefgh\x05") << "no padding for 8 characters";
  EXPECT_EQ(full->UserName(), "abcdefgh");

  // The name is the field up to its first NUL byte; the rest of the field is ignored.
  TProcess odd(h.Context(), 6, 0x82, std::string("ab\0cdefg", 8));
  EXPECT_EQ(odd.UserName(), "ab");
  EXPECT_EQ(odd.Link().OutQueue().front().Data, std::string("ab\0\0\0\0\0\0\x06", 9));
}

TEST_F(SessionTest, ControlPacketsAreNeverCutIntoParts) {
  h.settings.MaxSinglePacketLen = 1;
  auto s = h.Register("gast", 0x82, 7);
  ASSERT_FALSE(s->Link().OutQueue().empty());
  EXPECT_EQ(s->Link().OutQueue().front().Kind, KindRegistered);
  EXPECT_EQ(s->Link().OutQueue().front().Part, 1);
  EXPECT_EQ(s->Link().OutQueue().front().Data, std::string("gast\0\0\0\0\x07", 9));
  Calculator calc(*s);
  calc.Send(KindNothing);
  EXPECT_EQ(s->Link().OutQueue().front().Kind, KindInputScreen) << "the confirmation is gone whole";
  EXPECT_EQ(calc.Expect().AsInput().prompt, "Passwort:");
}

TEST_F(SessionTest, ModelByteSelectsTheCalculatorType) {
  EXPECT_EQ(h.Register("a", 0x82)->CalcType(), 0);
  EXPECT_EQ(h.Register("b", 0x86)->CalcType(), 1);
  EXPECT_EQ(h.Register("c", 0x99)->CalcType(), 0) << "an unknown model is a TI 82";
  EXPECT_EQ(h.Register("d", 0x00)->CalcType(), 0);
}

TEST_F(SessionTest, KnownAccountStartsOnTheLoginPageAndTakesTheOnlineMark) {
  auto s = h.Register("gast");
  EXPECT_EQ(s->UserName(), "gast") << "the name keeps the case it was sent in";
  EXPECT_EQ(s->UserIndex(), gast);
  EXPECT_TRUE(h.users[gast].Online);
  EXPECT_TRUE(s->HoldsOnlineMark());
  EXPECT_FALSE(s->LoggedIn());
  Calculator calc(*s);
  const Screen login = calc.Expect();
  ASSERT_EQ(login.kind, KindInputScreen);
  EXPECT_EQ(login.AsInput().prompt, "Passwort:");
  EXPECT_EQ(s->Link().ExpectedReply(), KindInputReply);

  s->ReleaseOnlineMark();
  EXPECT_FALSE(h.users[gast].Online);
  EXPECT_FALSE(s->HoldsOnlineMark());
}

TEST_F(SessionTest, WithoutLoginTheSessionStartsAtTheMainMenu) {
  h.settings.LoginRequired = false;
  auto s = h.Register("gast");
  Calculator calc(*s);
  const Screen menu = calc.Expect();
  ASSERT_EQ(menu.kind, KindMenuScreen);
  EXPECT_EQ(menu.TitleLine(16), "Hauptmenue      ");
  EXPECT_FALSE(s->LoggedIn());
}

TEST_F(SessionTest, UnknownNameIsToldAndLoggedOut) {
  auto s = h.Register("fremd");
  EXPECT_FALSE(s->HoldsOnlineMark());
  EXPECT_TRUE(s->Refused());
  EXPECT_FALSE(h.users[gast].Online);
  Calculator calc(*s);
  const Screen screen = calc.Expect();
  EXPECT_EQ(Flat(screen.Text()), "Dein Nutzername existiert nicht.");
  EXPECT_EQ(calc.Key(0).kind, KindLogoutAck);
  EXPECT_TRUE(s->LoggedOut());
}

TEST_F(SessionTest, AccountAlreadyOnlineIsRefusedWithoutTakingTheMark) {
  auto first = h.Register("gast");
  auto second = h.Register("GAST", 0x82, 5);
  EXPECT_EQ(second->UserIndex(), gast);
  EXPECT_FALSE(second->HoldsOnlineMark());
  EXPECT_TRUE(first->HoldsOnlineMark());
  Calculator calc(*second);
  EXPECT_EQ(Flat(calc.Expect().Text()), "GAST ist bereits online.");
  // The paging keys show the page again, any other key logs out.
  EXPECT_EQ(Flat(calc.Key(1).Text()), "GAST ist bereits online.");
  EXPECT_EQ(Flat(calc.Key(4).Text()), "GAST ist bereits online.");
  EXPECT_EQ(calc.Key(7).kind, KindLogoutAck);
  second->ReleaseOnlineMark();
  EXPECT_TRUE(h.users[gast].Online) << "the refused session never held the mark";
}

TEST_F(SessionTest, RefusedSessionCannotReachTheLoginPage) {
  h.users[gast].Password = "";
  auto s = h.Register("nobody");
  Calculator calc(*s);
  calc.Expect();
  calc.Send(KindRestart);
  const Screen again = calc.Expect();
  EXPECT_EQ(Flat(again.Text()), "Dein Nutzername existiert nicht.")
      << "a restart must not offer the login of account 0";
  EXPECT_FALSE(s->LoggedIn());
}

TEST_F(SessionTest, ConfirmationIsRepeatedUntilTheCalculatorAnswers) {
  auto s = h.Register("gast");
  for (int i = 1; i <= 3; ++i) {
    const TPacket p = s->NextPacket();
    EXPECT_EQ(p.Kind, KindRegistered);
    EXPECT_EQ(s->Link().SendCount(), i);
    EXPECT_EQ(s->Link().Repeated(), i > 1);
  }
  EXPECT_EQ(s->Link().SendCountMax(), 3);
  Calculator calc(*s);
  calc.Send(KindNothing);
  EXPECT_TRUE(s->Link().TIReady());
  const TPacket screen = s->NextPacket();
  EXPECT_EQ(screen.Kind, KindInputScreen) << "the confirmation is gone after KindNothing";
  EXPECT_EQ(s->Link().SendCount(), 1) << "the screen's own count";
  EXPECT_FALSE(s->Link().Repeated());

  auto other = h.Register("x", 0x82, 5);
  Calculator(*other).Send(KindAck);
  EXPECT_EQ(other->NextPacket().Kind, KindNothing) << "KindAck removes the confirmation too";
}

TEST_F(SessionTest, ScreensWaitUntilTheCalculatorIsIdle) {
  auto s = LoggedIn();
  Calculator calc(*s);
  calc.Send(KindMenuReply, "\x01");  // Hilfe: a text page
  EXPECT_FALSE(s->Link().TIReady());
  EXPECT_EQ(s->NextPacket().Kind, KindAck) << "the reply is acknowledged first";
  EXPECT_EQ(s->NextPacket().Kind, KindNothing) << "the screen waits for the calculator";
  EXPECT_EQ(s->NextPacket().Kind, KindNothing);
  EXPECT_EQ(s->Link().SendCount(), 0);
  calc.Send(KindNothing);
  EXPECT_EQ(s->NextPacket().Kind, KindTextScreen);
  EXPECT_FALSE(s->Link().Repeated());
  EXPECT_EQ(s->NextPacket().Kind, KindTextScreen) << "repeated until acknowledged";
  EXPECT_TRUE(s->Link().Repeated());
  EXPECT_EQ(s->Link().SendCount(), 2);
  calc.Send(KindAck);
  EXPECT_EQ(s->Link().SendCount(), 0);
  EXPECT_EQ(s->NextPacket().Kind, KindNothing);
  EXPECT_FALSE(s->Link().Repeated());
  EXPECT_EQ(s->Link().SendCountMax(), 2);
}

TEST_F(SessionTest, AckWithAnEmptyQueueOnlyClearsTheDebt) {
  auto s = LoggedIn();
  Calculator calc(*s);
  ASSERT_TRUE(s->Link().OutQueue().empty());
  const bool ready = s->Link().TIReady();
  calc.Send(KindAck);
  EXPECT_FALSE(s->Link().AckOwed());
  EXPECT_EQ(s->Link().TIReady(), ready);
  EXPECT_TRUE(s->Link().OutQueue().empty());
  EXPECT_EQ(s->NextPacket().Kind, KindNothing);
}

TEST_F(SessionTest, NoAckDropsTheOwedAcknowledgement) {
  auto s = LoggedIn();
  Calculator calc(*s);
  calc.Send(KindNoAck);
  EXPECT_FALSE(s->Link().AckOwed());
  EXPECT_EQ(s->NextPacket().Kind, KindNothing);
}

TEST_F(SessionTest, RepliesNotMatchingTheScreenAreAcknowledgedAndIgnored) {
  auto s = LoggedIn();
  Calculator calc(*s);
  ASSERT_EQ(s->Link().ExpectedReply(), KindMenuReply);
  calc.Send(KindTextReply, "\x01");
  EXPECT_TRUE(s->Link().AckOwed());
  EXPECT_TRUE(s->Link().TIReady()) << "an ignored reply does not use up the readiness";
  calc.Send(KindInputReply, std::string("\x00\x01x", 3));
  EXPECT_EQ(s->NextPacket().Kind, KindAck);
  EXPECT_FALSE(calc.Next(20)) << "no screen follows an ignored reply";
  EXPECT_EQ(calc.Choose(1).kind, KindTextScreen) << "the menu still works";
}

TEST_F(SessionTest, ReplyWhileNotReadyIsIgnored) {
  auto s = LoggedIn();
  Calculator calc(*s);
  calc.Send(KindMenuReply, "\x01");
  ASSERT_FALSE(s->Link().TIReady());
  const std::size_t queued = s->Link().OutQueue().size();
  calc.Send(KindTextReply, "\x05");  // the text page is not on display yet
  calc.Send(KindMenuReply, "\x02");  // nor is the menu any longer
  EXPECT_EQ(s->Link().OutQueue().size(), queued);
  EXPECT_FALSE(s->LoggedOut());
}

TEST_F(SessionTest, UnknownAcceptedKindIsLogged) {
  auto s = LoggedIn();
  Calculator calc(*s);
  calc.Send(KindRegisterRequest, "whatever");
  EXPECT_TRUE(h.Logged("unknown ID:0 for ti 4"));
  EXPECT_FALSE(s->Link().TIReady());
}

TEST_F(SessionTest, RestartReloadsTheFilePageOnceThenTheMainMenu) {
  auto s = LoggedIn();
  Calculator calc(*s);
  EXPECT_EQ(Flat(calc.Choose(1).Text()), "Hilfe zum Dienst");
  EXPECT_EQ(s->CurrentPageId(), "hilfe");
  calc.Send(KindRestart);
  EXPECT_EQ(Flat(calc.Expect().Text()), "Hilfe zum Dienst");
  EXPECT_EQ(s->CurrentPageId(), "");
  calc.Send(KindRestart);
  EXPECT_EQ(calc.Expect().kind, KindMenuScreen);
}

TEST_F(SessionTest, RestartEmptiesTheQueue) {
  auto s = LoggedIn();
  Calculator calc(*s);
  calc.Send(KindMenuReply, "\x01");
  ASSERT_FALSE(s->Link().OutQueue().empty());
  calc.Send(KindRestart);
  // Only the reloaded page is queued, not the page it replaces as well.
  ASSERT_EQ(s->Link().OutQueue().size(), 1u);
  EXPECT_TRUE(s->Link().AckOwed());
}

TEST_F(SessionTest, RestartBeforeLoginShowsTheLoginPage) {
  h.settings.LoginRequired = false;
  auto s = h.Register("gast");
  Calculator calc(*s);
  EXPECT_EQ(calc.Expect().kind, KindMenuScreen);
  calc.Send(KindRestart);
  EXPECT_EQ(calc.Expect().AsInput().prompt, "Passwort:");
}

TEST_F(SessionTest, LogoutFromTheCalculator) {
  auto s = LoggedIn();
  Calculator calc(*s);
  calc.Send(KindMenuReply, "\x01");  // a screen is queued
  calc.Send(KindLogout);
  EXPECT_TRUE(s->LoggedOut());
  EXPECT_FALSE(s->Link().AckOwed());
  const TPacket p = s->NextPacket();
  EXPECT_EQ(p.Kind, KindLogoutAck) << "the confirmation goes out at the next poll";
  EXPECT_TRUE(p.Data.empty());
  EXPECT_EQ(s->Link().ExpectedReply(), 0);
}

TEST_F(SessionTest, AnEmptyReplyIsAcknowledgedButNotRead) {
  auto s = LoggedIn();
  // A bare header and CRC is the smallest frame; an empty menu reply is ignored, not read.
  Calculator(*s).Send(KindMenuReply);
  EXPECT_TRUE(s->Link().AckOwed());
  EXPECT_TRUE(h.Logged("short reply ignored: kind 32 for ti 4"));
}

class MultiPartTest : public SessionTest {
 protected:
  // An input reply of `text`, cut into parts of `size` data bytes as a calculator would send it.
  static std::vector<std::pair<std::uint8_t, std::pair<std::uint8_t, std::string>>> Parts(
      std::string_view text, std::size_t size) {
    std::string data;
    data += '\0';
    data += static_cast<char>(text.size());
    data += text;
    std::vector<std::pair<std::uint8_t, std::pair<std::uint8_t, std::string>>> parts;
    const std::size_t count = (data.size() + size - 1) / size;
    for (std::size_t c = 0; c < count; ++c) {
      const auto kind = static_cast<std::uint8_t>(c == 0 ? KindInputReply : KindInputReply | 0x80);
      const auto part = static_cast<std::uint8_t>(c == 0 ? count : c + 1);
      parts.push_back({kind, {part, data.substr(c * size, size)}});
    }
    return parts;
  }
};

TEST_F(MultiPartTest, InputReplyInPartsIsReassembled) {
  h.Page("frage.txt",
         {"", "15", "0", "2", "Text?", "", "200", "IDmenumain", "IDmenumain", "Notiz", "16"});
  auto s = LoggedIn();
  Calculator calc(*s);
  s->LoadContentFile("frage");
  calc.Expect();
  const std::string text = "ein langer Text, der in drei Teilen ankommt";
  const auto parts = Parts(text, 20);
  ASSERT_EQ(parts.size(), 3u);
  calc.Send(parts[0].first, parts[0].second.second, parts[0].second.first);
  calc.Send(parts[2].first, parts[2].second.second, parts[2].second.first);  // out of order
  calc.Send(parts[1].first, parts[1].second.second, parts[1].second.first);
  EXPECT_EQ(s->GetInputValue("notiz"), "") << "not complete yet";
  calc.Send(parts[1].first, parts[1].second.second, parts[1].second.first);  // a repeat
  calc.Send(parts[2].first, parts[2].second.second, parts[2].second.first);
  EXPECT_EQ(s->GetInputValue("notiz"), text);
  EXPECT_EQ(calc.Expect().kind, KindMenuScreen);
}

TEST_F(MultiPartTest, StrayContinuationPartsAreIgnored) {
  h.Page("frage.txt",
         {"", "15", "0", "2", "Text?", "", "200", "IDmenumain", "IDmenumain", "Notiz", "16"});
  auto s = LoggedIn();
  Calculator calc(*s);
  s->LoadContentFile("frage");
  calc.Expect();
  // Without a first part no continuation is taken, whatever its number.
  for (std::uint8_t n : {1, 2, 3}) {
    calc.Send(KindInputReply | 0x80,
              std::string("\x00\x02"
                          "ab",
                          4),
              n);
  }
  EXPECT_EQ(s->GetInputValue("notiz"), "");
  EXPECT_EQ(s->Link().ExpectedReply(), KindInputReply);
  // After a whole transfer, a further continuation does not replay it.
  const auto parts = Parts("abcdefgh", 5);
  ASSERT_EQ(parts.size(), 2u);
  for (const auto& p : parts)
    calc.Send(p.first, p.second.second, p.second.first);
  EXPECT_EQ(s->GetInputValue("notiz"), "abcdefgh");
  calc.Expect();
  s->LoadContentFile("frage");
  calc.Expect();
  calc.Send(KindInputReply | 0x80, "zz", 3);
  EXPECT_EQ(s->GetInputValue("notiz"), "abcdefgh");
  EXPECT_EQ(s->Link().ExpectedReply(), KindInputReply);
}

TEST_F(MultiPartTest, LongScreenGoesOutPartByPart) {
  h.settings.MaxSinglePacketLen = 10;
  auto s = LoggedIn();
  Calculator calc(*s);
  calc.Send(KindMenuReply, "\x01");
  ASSERT_EQ(s->NextPacket().Kind, KindAck);
  calc.Send(KindNothing);
  const std::string expected = testing::Shown("Hilfe zum Dienst\n") + '\0';
  const std::size_t parts = (expected.size() + 9) / 10;
  ASSERT_GE(parts, 2u);
  std::string got;
  for (std::size_t c = 1; c <= parts; ++c) {
    const TPacket p = s->NextPacket();
    const TPacket again = s->NextPacket();
    EXPECT_EQ(p.Data, again.Data) << "a part is repeated until acknowledged";
    EXPECT_EQ(p.Kind, c == 1 ? KindTextScreen : (KindTextScreen | 0x80));
    EXPECT_EQ(p.Part, c == 1 ? parts : c);
    EXPECT_LE(p.Data.size(), 10u);
    got += p.Data;
    calc.Send(KindAck);
  }
  EXPECT_EQ(s->NextPacket().Kind, KindNothing);
  EXPECT_EQ(got, expected);
}

TEST_F(MultiPartTest, QueuingMoreThan255PartsIsCutAndLogged) {
  h.settings.MaxSinglePacketLen = 1;
  auto s = LoggedIn();
  Calculator calc(*s);
  std::string data(300, 'q');
  s->Link().Queue(KindTextScreen, data);
  EXPECT_EQ(s->Link().OutQueue().size(), 255u);
  EXPECT_TRUE(h.Logged(std::string("Multi-Packet hätte mehr als 255 Teilpakete! Daten:"_cp) +
                       std::string(300, 'q')));
  EXPECT_EQ(s->Link().ExpectedReply(), KindTextReply);
}

}  // namespace
}  // namespace velora
