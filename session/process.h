// TProcess: the session of one registered calculator. Frames from the calculator go in through
// HandlePacket, the packet for each poll comes out of NextPacket; in between the session lays out
// screens, loads content pages and runs the actions its user chooses.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/records.h"
#include "common/thash.h"
#include "link/frame.h"
#include "session/action.h"
#include "session/content.h"
#include "session/context.h"

namespace velora {

class TProcess {
 public:
  // Builds the session for a registration request: queues the KindRegistered confirmation, binds
  // the account of the name and queues the first screen (login page, main menu or a refusal).
  TProcess(const SessionContext& context, int address, std::uint8_t modelByte,
           std::string_view nameField);
  TProcess(const TProcess&) = delete;
  TProcess& operator=(const TProcess&) = delete;

  // --- The polling cycle and the station table.

  // A whole frame from this station, destination byte to CRC byte. Any byte string is safe.
  void HandlePacket(std::string_view frame);
  // The packet for this poll: an owed acknowledgement first, control packets at once, screens
  // only once the calculator has reported itself idle. Unacknowledged packets are sent again.
  TPacket NextPacket();

  int Address() const { return address_; }
  const std::string& UserName() const { return userName_; }
  std::uint8_t CalcType() const { return calcType_; }
  bool LoggedOut() const { return loggedOut_; }
  bool LoggedIn() const { return loggedIn_; }
  int UserIndex() const { return userIndex_; }
  // True when this session set its account's Online mark at creation.
  bool HoldsOnlineMark() const { return holdsOnlineMark_; }
  // Clears the account's Online mark if this session holds it (the station is leaving).
  void ReleaseOnlineMark();
  // True when the session was refused at creation (unknown name or account already online).
  bool Refused() const { return !refusal_.empty(); }
  std::uint8_t NoReplyCount() const { return noReplyCount_; }
  void SetNoReplyCount(std::uint8_t count) { noReplyCount_ = count; }
  std::int32_t SendCount() const { return sendCount_; }
  std::int32_t SendCountMax() const { return sendCountMax_; }

  const std::vector<TPacket>& OutQueue() const { return outQueue_; }
  std::uint8_t ExpectedReply() const { return expectedReply_; }
  bool TIReady() const { return tiReady_; }
  bool AckOwed() const { return ackOwed_; }

  // --- Content pages and menus.

  // Shows the screen of a content file; failures end in ServerError.
  void LoadContentFile(std::string_view name);
  void ShowMainMenu();
  void ShowLoginPage();
  // Shows page 0 of LongMenu() after the caller has filled its Items.
  void OpenLongMenu(std::string_view title);
  void ShowLongMenuPage(std::int32_t page);
  void JumpToPage();
  void HandleMenuReply(std::string_view data);
  void HandleTextReply(std::string_view data);
  void HandleInputReply(std::string_view data);

  // --- Screen output.

  std::string TranslateText(std::string_view text) const;
  // Laid out for this model's line width unless the server's wrapping is switched off.
  std::string WrapText(std::string_view text) const;
  // Makes an already wrapped text the text screen on display and queues its page 0.
  void ShowTextScreen(std::string_view text);
  // Queues another page of the text on display; out-of-range pages wrap around.
  void ShowTextPage(std::int32_t page);
  // A wrapped text screen whose only action is parsed from `action`.
  void ShowMessageScreen(std::string_view text, std::string_view action);
  // Appends the packets of a payload to the queue and sets the awaited reply kind.
  void QueuePackets(std::uint8_t kind, std::string_view data);

  // --- Dispatch.

  TAction ParseAction(std::uint8_t key, std::string_view text);
  void PerformAction(TAction action);
  // Stores the value under the name of the input field on display.
  void SetInputValue(std::string_view value);
  void PutInputValue(std::string_view name, std::string_view value);
  std::string GetInputValue(std::string_view name);
  // Logs the message and shows it as "Fehler im Server ..."; any key leads to the main menu.
  void ServerError(std::string_view message);
  void LogText(std::string_view text);

  // --- Accounts.

  // Ends the session: the logout confirmation goes out at the next poll, then the station leaves.
  void Logout();
  void MarkLoggedIn() { loggedIn_ = true; }
  // The account of the name (also for a session refused as already online), or nullptr.
  Tuserdata* Account();
  // The text a refused session shows again whenever it would otherwise leave its refusal screen.
  const std::string& Refusal() const { return refusal_; }

  // --- State the services work on.

  const SessionContext& Context() const { return ctx_; }
  const std::string& CurrentPageId() const { return currentPageId_; }
  const std::string& InputName() const { return inputName_; }
  const std::vector<TAction>& PageActions() const { return pageActions_; }
  const std::string& PageText() const { return pageText_; }
  std::int32_t TextPage() const { return textPage_; }
  std::int32_t LastPage() const { return lastPage_; }
  TLongMenu& LongMenu() { return longMenu_; }
  THash& Inputs() { return inputs_; }
  std::int32_t CurrentMessage() const { return currentMessage_; }
  void SetCurrentMessage(std::int32_t index) { currentMessage_ = index; }
  std::int32_t CurrentMail() const { return currentMail_; }
  void SetCurrentMail(std::int32_t index) { currentMail_ = index; }
  std::int32_t EditUserIndex() const { return editUserIndex_; }
  void SetEditUserIndex(std::int32_t index) { editUserIndex_ = index; }
  bool MailHeaderMode() const { return mailHeaderMode_; }
  void SetMailHeaderMode(bool on) { mailHeaderMode_ = on; }
  std::int32_t MailFetchIndex() const { return mailFetchIndex_; }
  void SetMailFetchIndex(std::int32_t index) { mailFetchIndex_ = index; }
  std::vector<TMail>& Mails() { return mails_; }

 private:
  void Refuse(std::string text);
  void ShowInputScreen(std::uint8_t promptRow, std::string prompt, std::uint8_t fieldRow,
                       std::uint8_t width, std::uint8_t maxLength, std::string current);
  void ShowContentScreen(int type, const TAoS& lines);
  void HandleRestart();
  void HandleReply(std::uint8_t kind, std::string_view data);
  void LogShortReply(std::uint8_t kind);
  TAction FirstPageAction();

  SessionContext ctx_;
  int address_ = 0;
  std::string userName_;
  std::uint8_t calcType_ = 0;
  bool loggedIn_ = false;
  std::vector<TPacket> outQueue_;
  int userIndex_ = 0;
  std::vector<TAction> pageActions_;
  std::string pageText_;
  std::int32_t lastPage_ = 0;
  std::int32_t textPage_ = 0;
  TLongMenu longMenu_;
  std::string inputName_;
  TAction okAction_;
  TAction cancelAction_;
  bool ackOwed_ = false;
  bool loggedOut_ = false;
  std::string currentPageId_;
  std::int32_t currentMessage_ = -1;
  std::int32_t currentMail_ = 0;
  std::int32_t editUserIndex_ = 0;
  std::uint8_t expectedReply_ = 0;
  bool tiReady_ = false;
  std::string rxBuffer_;
  std::int32_t rxParts_ = 0;
  std::uint8_t rxLastPart_ = 0;
  THash inputs_;
  bool mailHeaderMode_ = false;
  std::int32_t mailFetchIndex_ = 0;
  std::vector<TMail> mails_;
  std::uint8_t noReplyCount_ = 0;
  std::int32_t sendCount_ = 0;
  std::int32_t sendCountMax_ = 0;

  bool hasAccount_ = false;
  bool holdsOnlineMark_ = false;
  std::string refusal_;
};

}  // namespace velora
