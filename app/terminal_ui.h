// The operator's side for the headless server: event lines on standard output, messages on
// standard error, both converted from Windows-1252 to the terminal's UTF-8.
#pragma once

#include <cstdio>
#include <string_view>

#include "common/cp1252.h"
#include "common/ports.h"

namespace velora {

class TerminalUi : public OperatorUi {
 public:
  void ShowMessage(std::string_view text) override {
    std::fprintf(stderr, "velorad: %s\n", Cp1252ToUtf8(text).c_str());
  }
  // Nobody is there to answer.
  bool Confirm(std::string_view question) override {
    ShowMessage(question);
    return false;
  }
  void EventLine(std::string_view line) override {
    std::fprintf(stdout, "%s\n", Cp1252ToUtf8(line).c_str());
    std::fflush(stdout);
  }
  void ReplaceEventList(std::string_view text) override {
    std::fprintf(stdout, "%s", Cp1252ToUtf8(text).c_str());
    if (!text.empty() && text.back() != '\n') std::fputc('\n', stdout);
    std::fflush(stdout);
  }
};

}  // namespace velora
