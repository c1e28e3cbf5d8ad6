// A scripted calculator user: reads the screen and answers it like a person browsing the
// service. Logs in with its password, chooses menu items, leaves other input fields with escape.
#pragma once

#include <cstdint>
#include <random>
#include <string>

#include "sim/calculator_engine.h"

namespace velora {

class ScriptedUser {
 public:
  ScriptedUser(CalculatorEngine& engine, std::string password, std::uint32_t seed);

  // Does at most one thing now: registers, or answers the screen on display. False when nothing
  // could be done yet (an acknowledgement still pending, nothing new on the screen).
  bool Act();
  // True while the screen on display has not been answered yet.
  bool ScreenPending() const { return repeat_ || engine_.ScreenSerial() != answeredSerial_; }
  // Answers the screen on display once more, as a person does when nothing seems to happen (the
  // answer may have been lost on the air).
  void AnswerAgain() { repeat_ = true; }

  int logins = 0;       // password prompts answered
  int menuChoices = 0;  // menu items chosen
  int pagesRead = 0;    // text pages dismissed

 private:
  bool ScreenContains(std::string_view word) const;

  CalculatorEngine& engine_;
  std::string password_;
  std::mt19937 random_;
  std::uint32_t answeredSerial_ = 0;
  bool repeat_ = false;
};

}  // namespace velora
