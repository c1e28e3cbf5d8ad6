// The POP3 client as a protocol engine: open (connect, USER, PASS), USER and PASS alone, status
// (STAT), list (LIST), retrieve (RETR) and quit (QUIT). Reply lines in; command lines, list lines,
// message lines and the request-done event out. Every "-" reply ends a request with code 500.
#pragma once

#include <deque>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>

#include "mail/mail_engine.h"

namespace velora {

enum class Pop3Request { Open, User, Pass, Status, List, Retrieve, Quit };
enum class Pop3State { Disconnected, WaitUser, WaitPassword, Transaction };

// What the caller sets before a request.
struct Pop3Properties {
  std::string Host;
  std::string Port = "pop3";
  std::string UserName;
  std::string PassWord;
  int MsgNum = 0;  // the message to retrieve; to list, 0 lists all
};

// The first run of digits in a reply and, after blanks, the next run (0 where there is none).
std::pair<int, int> ReplyNumbers(std::string_view line);

class Pop3Engine : public MailEngine {
 public:
  // Requests; each throws MailError when it cannot start (a command in the wrong state:
  // "-ERR STAT command invalid now"). Each ends with a Done output, error 0 or 500.
  void Open(const Pop3Properties& properties);
  void User(const Pop3Properties& properties);
  void Pass(const Pop3Properties& properties);
  void Status();
  // One ListLine output per listed message.
  void List(int msgNum);
  // One MessageLine output per line of the message, un-stuffed.
  void Retrieve(int msgNum);
  // QUIT; without a connection the request ends at once without error.
  void Quit();

  void Connected() override;
  void ReceiveLine(std::string_view line) override;
  void Closed() override;
  void Failed(std::string_view reason) override;
  void TimedOut() override;
  void Stop(std::string_view reason) override;
  void Abort() override;
  std::string Awaiting() const override;
  bool Busy() const override { return running_; }
  bool HasConnection() const override { return link_ != Link::Down; }

  Pop3State State() const { return state_; }
  int MsgCount() const { return msgCount_; }
  int MailboxSize() const { return mailboxSize_; }
  // The last listed message.
  int MsgNum() const { return msgNum_; }
  int MsgSize() const { return msgSize_; }
  // The text between "<" and ">" in the greeting.
  const std::string& TimeStamp() const { return timeStamp_; }

 private:
  enum class Step { Connect, User, Pass, Stat, List, Retr, Quit };
  enum class Link { Down, Connecting, Up };

  void CheckCanStart(Pop3Request request, std::string_view command) const;
  void Begin(Pop3Request request, std::initializer_list<Step> steps);
  void StartStep();
  void Command(std::string line);
  void HandleFirstLine(std::string_view line);
  void HandleFollowingLine(std::string_view line);
  void EmitListLine(std::string_view line);
  void NextStep();
  void EndRequest(int error);
  void ConnectionEnded(std::string response);

  Pop3State state_ = Pop3State::Disconnected;
  Link link_ = Link::Down;
  bool running_ = false;
  Pop3Request request_ = Pop3Request::Open;
  std::deque<Step> steps_;
  bool awaitingReply_ = false;
  bool inMultiLine_ = false;  // after the first line of LIST or RETR, up to "."

  std::string userName_;
  std::string passWord_;
  int argument_ = 0;  // the message number of LIST or RETR

  int msgCount_ = 0;
  int mailboxSize_ = 0;
  int msgNum_ = 0;
  int msgSize_ = 0;
  std::string timeStamp_;
};

}  // namespace velora
