// Several sessions on the default content, reaching each other through a station table, each
// with its own calculator; sessions start at the main menu unless a login is required.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "bus/station_table.h"
#include "common/cp1252.h"
#include "session/process.h"
#include "session/screen.h"
#include "support/session_harness.h"

namespace velora::testing {

class ServicesTest : public ::testing::Test {
 protected:
  ServicesTest() {
    std::filesystem::copy(VELORA_CONTENT_DIR, h.settings.ContentDir,
                          std::filesystem::copy_options::recursive |
                              std::filesystem::copy_options::overwrite_existing);
    h.settings.LoginRequired = false;
    h.directory = &table;
  }

  // Registers a calculator under the name and takes its first screen.
  Screen Join(const std::string& name, std::uint8_t model = 0x82) {
    table.Add(h.Register(name, model, 4 + static_cast<int>(table.Count())));
    TProcess& session = table.Session(table.Count() - 1);
    calcs[name] = std::make_unique<Calculator>(session);
    return calcs[name]->Expect();
  }
  // The session registered last under the name.
  TProcess& S(const std::string& name) {
    for (std::size_t i = table.Count(); i-- > 0;) {
      if (table.Session(i).UserName() == name) return table.Session(i);
    }
    ADD_FAILURE() << "no session " << name;
    return table.Session(0);
  }
  Calculator& C(const std::string& name) { return *calcs.at(name); }
  // Runs an action on the session as a page of it would and takes the screen that follows.
  Screen Do(const std::string& name, std::string_view action, std::int32_t param = 0) {
    TAction a = S(name).ParseAction(0, action);
    a.Param = param;
    S(name).PerformAction(a);
    return C(name).Expect();
  }
  std::uint8_t Model(const std::string& name) { return S(name).CalcType(); }
  // The words of a text screen, and of a PC text as that session's calculator shows it.
  std::string Words(const std::string& name, const Screen& screen) {
    return Flat(screen.Text(), ScreenColumns[Model(name)]);
  }
  std::string Expected(const std::string& name, std::string_view pcText) {
    return Flat(Shown(pcText, Model(name)), ScreenColumns[Model(name)]);
  }
  std::vector<std::string> Captions(const std::string& name, const Screen& screen) {
    return screen.Captions(ScreenColumns[Model(name)]);
  }
  // The title of a menu screen without the blanks that fill its line.
  std::string Title(const std::string& name, const Screen& screen) {
    std::string title = screen.TitleLine(ScreenColumns[Model(name)]);
    while (!title.empty() && title.back() == ' ')
      title.pop_back();
    return title;
  }
  // A PC caption as a calculator receives it.
  std::string Calc(const std::string& name, std::string_view pcText) {
    return TranslateText(pcText, Model(name));
  }
  // Chooses the item of a menu screen by its caption (PC text).
  Screen Pick(const std::string& name, const Screen& menu, std::string_view caption) {
    const std::vector<std::string> captions = Captions(name, menu);
    for (std::size_t i = 0; i < captions.size(); ++i) {
      if (captions[i] == Calc(name, caption)) {
        return C(name).Choose(static_cast<std::uint8_t>(i + 1));
      }
    }
    ADD_FAILURE() << "no item " << caption << " on " << Title(name, menu);
    return {};
  }
  int MessageCount() const {
    int n = 0;
    for (const Tuserdata& user : h.users)
      n += static_cast<int>(user.Messages.size());
    return n;
  }

  Harness h;
  NetworkFigures network;
  StationTable table{h.log, h.ui, h.users, h.clock, network};
  std::map<std::string, std::unique_ptr<Calculator>> calcs;
};

}  // namespace velora::testing
