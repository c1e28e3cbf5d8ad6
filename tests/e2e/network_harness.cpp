#include "network_harness.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "common/text.h"
#include "link/frame.h"

namespace velora::testing {

void AirListener::ByteHeard(std::uint8_t byte) {
  scanner_.Feed(std::string(1, static_cast<char>(byte)));
  while (std::optional<FrameScanner::Event> event = scanner_.Next()) {
    if (event->type == FrameScanner::EventType::Frame) {
      frames.push_back({modem_->scheduler().NowUs(), std::move(event->bytes)});
      if (onFrame) onFrame(frames.back());
    }
  }
}

Network::Network() : server(Build(ui, dir.path())) {
  Configure([](ServerSettings& s) { s.ContentDir = std::string(VELORA_CONTENT_DIR) + "/"; });
}

void Network::Configure(const std::function<void(ServerSettings&)>& change) {
  ServerSettings settings = server->Settings();
  change(settings);
  server->ApplySettings(settings);
}

Network::~Network() = default;

CalculatorStation& Network::AddCalculator(const std::string& name, int model) {
  calculators.push_back(std::make_unique<CalculatorStation>(radio, server->Settings(), name));
  CalculatorEngine& engine = calculators.back()->engine();
  engine.SetUserName(name);
  engine.SetModel(model);
  return *calculators.back();
}

int Network::AddUser(const std::string& name, const std::string& password, bool admin) {
  Tuserdata user;
  user.Name = AsciiUpper(name);
  user.Password = password;
  user.IsAdmin = admin;
  server->AddAccount(user);
  return static_cast<int>(server->Users().size()) - 1;
}

bool Network::RunUntil(const std::function<bool()>& condition, std::int64_t maxMs) {
  return Run({{"condition", condition}}, maxMs) == 1;
}

std::size_t Network::Run(const std::vector<Step>& steps, std::int64_t maxMs) {
  const std::int64_t deadline = time.NowUs() + maxMs * 1000;
  std::size_t done = 0;
  stuck.clear();
  std::function<void()> check = [&] {
    while (done < steps.size() && steps[done].until()) {
      steps[done].then();
      ++done;
    }
    if (done == steps.size()) {
      server->RequestStop();
      return;
    }
    if (time.NowUs() >= deadline) {
      stuck = steps[done].what;
      server->RequestStop();
      return;
    }
    time.ScheduleAfter(1000, check);
  };
  time.ScheduleAfter(0, check);
  server->Start();
  return done;
}

std::vector<AirListener::Heard> Network::FramesOf(std::uint8_t kind, int destination) const {
  std::vector<AirListener::Heard> out;
  for (const auto& h : air.frames) {
    if ((FrameByte(h.frame, FrameKind) & ~ContinuationBit) != kind) continue;
    if (destination >= 0 && FrameByte(h.frame, FrameDestination) != destination) continue;
    out.push_back(h);
  }
  return out;
}

std::string ScreenWords(const CalculatorEngine& engine) {
  std::string words;
  for (int row = 0; row < 8; ++row)
    words += engine.ScreenRow(row) + " ";
  return words;
}

bool User::Fresh(int replyKind) {
  if (e.ScreenSerial() == answered || e.PendingKind() != KindNothing) return false;
  if (e.SimExpectedReply() != replyKind) return false;
  answered = e.ScreenSerial();
  // The words of the screen, whatever their line breaks.
  std::string words;
  for (char c : ScreenWords(e)) {
    if (c != ' ' || (!words.empty() && words.back() != ' ')) words += c;
  }
  seen.push_back(words);
  return true;
}

void User::Choose(std::string_view caption) {
  for (int row = 1; row < 8; ++row) {
    if (e.ScreenRow(row).find(caption) != std::string::npos) {
      e.KeyPress(static_cast<char>('0' + row));
      return;
    }
  }
  ADD_FAILURE() << "no item " << caption << " on " << (seen.empty() ? "" : seen.back());
}

}  // namespace velora::testing
