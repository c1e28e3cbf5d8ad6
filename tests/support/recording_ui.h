// Test doubles of the operator's side: a UI that records, a clock that is set by hand.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/ports.h"

namespace velora::testing {

class RecordingUi : public OperatorUi {
 public:
  void ShowMessage(std::string_view text) override { messages.emplace_back(text); }
  bool Confirm(std::string_view question) override {
    questions.emplace_back(question);
    return confirmAnswer;
  }
  void EventLine(std::string_view line) override { events.emplace_back(line); }
  void ReplaceEventList(std::string_view text) override {
    events.clear();
    eventListText = text;
  }

  std::vector<std::string> messages;
  std::vector<std::string> questions;
  std::vector<std::string> events;
  std::string eventListText;
  bool confirmAnswer = true;
};

class ManualClock : public Clock {
 public:
  std::uint32_t TickMs() override { return tick; }
  DateTime LocalNow() override { return now; }

  std::uint32_t tick = 0;
  DateTime now{2026, 12, 6, 9, 7, 0, 0};
};

// A fresh, empty directory under the system's temporary folder, removed again at destruction.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string File(std::string_view name) const { return path_ + "/" + std::string(name); }

 private:
  std::string path_;
};

std::string ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, std::string_view bytes);

}  // namespace velora::testing
