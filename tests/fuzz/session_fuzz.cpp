// A session fed any frames in any state: the default content, a few accounts, login required or
// not, logged in or not. Frames are built with random kinds, parts and data, or are raw garbage.
// Whatever arrives, the session keeps its packets within their limits and its pages in range, and
// before a login nothing but the login page and the logout is reached: no account, message or
// feedback changes.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>

#include "fuzz_input.h"
#include "link/frame.h"
#include "session/process.h"
#include "store/users_format.h"
#include "support/session_harness.h"

#ifndef VELORA_CONTENT_DIR
#error "VELORA_CONTENT_DIR names the default content"
#endif

namespace velora {
namespace {

using fuzz::FuzzInput;

struct Account {
  const char* name;
  const char* password;
  bool admin;
};
constexpr Account kAccounts[] = {
    {"GAST", "gast", false}, {"ADMIN", "admin", true}, {"LISA", "lisa", false}};
constexpr const char* kNames[] = {"gast", "ADMIN", "Lisa", "fremd", "", "gastgast"};
constexpr std::uint8_t kKinds[] = {KindRegisterRequest,
                                   KindAck,
                                   KindRestart,
                                   KindLogout,
                                   KindNoAck,
                                   KindNothing,
                                   KindMenuReply,
                                   KindTextReply,
                                   KindReply34,
                                   KindInputReply,
                                   KindMenuReply | ContinuationBit,
                                   KindInputReply | ContinuationBit,
                                   KindAck | ContinuationBit};
// Menu items, the main menu, paging, and the keys of text pages (Enter is 9, escape 27).
constexpr std::uint8_t kKeys[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 27, 252, 253};
constexpr const char* kTexts[] = {"gast",     "admin",      "lisa",     "IDlogout", "GAST",
                                  "neu",      "..",         "menumain", "kickme",   "lisa\r\nx",
                                  "../users", "1234567890", "nachricht"};

// The program-wide state, made once: building it for every input would cost more than the run.
testing::Harness& World() {
  struct DefaultContent : testing::Harness {
    DefaultContent() {
      settings.ContentDir = std::string(VELORA_CONTENT_DIR) + "/";
      log.Close();  // millions of lines would fill the disk; formatting them still runs
    }
  };
  static DefaultContent h;
  return h;
}

void ResetAccounts(testing::Harness& h) {
  h.users.clear();
  h.feedback.clear();
  for (const Account& a : kAccounts)
    h.AddUser(a.name, a.password, a.admin);
  Tmessage m;
  m.Sender = "GAST";
  m.Text = "Hallo Lisa";
  m.Time = "06.12.2026 09:07";
  h.users[2].Messages = {m, m};
  h.users[2].Messages[1].Read = true;
}

// The reply data of a kind: what the calculator's program sends, now and then something else.
std::string ReplyData(FuzzInput& in, std::uint8_t kind) {
  switch (kind & ~ContinuationBit) {
    case KindMenuReply:
    case KindTextReply:
      if (in.Flag()) return std::string(1, static_cast<char>(in.PickOf(kKeys)));
      break;
    case KindInputReply:
      if (in.Flag()) {
        const std::string text = in.Flag() ? in.PickOf(kTexts) : in.Text(40);
        std::string data(1, static_cast<char>(in.Byte() % 3));
        data += static_cast<char>(text.size());
        return data + text;
      }
      break;
    default:
      break;
  }
  return in.Text(MaxFrameData);
}

class Run {
 public:
  Run(testing::Harness& h, FuzzInput& in) : h_(h), in_(in) {}

  void Register() {
    const char* name = in_.PickOf(kNames);
    // An account that another station holds.
    if (in_.Byte() % 8 == 0 && !h_.users.empty()) h_.users[in_.Pick(h_.users.size())].Online = true;
    const std::uint8_t model =
        in_.PickOf({std::uint8_t{0x82}, std::uint8_t{0x86}, std::uint8_t{0}});
    s_ = h_.Register(name, model, 4 + static_cast<int>(in_.Pick(250)));
    everLoggedIn_ = false;
    if (in_.Flag()) LogIn();
  }

  // The login as the calculator does it: the login page, then the account's password.
  void LogIn() {
    Settle();
    const Tuserdata* account = s_->Account();
    if (account == nullptr) return;
    std::string data("\0", 1);
    data += static_cast<char>(account->Password.size());
    data += account->Password;
    Send(KindInputReply, data);
    Settle();
  }

  // Polls like a calculator until nothing is left to send.
  void Settle() {
    for (int i = 0; i < 600 && (!s_->Link().OutQueue().empty() || !s_->Link().TIReady()); ++i)
      Poll(true);
  }

  void Poll(bool behave) {
    const TPacket p = s_->NextPacket();
    CheckPacket(p);
    if (p.Kind == KindAck) return;
    if (p.Kind == KindNothing || p.Kind == KindRegistered) {
      if (behave || in_.Flag()) Send(KindNothing, {});
      return;
    }
    if (behave || in_.Flag()) Send(KindAck, {});
  }

  void Send(std::uint8_t kind, std::string_view data, std::uint8_t part = 1) {
    testing::Deliver(*s_, BuildFrame(ServerAddress, kind, static_cast<std::uint8_t>(s_->Address()),
                                     part, data.substr(0, MaxFrameData)));
  }

  void Step() {
    switch (in_.Pick(12)) {
      case 0:
      case 1:
      case 2:
      case 3: {
        const std::uint8_t kind = in_.Flag() ? in_.Byte() : in_.PickOf(kKinds);
        const std::uint8_t part = in_.Flag() ? in_.Byte() : static_cast<std::uint8_t>(in_.Pick(4));
        Send(kind, ReplyData(in_, kind), part);
        break;
      }
      case 4:
        testing::Deliver(*s_, in_.Text());
        break;
      case 5: {
        // A frame damaged on the air: cut short or one byte changed.
        std::string frame = BuildFrame(ServerAddress, in_.PickOf(kKinds),
                                       static_cast<std::uint8_t>(s_->Address()), 1, in_.Text(20));
        const std::size_t at = in_.Pick(frame.size());
        if (in_.Flag()) {
          frame.resize(at);
        } else {
          frame[at] = static_cast<char>(in_.Byte());
        }
        testing::Deliver(*s_, frame);
        break;
      }
      case 6:
      case 7:
      case 8:
        Poll(false);
        break;
      case 9:
        Settle();
        break;
      case 10:
        // An administrator kicks the station.
        s_->LoadContentFile(KickFile);
        break;
      default:
        Poll(true);
        break;
    }
    Check();
    if (s_->LoggedOut()) {
      s_->ReleaseOnlineMark();
      Register();
    }
  }

  void CheckPacket(const TPacket& p) const {
    // Screens are cut to the configured length; control packets (at most the 9 bytes of the
    // registration confirmation) always travel whole.
    const std::size_t limit =
        (p.Kind & 0x7F) < KindTextScreen
            ? 9
            : static_cast<std::size_t>(std::clamp(h_.settings.MaxSinglePacketLen, 1, 249));
    FUZZ_CHECK(p.Data.size() <= limit, "a packet of " + std::to_string(p.Data.size()) + " bytes");
  }

  void Check() {
    for (const TPacket& p : s_->Link().OutQueue())
      CheckPacket(p);
    const std::uint8_t expected = s_->Link().ExpectedReply();
    FUZZ_CHECK(expected == 0 || expected == KindMenuReply || expected == KindTextReply ||
                   expected == KindInputReply,
               "awaits reply kind " + std::to_string(expected));
    FUZZ_CHECK(s_->Link().SendCountMax() >= s_->Link().SendCount(), "send counts");
    const Screens& screen = s_->Screen();
    FUZZ_CHECK(screen.TextPage() >= 0 && screen.TextPage() <= screen.LastPage(), "text page");
    FUZZ_CHECK(screen.LongMenu().Page >= 0 && screen.LongMenu().Page <= screen.LongMenu().MaxPage,
               "menu page");
    FUZZ_CHECK(screen.PageActions().size() <= 7, "more actions than a page shows");
    if (s_->HoldsOnlineMark()) FUZZ_CHECK(h_.users[s_->UserIndex()].Online, "online mark");

    everLoggedIn_ = everLoggedIn_ || s_->LoggedIn();
    if (!everLoggedIn_ && s_->LoginPending()) {
      const std::string& page = s_->CurrentPageId();
      FUZZ_CHECK(page.empty() || page == LoginFile || page == KickFile,
                 "page " + page + " reached before the login");
    }
  }

  bool EverLoggedIn() const { return everLoggedIn_; }

 private:
  testing::Harness& h_;
  FuzzInput& in_;
  std::unique_ptr<TProcess> s_;
  bool everLoggedIn_ = false;
};

}  // namespace
}  // namespace velora

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace velora;
  velora::testing::Harness& h = World();
  FuzzInput in(data, size);
  const std::uint8_t config = in.Byte();
  h.settings.LoginRequired = (config & 1) == 0;
  h.settings.NoWrap = (config & 2) != 0;
  h.settings.MaxSinglePacketLen = in.PickOf({249, 1, 7, 30, 100, 0, 300});
  ResetAccounts(h);
  const std::string usersBefore = FormatUsersFile(h.users, 0);

  Run run(h, in);
  run.Register();
  bool anyLogin = run.EverLoggedIn();
  for (int step = 0; step < 2000 && !in.Empty(); ++step) {
    run.Step();
    anyLogin = anyLogin || run.EverLoggedIn();
  }
  if (h.settings.LoginRequired && !anyLogin) {
    FUZZ_CHECK(FormatUsersFile(h.users, 0) == usersBefore, "an account changed before a login");
    FUZZ_CHECK(h.feedback.empty(), "feedback given before a login");
  }
  return 0;
}
