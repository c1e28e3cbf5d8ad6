// Test harness for sessions.
#include "support/session_harness.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "session/screen.h"

namespace velora::testing {

std::string Screen::Text() const {
  if (!data.empty() && data.back() == '\0') return data.substr(0, data.size() - 1);
  return data;
}

int Screen::ItemCount() const {
  return data.empty() ? -1 : static_cast<std::uint8_t>(data[0]);
}

std::string Screen::TitleLine(int width) const {
  return data.size() < 3 ? std::string() : data.substr(3, static_cast<std::size_t>(width));
}

std::vector<std::string> Screen::Captions(int width) const {
  std::vector<std::string> captions;
  std::size_t pos = 3 + static_cast<std::size_t>(width) + 1;
  while (pos < data.size()) {
    const std::size_t end = data.find('\0', pos);
    if (end == std::string::npos) break;
    captions.push_back(data.substr(pos, end - pos));
    pos = end + 1;
  }
  return captions;
}

Screen::Input Screen::AsInput() const {
  Input in;
  if (data.size() < 3) return in;
  auto byte = [&](std::size_t i) {
    return i < data.size() ? static_cast<std::uint8_t>(data[i]) : 0;
  };
  in.promptRow = byte(0);
  const std::size_t n = byte(2);
  in.prompt = data.substr(3, n);
  in.fieldRow = byte(n + 3);
  in.width = byte(n + 6);
  in.maxLength = byte(n + 7);
  const std::size_t m = byte(n + 8);
  in.current = data.size() > n + 9 ? data.substr(n + 9, m) : std::string();
  return in;
}

Harness::Harness() : log(clock, ui, dir.path()) {
  settings.ContentDir = dir.path() + "/content/";
  std::filesystem::create_directories(settings.ContentDir);
  log.Open();
}

void Harness::Page(std::string_view name, std::initializer_list<std::string_view> lines) {
  Page(name, std::vector<std::string>(lines.begin(), lines.end()));
}

void Harness::Page(std::string_view name, const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) {
    text += line;
    text += "\r\n";
  }
  WriteFileBytes(settings.ContentDir + std::string(name), text);
}

void Harness::StandardPages() {
  Page("menumain.txt", {"", "14", "", "0", "Hauptmenue", "Hilfe", "hilfe", "Abmelden", "IDlogout"});
  Page("login.txt",
       {"", "15", "1", "3", "Passwort:", "", "16", "IDlogin", "IDlogout", "password", "12"});
  Page("hilfe.txt", {"", "11", "IDmenumain", "Hilfe zum Dienst"});
}

MainMenuSessionTest::MainMenuSessionTest() {
  h.StandardPages();
  h.settings.LoginRequired = false;
  h.AddUser("GAST");
  s = h.Register("gast");
  calc = std::make_unique<Calculator>(*s);
  EXPECT_EQ(calc->Expect().kind, KindMenuScreen);
}

int Harness::AddUser(std::string name, std::string password, bool admin) {
  Tuserdata user;
  user.Name = std::move(name);
  user.Password = std::move(password);
  user.IsAdmin = admin;
  users.push_back(std::move(user));
  return static_cast<int>(users.size()) - 1;
}

std::unique_ptr<TProcess> Harness::Register(std::string_view name, std::uint8_t model,
                                            int address) {
  std::string field(name);
  field.resize(8, '\0');
  return std::make_unique<TProcess>(Context(), address, model, field, nextSessionId++);
}

std::string Harness::LogContents() {
  log.Flush();
  return ReadFileBytes(log.CurrentPath());
}

bool Harness::Logged(std::string_view text) {
  return LogContents().find(text) != std::string::npos;
}

void Deliver(TProcess& session, std::string_view bytes) {
  if (std::optional<Frame> frame = Frame::Parse(bytes)) session.HandlePacket(*frame);
}

void Calculator::Send(std::uint8_t kind, std::string_view data, std::uint8_t part) {
  Deliver(s_, BuildFrame(ServerAddress, kind, static_cast<std::uint8_t>(s_.Address()), part, data));
}

std::optional<Screen> Calculator::Next(int maxPolls) {
  Screen screen;
  int parts = 0;
  int received = 0;
  for (int i = 0; i < maxPolls; ++i) {
    ++polls;
    const TPacket p = s_.NextPacket();
    if (p.Kind == KindAck) continue;
    if (p.Kind == KindNothing || p.Kind == KindRegistered) {
      Send(KindNothing);
      continue;
    }
    if (p.Kind == KindLogoutAck) return Screen{KindLogoutAck, {}};
    if ((p.Kind & ContinuationBit) != 0) {
      if (received == 0 || p.Part != received + 1 || (p.Kind & ~ContinuationBit) != screen.kind) {
        ADD_FAILURE() << "continuation part out of order: part " << int(p.Part);
        return std::nullopt;
      }
      screen.data += p.Data;
      ++received;
    } else {
      screen = Screen{p.Kind, p.Data};
      parts = p.Part;
      received = 1;
    }
    Send(KindAck);
    if (received >= parts) return screen;
  }
  return std::nullopt;
}

Screen Calculator::Expect() {
  std::optional<Screen> screen = Next();
  if (!screen) {
    ADD_FAILURE() << "no screen arrived";
    return {};
  }
  return *screen;
}

Screen Calculator::Key(std::uint8_t key) {
  Send(KindTextReply, std::string(1, static_cast<char>(key)));
  return Expect();
}

Screen Calculator::Choose(std::uint8_t item) {
  Send(KindMenuReply, std::string(1, static_cast<char>(item)));
  return Expect();
}

Screen Calculator::Enter(std::string_view text) {
  std::string data;
  data += '\0';
  data += static_cast<char>(text.size());
  data += text;
  Send(KindInputReply, data);
  return Expect();
}

Screen Calculator::Escape() {
  Send(KindInputReply, std::string("\x01\x00", 2));
  return Expect();
}

std::string Shown(std::string_view text, std::uint8_t calcType) {
  return TranslateText(WrapText(text, ScreenColumns[calcType]), calcType);
}

std::string Flat(std::string_view text, int width) {
  std::string joined;
  for (std::size_t row = 0; row < text.size(); row += static_cast<std::size_t>(width)) {
    joined += text.substr(row, static_cast<std::size_t>(width));
    joined += ' ';
  }
  std::string out;
  for (char c : joined) {
    if (c == ' ' && (out.empty() || out.back() == ' ')) continue;
    out += c;
  }
  while (!out.empty() && out.back() == ' ')
    out.pop_back();
  return out;
}

}  // namespace velora::testing
