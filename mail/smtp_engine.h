// The SMTP client as a protocol engine: the requests open, auth, mail and quit run as a sequence
// of steps (connect, HELO, EHLO, AUTH, MAIL FROM, RCPT TO, DATA, QUIT), each started when the one
// before succeeded. Reply lines in, command lines and the request-done event out.
#pragma once

#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "common/date_time.h"
#include "common/text.h"
#include "mail/mail_engine.h"

namespace velora {

enum class SmtpRequest { Open, Auth, Mail, Quit };
enum class SmtpAuthType { smtpAuthNone, smtpAuthLogin };
enum class SmtpContentType { smtpPlainText, smtpHtml };

// What the caller sets before a request; each request reads what it needs when it starts.
struct SmtpProperties {
  std::string Host;
  std::string Port = "smtp";
  std::string Username;
  std::string Password;
  SmtpAuthType AuthType = SmtpAuthType::smtpAuthNone;
  std::string SignOn;    // the name sent with EHLO or HELO; empty: the local host name
  std::string FromName;  // envelope sender
  TAoS RcptName;         // envelope recipients
  TAoS MailMessage;      // body lines
  std::string HdrFrom;
  std::string HdrTo;
  std::string HdrReplyTo;
  std::string HdrReturnPath;
  std::string HdrSubject;
  std::string HdrSender;
  std::string CharSet = "iso-8859-1";
  SmtpContentType ContentType = SmtpContentType::smtpPlainText;
};

// "Sun, 6 Dec 2026 09:07:00 +0100"; "-0000" when the zone is unknown.
std::string FormatMailDate(const DateTime& t);
// The header lines of a mail, ending with the empty line. CR and LF inside values are blanked.
TAoS BuildMailHeader(const SmtpProperties& mail, const DateTime& now);
// The body as lines to send between DATA and ".": line breaks inside an entry start new lines and
// a line beginning with "." gets one more in front.
TAoS BuildMailBody(const TAoS& message);
// "MAIL FROM:" / "RCPT TO:" + the trimmed address, in angle brackets unless it has them already.
std::string EnvelopeCommand(std::string_view command, std::string_view address);

class SmtpEngine : public MailEngine {
 public:
  // The name EHLO and HELO send when SignOn is empty.
  explicit SmtpEngine(std::string localHostName);

  // Requests; each throws MailError when it cannot start. Its end is a Done output with the
  // request as an int and the first error code met (0 for success).
  // Connect, then EHLO and AUTH when an authentication type is chosen, else HELO.
  void Open(const SmtpProperties& properties);
  // AUTH alone on an open connection.
  void Auth(const SmtpProperties& properties);
  // MAIL FROM, RCPT TO for each recipient, DATA with header and body; the Date header is `now`.
  void Mail(const SmtpProperties& properties, const DateTime& now);
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
  bool HasConnection() const override { return connection_ != Connection::Down; }

  bool IsConnected() const { return connection_ == Connection::Up; }
  // The server accepted EHLO on this connection.
  bool Extended() const { return extended_; }

 private:
  enum class Step { Connect, Helo, Ehlo, Auth, MailFrom, RcptTo, Data, Quit };
  enum class Connection { Down, Connecting, Up };

  void CheckCanStart(SmtpRequest request) const;
  void Begin(SmtpRequest request, std::vector<Step> steps);
  void StartStep();
  void Command(std::string_view line);
  void HandleReply(int code);
  void NextStep();
  void StepFailed(int code);
  void LocalFailure(std::string response);
  void EndRequest(std::string response);
  void Finish();

  std::string localHostName_;
  Connection connection_ = Connection::Down;
  bool extended_ = false;

  bool running_ = false;
  SmtpRequest request_ = SmtpRequest::Open;
  std::deque<Step> steps_;
  int phase_ = 0;  // position inside the step: AUTH's exchanges, the recipient, DATA's two replies
  bool awaitingReply_ = false;
  int firstError_ = 0;

  // Taken from the properties when the request starts.
  std::string signOn_;
  SmtpAuthType authType_ = SmtpAuthType::smtpAuthNone;
  std::string username_;
  std::string password_;
  std::string mailFrom_;
  TAoS rcptTo_;
  TAoS dataLines_;
};

}  // namespace velora
