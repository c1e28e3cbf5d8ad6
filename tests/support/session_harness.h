// Test harness for sessions: program-wide state in a temporary directory, content pages, and a
// calculator that polls a session, acknowledges its packets and reassembles its screens.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "common/random.h"
#include "link/frame.h"
#include "session/context.h"
#include "session/process.h"
#include "store/log_file.h"
#include "support/recording_ui.h"

namespace velora::testing {

// Answers the scripted values in turn, then repeats the last one.
class ScriptedRandom : public Random {
 public:
  double Uniform() override {
    ++draws;
    if (values.empty()) return 0.0;
    const double v = values[next < values.size() ? next : values.size() - 1];
    ++next;
    return v;
  }
  std::vector<double> values;
  std::size_t next = 0;
  int draws = 0;
};

struct Screen {
  std::uint8_t kind = 0;
  std::string data;

  // Text screen: the page's characters without the closing 0 byte.
  std::string Text() const;
  // Menu screen.
  int ItemCount() const;
  std::string TitleLine(int width) const;
  std::vector<std::string> Captions(int width) const;
  // Input screen.
  struct Input {
    int promptRow = 0;
    std::string prompt;
    int fieldRow = 0;
    int width = 0;
    int maxLength = 0;
    std::string current;
  };
  Input AsInput() const;
};

class Harness {
 public:
  Harness();

  SessionContext Context() {
    return SessionContext{settings,   log,     clock,   random, users,   feedback,
                          *directory, nullptr, nullptr, mail,   commands};
  }
  // A content page from its lines (CR LF line ends).
  void Page(std::string_view name, std::initializer_list<std::string_view> lines);
  void Page(std::string_view name, const std::vector<std::string>& lines);
  // The pages every test starts with: menumain.txt (two items), login.txt (password field).
  void StandardPages();
  int AddUser(std::string name, std::string password = "geheim", bool admin = false);
  std::unique_ptr<TProcess> Register(std::string_view name, std::uint8_t model = 0x82,
                                     int address = 4);
  // The log with everything buffered written.
  std::string LogContents();
  bool Logged(std::string_view text);

  TempDir dir;
  ManualClock clock;
  RecordingUi ui;
  LogFile log;
  ServerSettings settings;
  ScriptedRandom random;
  UserTable users;
  FeedbackList feedback;
  // Sessions registered afterwards reach each other through it (a station table in tests that
  // run several sessions).
  SessionDirectory* directory = &NoSessionDirectory();
  // The mail services' ports and the front door their events come back through (none: no mail).
  const MailPorts* mail = nullptr;
  SessionCommands* commands = nullptr;
  // Each session registered gets the next id.
  SessionId nextSessionId = 1;
};

class Calculator {
 public:
  explicit Calculator(TProcess& session) : s_(session) {}

  // One frame from this calculator to the server.
  void Send(std::uint8_t kind, std::string_view data = {}, std::uint8_t part = 1);
  // Polls until a whole screen (or the logout confirmation, as a Screen of that kind) has arrived;
  // nothing when none comes within maxPolls.
  std::optional<Screen> Next(int maxPolls = 2000);
  // Next() that records a test failure when nothing arrives.
  Screen Expect();
  Screen Key(std::uint8_t key);
  Screen Choose(std::uint8_t item);
  Screen Enter(std::string_view text);
  Screen Escape();
  int polls = 0;

 private:
  TProcess& s_;
};

// A TI 82 session of an account without login (GAST), showing its main menu.
class MainMenuSessionTest : public ::testing::Test {
 protected:
  MainMenuSessionTest();

  Harness h;
  std::unique_ptr<TProcess> s;
  std::unique_ptr<Calculator> calc;
};

// Hands the bytes to the session when they make an intact frame, as the radio's scanner would.
void Deliver(TProcess& session, std::string_view bytes);

// The page text a screen shows for a PC text, laid out and translated for the model.
std::string Shown(std::string_view text, std::uint8_t calcType = 0);
// The screen's rows joined by blanks, runs of blanks collapsed, ends trimmed: the words of a
// screen regardless of its layout (words running over a line end come apart).
std::string Flat(std::string_view text, int width = 16);

}  // namespace velora::testing
