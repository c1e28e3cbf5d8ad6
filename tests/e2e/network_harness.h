// The whole network in virtual time: a server on the virtual radio, simulated calculators and a
// listener that records every frame on the air.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "bus/server.h"
#include "link/frame.h"
#include "link/frame_scanner.h"
#include "platform/virtual/virtual_calculator_station.h"
#include "platform/virtual/virtual_radio.h"
#include "platform/virtual/virtual_serial_port.h"
#include "platform/virtual/virtual_time.h"
#include "platform/virtual/virtual_world.h"
#include "support/recording_ui.h"

namespace velora::testing {

// Hears everything (it never transmits) and keeps the intact frames, without start string.
class AirListener : public RadioStation {
 public:
  struct Heard {
    std::int64_t atUs;  // end of the frame's last byte
    std::string frame;  // without start string
  };
  explicit AirListener(VirtualRadio& radio) : modem_(radio.Attach(*this, "listener")) {}
  void ByteHeard(std::uint8_t byte) override;

  std::vector<Heard> frames;
  // Called for each frame as its last byte leaves the air (the server is then inside a wait).
  std::function<void(const Heard&)> onFrame;

 private:
  std::unique_ptr<RadioModem> modem_;
  FrameScanner scanner_{{.startString = "U"}};
};

class Network : public VirtualWorld {
 public:
  Network();
  ~Network();

  CalculatorStation& AddCalculator(const std::string& name, int model = 0);
  int AddUser(const std::string& name, const std::string& password, bool admin = false);
  // Changes the server's settings as the configuration dialog does.
  void Configure(const std::function<void(ServerSettings&)>& change);
  // Runs the server until the condition holds (looked at every millisecond of virtual time) or
  // the time is up; true when the condition held. The server stops at the end of that cycle.
  bool RunUntil(const std::function<bool()>& condition, std::int64_t maxMs);

  // One run of the server through steps: each waits for its condition, then does its action.
  struct Step {
    std::string what;
    std::function<bool()> until;
    std::function<void()> then = [] {};
  };
  // The steps done; on a timeout the server stops and `stuck` names the step that never came.
  std::size_t Run(const std::vector<Step>& steps, std::int64_t maxMs);
  std::string stuck;
  std::int64_t NowMs() const { return time.NowUs() / 1000; }

  // Frames on the air of one kind (bit 7 ignored), optionally to one destination.
  std::vector<AirListener::Heard> FramesOf(std::uint8_t kind, int destination = -1) const;

  TempDir dir;
  RecordingUi ui;
  AirListener air{radio};
  std::unique_ptr<Server> server;
  std::vector<std::unique_ptr<CalculatorStation>> calculators;
};

// A calculator that follows a script: for each screen that arrives, the next step's action.
std::string ScreenWords(const CalculatorEngine& engine);

// One calculator's user: acts once on each new screen of the kind it waits for.
struct User {
  explicit User(CalculatorEngine& engine) : e(engine) {}

  // A new screen of the reply kind is on display and the calculator has nothing left to send;
  // its words are kept in `seen`.
  bool Fresh(int replyKind);
  bool FreshText(std::string_view words) {
    return Fresh(KindTextReply) && seen.back().find(words) != std::string::npos;
  }
  // Presses the digit of the menu item with this caption.
  void Choose(std::string_view caption);
  void Continue() { e.KeyPress('5'); }

  CalculatorEngine& e;
  std::uint32_t answered = 0;
  std::vector<std::string> seen;
};

}  // namespace velora::testing
