// What the SMTP and POP3 engines share: they do no I/O. Reply lines and connection events go in,
// outputs come out (connect, lines to send, close, and the events for the caller), in order.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace velora {

// Starting a request that cannot run now. The message is the component's own text.
class MailError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct MailOutput {
  enum class Kind {
    Connect,      // open the connection to the server
    Send,         // send `line` followed by CR LF
    Close,        // close the connection
    ListLine,     // a listed message: msgNum, msgSize
    MessageLine,  // a line of a retrieved message: line
    Done,         // a request ended: request, error (0 = success)
  };
  Kind kind;
  std::string line;
  int request = 0;
  int error = 0;
  int msgNum = 0;
  int msgSize = 0;
};

class MailEngine {
 public:
  virtual ~MailEngine() = default;

  // The connection events.
  virtual void Connected() = 0;
  virtual void ReceiveLine(std::string_view line) = 0;
  virtual void Closed() = 0;
  virtual void Failed(std::string_view reason) = 0;
  // The caller's wait for what Awaiting() names has run out: the request ends with code 500.
  virtual void TimedOut() = 0;
  // Drops the connection; a running request ends with code 500 and the reason in its last
  // response.
  virtual void Stop(std::string_view reason) = 0;
  // Forgets the connection and the running request without any output.
  virtual void Abort() = 0;

  // What the engine is waiting for, such as "the reply to RCPT TO"; empty when it waits for
  // nothing from the server.
  virtual std::string Awaiting() const = 0;
  virtual bool Busy() const = 0;
  // A connection is asked for or stands.
  virtual bool HasConnection() const = 0;

  // The outputs since the last call, oldest first. An input or request gives at most one Done,
  // after its other outputs.
  std::vector<MailOutput> TakeOutputs();
  // The last reply line of the running or the last request; unchanged between requests.
  const std::string& LastResponse() const { return lastResponse_; }

 protected:
  void EmitConnect();
  // Any CR or LF left in the line is blanked, so that no value can smuggle in a command.
  void EmitSend(std::string_view line);
  void EmitClose();
  void EmitDone(int request, int error);
  void EmitEvent(MailOutput output) { outputs_.push_back(std::move(output)); }
  void DropOutputs() { outputs_.clear(); }

  std::string lastResponse_;

 private:
  std::vector<MailOutput> outputs_;
};

// Every run of CR and LF becomes one blank: a value for one command or header line.
std::string OneLine(std::string_view text);
// Without leading and trailing blanks (spaces and tabs).
std::string TrimBlanks(std::string_view text);
bool IsBlank(std::string_view text);
// The lines of a text that may hold CR LF, bare CR or bare LF line breaks; at least one line.
std::vector<std::string> SplitAnyLineBreaks(std::string_view text);

}  // namespace velora
