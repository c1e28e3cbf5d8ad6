// What a service sees: the session that runs it through a narrow interface (its user and
// account, its input values, its screens, the state services keep in it) and other sessions
// through the directory. Services live one file per area and are entered in the handler table.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/records.h"
#include "session/action.h"
#include "session/content.h"
#include "session/screens.h"

namespace velora {

struct SessionContext;
class ServiceSession;

// Identifies a session for as long as the program runs; addresses are reused, ids are not.
using SessionId = std::uint64_t;

// The server's front door as a session's services use it: events that arrive while the polling
// cycle waits (mail replies) come back to the session as commands, applied between the cycle's
// steps and dropped when the session has gone meanwhile.
class SessionCommands {
 public:
  virtual ~SessionCommands() = default;
  virtual void Post(SessionId session, std::function<void(ServiceSession&)> command) = 0;
};

// A mail conversation the session runs; it ends with the session at the latest.
class MailJob {
 public:
  virtual ~MailJob() = default;
};

// Other sessions, as the station table knows them.
class SessionDirectory {
 public:
  virtual ~SessionDirectory() = default;
  // Shows the page "kickme" on the session that holds the account's online mark; false when no
  // session holds it.
  virtual bool KickUser(int accountIndex) = 0;
  // A notice on the first session registered under the name (letters a to z compared without
  // case), shown once that session's screen allows it (TProcess::QueueNotice). False when none.
  virtual bool Notify(std::string_view userName, std::string_view text) = 0;
};

// Wrong passwords in a row, and from the fifth on the wait before the next try is checked.
struct LoginAttempts {
  int failures = 0;
  std::uint32_t waitFromMs = 0;  // tick of the last wrong password
  std::uint32_t waitMs = 0;      // 0: no wait
};

// Per-session state of the services.
struct ServiceState {
  std::int32_t CurrentMessage = -1;  // message shown last, -1 after a deletion
  std::int32_t CurrentMail = 0;
  std::int32_t EditUserIndex = 0;  // account an administrator edits
  std::int32_t MailFetchIndex = 0;
  std::vector<TMail> Mails;
  LoginAttempts Login;
  // The running mail conversation, if any, and the number of the last one started: a command of
  // an earlier conversation still on its way finds another number and is dropped.
  std::unique_ptr<MailJob> Mail;
  std::uint64_t MailSerial = 0;
};

class ServiceSession {
 public:
  virtual ~ServiceSession() = default;

  // The id the server's front door knows the session by (0 for a session outside a server).
  virtual SessionId Id() const = 0;

  // The user and the account.
  virtual const std::string& UserName() const = 0;
  // The account of the name (also for a session refused as already online), or nullptr.
  virtual Tuserdata* Account() = 0;
  virtual int UserIndex() const = 0;
  // Refused at registration (unknown name or account already online), and the text it was told.
  virtual bool Refused() const = 0;
  virtual const std::string& Refusal() const = 0;
  virtual bool LoggedIn() const = 0;
  virtual void MarkLoggedIn() = 0;
  // Ends the session: the logout confirmation goes out at the next poll, then the station leaves.
  virtual void Logout() = 0;

  // Input values, by input name (case ignored).
  virtual std::string GetInputValue(std::string_view name) = 0;
  virtual void PutInputValue(std::string_view name, std::string_view value) = 0;

  // Screens and pages.
  virtual void ShowMessageScreen(std::string_view text, std::string_view action) = 0;
  virtual void ServerError(std::string_view message) = 0;
  virtual void LoadContentFile(std::string_view name) = 0;
  virtual void ShowMainMenu() = 0;
  virtual void OpenLongMenu(std::string_view title, std::vector<TLMenuItem> items) = 0;
  // The screens of the calculator, for what the calls above do not cover (paging a text).
  virtual Screens& Screen() = 0;
  // The content file on display, the way back from a message screen.
  virtual const std::string& CurrentPageId() const = 0;
  virtual void PerformAction(TAction action) = 0;
  // One line in the detailed log.
  virtual void LogText(std::string_view text) = 0;

  virtual ServiceState& State() = 0;
  // The program around the session: settings, log, clock, random source, tables, directory.
  virtual const SessionContext& Context() const = 0;
};

}  // namespace velora
