// TProcess: the session of one registered calculator. Frames from the calculator go in through
// HandlePacket, the packet for each poll comes out of NextPacket. The session is made of its
// station link (acknowledgements, queue, readiness), its screens, and its own dispatch and page
// state; services reach it through the ServiceSession interface.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/records.h"
#include "common/thash.h"
#include "link/frame.h"
#include "link/station_link.h"
#include "session/action.h"
#include "session/content.h"
#include "session/content_page.h"
#include "session/context.h"
#include "session/screens.h"
#include "session/service.h"

namespace velora {

class TProcess : public ServiceSession {
 public:
  // Builds the session for a registration request: queues the KindRegistered confirmation, binds
  // the account of the name and queues the first screen (login page, main menu or a refusal).
  // The id is the one the server's front door knows the session by.
  TProcess(const SessionContext& context, int address, std::uint8_t modelByte,
           std::string_view nameField, SessionId id = 0);
  TProcess(const TProcess&) = delete;
  TProcess& operator=(const TProcess&) = delete;

  // --- The polling cycle and the station table.

  // A frame from this station. False when it was dropped as a stray part of a multi-part
  // transfer.
  bool HandlePacket(const Frame& frame);
  // The packet for this poll (see StationLink::NextPacket), a notice waiting to be shown first.
  TPacket NextPacket();
  // A message screen for the user, such as "Du hast Post.". It never takes the place of a
  // screen the calculator may be answering: it waits until the screen on display has arrived
  // and the calculator is idle, an input field until its answer has been handled, and a message
  // until it is dismissed. Dismissing the notice leads back to the page on display, or on where
  // the message it followed would have led.
  void QueueNotice(std::string_view text);
  bool NoticePending() const { return !notices_.empty(); }

  int Address() const { return address_; }
  std::uint8_t CalcType() const { return screens_.CalcType(); }
  bool LoggedOut() const { return loggedOut_; }
  // True when this session set its account's Online mark at creation.
  bool HoldsOnlineMark() const { return holdsOnlineMark_; }
  // Clears the account's Online mark if this session holds it (the station is leaving).
  void ReleaseOnlineMark();

  StationLink& Link() { return link_; }
  const StationLink& Link() const { return link_; }
  Screens& Screen() override { return screens_; }
  const Screens& Screen() const { return screens_; }

  // --- Content pages and dispatch.

  // The login page; before login, when "login.txt" cannot be shown, a built-in one in its place.
  void ShowLoginPage();
  // True while only the login page, the refusal screens and the logout may be reached: a session
  // refused at registration, or one that has to log in and has not.
  bool LoginPending() const;
  TAction ParseAction(std::uint8_t key, std::string_view text);
  // Stores the value under the name of the input field on display.
  void SetInputValue(std::string_view value);

  // --- ServiceSession.

  SessionId Id() const override { return id_; }
  const std::string& UserName() const override { return userName_; }
  Tuserdata* Account() override;
  int UserIndex() const override { return userIndex_; }
  bool Refused() const override { return !refusal_.empty(); }
  const std::string& Refusal() const override { return refusal_; }
  bool LoggedIn() const override { return loggedIn_; }
  void MarkLoggedIn() override { loggedIn_ = true; }
  void Logout() override;
  std::string GetInputValue(std::string_view name) override;
  void PutInputValue(std::string_view name, std::string_view value) override;
  void ShowMessageScreen(std::string_view text, std::string_view action) override;
  void ServerError(std::string_view message) override;
  // Shows the screen of a content file; failures end in ServerError.
  void LoadContentFile(std::string_view name) override;
  void ShowMainMenu() override;
  void OpenLongMenu(std::string_view title, std::vector<TLMenuItem> items) override;
  const std::string& CurrentPageId() const override { return currentPageId_; }
  void PerformAction(TAction action) override;
  void LogText(std::string_view text) override;
  ServiceState& State() override { return state_; }
  const SessionContext& Context() const override { return ctx_; }

 private:
  void Refuse(std::string text);
  // The login page, or for a refused session its refusal.
  void ShowEntryScreen();
  // Shows the screen of a content file; false with the reason when it cannot (nothing queued).
  // A login page must be an input field whose actions are known.
  bool ShowContentFile(std::string_view name, bool loginPage, std::string& error);
  void ShowContentScreen(const ContentPage& page, bool loginPage);
  void HandleRestart();
  void HandleReply(std::uint8_t kind, std::string_view data);
  void HandleMenuReply(std::string_view data);
  void HandleTextReply(std::string_view data);
  void HandleInputReply(std::string_view data);
  void LogShortReply(std::uint8_t kind);
  void ShowNotice();

  SessionContext ctx_;
  SessionId id_ = 0;
  int address_ = 0;
  std::string userName_;
  StationLink link_;
  Screens screens_;
  bool loggedIn_ = false;
  bool loggedOut_ = false;
  int userIndex_ = 0;
  bool hasAccount_ = false;
  bool holdsOnlineMark_ = false;
  std::string refusal_;
  std::string currentPageId_;
  THash inputs_;
  ServiceState state_;
  std::vector<std::string> notices_;  // oldest first
};

}  // namespace velora
