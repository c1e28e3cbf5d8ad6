// A scripted calculator user: reads the screen and answers it like a person browsing the
// service. Logs in with its password, chooses menu items, leaves other input fields with escape,
// and at the end of a visit chooses the logout item.
#pragma once

#include <cstdint>
#include <functional>
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
  // A visit begins (the calculator has just registered): after this many menu choices the user
  // chooses the logout item where a menu offers one; 0 stays for ever.
  void BeginVisit(int menuChoicesBeforeLeaving);

  // Errands beyond browsing (writing a message, for one) hook in here: asked first for every
  // screen to be answered, it answers the screen itself through the engine and returns true,
  // or returns false to leave the screen to the user's browsing.
  std::function<bool(CalculatorEngine& engine)> errand;

  int logins = 0;       // password prompts answered
  int menuChoices = 0;  // menu items chosen
  int pagesRead = 0;    // text pages dismissed
  int logouts = 0;      // visits ended with the logout item

 private:
  bool ScreenContains(std::string_view word) const;
  void ChooseMenuItem();

  CalculatorEngine& engine_;
  std::string password_;
  std::mt19937 random_;
  std::uint32_t answeredSerial_ = 0;
  bool repeat_ = false;
  int leaveAfter_ = 0;
  int choicesThisVisit_ = 0;
  bool loggedIn_ = false;
  bool leftThisVisit_ = false;  // the logout item was chosen (perhaps again, when lost on the air)
  std::uint32_t loginScreen_ = 0;  // answered again with the password when the answer got lost
};

}  // namespace velora
