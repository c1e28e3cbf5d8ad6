// The SMTP engine: steps, replies and the mail's header block.
#include "mail/smtp_engine.h"

#include <array>
#include <cstdio>
#include <utility>

#include "mail/base64.h"

namespace velora {

namespace {

constexpr std::array<const char*, 7> kDays{"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr std::array<const char*, 12> kMonths{"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// A reply line's code; a line that does not begin with three digits counts as 500, and so does a
// code below 100: a failed step reports its code, and 0 would read as success.
int ReplyCode(std::string_view line) {
  if (line.size() < 3 || !IsDigit(line[0]) || !IsDigit(line[1]) || !IsDigit(line[2])) return 500;
  const int code = (line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0');
  return code < 100 ? 500 : code;
}

// Three digits and "-", whatever the code: a refusal can take several lines too.
bool IsContinuation(std::string_view line) {
  return line.size() >= 4 && IsDigit(line[0]) && IsDigit(line[1]) && IsDigit(line[2]) &&
         line[3] == '-';
}

}  // namespace

std::string FormatMailDate(const DateTime& t) {
  char zone[8] = "-0000";
  if (t.utcOffsetKnown) {
    const int offset = t.utcOffsetMinutes < 0 ? -t.utcOffsetMinutes : t.utcOffsetMinutes;
    std::snprintf(zone, sizeof zone, "%c%02d%02d", t.utcOffsetMinutes < 0 ? '-' : '+',
                  (offset / 60) % 100, offset % 60);
  }
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%s, %d %s %04d %02d:%02d:%02d %s", kDays[DayOfWeek(t)],
                t.day, kMonths[(t.month + 11) % 12], t.year, t.hour, t.minute, t.second, zone);
  return buffer;
}

TAoS BuildMailHeader(const SmtpProperties& mail, const DateTime& now) {
  TAoS lines;
  const std::string replyTo = OneLine(mail.HdrReplyTo);
  const std::string returnPath = OneLine(mail.HdrReturnPath);
  const std::string from = OneLine(mail.HdrFrom);
  const std::string sender = OneLine(mail.HdrSender);
  if (!IsBlank(replyTo)) lines.push_back("Reply-To: " + replyTo);
  if (!IsBlank(returnPath)) lines.push_back("Return-Path: " + returnPath);
  lines.push_back("From: " + from);
  lines.push_back("To: " + OneLine(mail.HdrTo));
  lines.push_back("Subject: " + OneLine(mail.HdrSubject));
  if (!IsBlank(sender)) {
    lines.push_back("Sender: " + sender);
  } else if (!IsBlank(from)) {
    lines.push_back("Sender: " + from);
  }
  lines.push_back("Mime-Version: 1.0");
  const char* type = mail.ContentType == SmtpContentType::smtpHtml ? "text/html" : "text/plain";
  lines.push_back(std::string("Content-Type: ") + type + "; charset=\"" + OneLine(mail.CharSet) +
                  "\"");
  lines.push_back("Date: " + FormatMailDate(now));
  lines.emplace_back();
  return lines;
}

TAoS BuildMailBody(const TAoS& message) {
  TAoS lines;
  for (const std::string& entry : message) {
    for (std::string& line : SplitAnyLineBreaks(entry)) {
      if (!line.empty() && line[0] == '.') line.insert(0, 1, '.');
      lines.push_back(std::move(line));
    }
  }
  return lines;
}

std::string EnvelopeCommand(std::string_view command, std::string_view address) {
  const std::string trimmed = TrimBlanks(OneLine(address));
  const bool bracketed =
      trimmed.find('<') != std::string::npos && trimmed.find('>') != std::string::npos;
  return std::string(command) + (bracketed ? trimmed : "<" + trimmed + ">");
}

SmtpEngine::SmtpEngine(std::string localHostName) : localHostName_(std::move(localHostName)) {}

void SmtpEngine::CheckCanStart(SmtpRequest request) const {
  if (running_) throw MailError("SMTP component not ready");
  if (request == SmtpRequest::Open && connection_ != Connection::Down) {
    throw MailError("SMTP component already connected");
  }
  if ((request == SmtpRequest::Auth || request == SmtpRequest::Mail) &&
      connection_ != Connection::Up) {
    throw MailError("SMTP component not connected");
  }
}

void SmtpEngine::Open(const SmtpProperties& properties) {
  CheckCanStart(SmtpRequest::Open);
  signOn_ = TrimBlanks(OneLine(properties.SignOn));
  if (signOn_.empty()) signOn_ = TrimBlanks(OneLine(localHostName_));
  if (signOn_.empty()) signOn_ = "localhost";
  authType_ = properties.AuthType;
  username_ = properties.Username;
  password_ = properties.Password;
  if (authType_ == SmtpAuthType::smtpAuthNone) {
    Begin(SmtpRequest::Open, {Step::Connect, Step::Helo});
  } else {
    Begin(SmtpRequest::Open, {Step::Connect, Step::Ehlo, Step::Auth});
  }
}

void SmtpEngine::Auth(const SmtpProperties& properties) {
  CheckCanStart(SmtpRequest::Auth);
  authType_ = properties.AuthType;
  username_ = properties.Username;
  password_ = properties.Password;
  Begin(SmtpRequest::Auth, {Step::Auth});
}

void SmtpEngine::Mail(const SmtpProperties& properties, const DateTime& now) {
  CheckCanStart(SmtpRequest::Mail);
  mailFrom_ = EnvelopeCommand("MAIL FROM:", properties.FromName);
  rcptTo_.clear();
  for (const std::string& recipient : properties.RcptName) {
    rcptTo_.push_back(EnvelopeCommand("RCPT TO:", recipient));
  }
  dataLines_ = BuildMailHeader(properties, now);
  for (std::string& line : BuildMailBody(properties.MailMessage)) {
    dataLines_.push_back(std::move(line));
  }
  Begin(SmtpRequest::Mail, {Step::MailFrom, Step::RcptTo, Step::Data});
}

void SmtpEngine::Quit() {
  CheckCanStart(SmtpRequest::Quit);
  if (connection_ == Connection::Up) {
    Begin(SmtpRequest::Quit, {Step::Quit});
  } else {
    Begin(SmtpRequest::Quit, {});
  }
}

void SmtpEngine::Begin(SmtpRequest request, std::vector<Step> steps) {
  running_ = true;
  request_ = request;
  steps_.assign(steps.begin(), steps.end());
  phase_ = 0;
  firstError_ = 0;
  awaitingReply_ = false;
  lastResponse_.clear();
  StartStep();
}

void SmtpEngine::StartStep() {
  if (steps_.empty()) {
    Finish();
    return;
  }
  switch (steps_.front()) {
    case Step::Connect:
      connection_ = Connection::Connecting;
      extended_ = false;
      EmitConnect();
      return;
    case Step::Ehlo:
      Command("EHLO " + signOn_);
      return;
    case Step::Helo:
      Command("HELO " + signOn_);
      return;
    case Step::Auth:
      if (!extended_) {
        LocalFailure("500 ESMTP not supported.");
      } else if (authType_ == SmtpAuthType::smtpAuthNone) {
        LocalFailure("500 No Authorization Type Selected.");
      } else {
        Command("AUTH LOGIN");
      }
      return;
    case Step::MailFrom:
      Command(mailFrom_);
      return;
    case Step::RcptTo:
      if (rcptTo_.empty()) {
        NextStep();
      } else {
        Command(rcptTo_[0]);
      }
      return;
    case Step::Data:
      Command("DATA");
      return;
    case Step::Quit:
      Command("QUIT");
      return;
  }
}

void SmtpEngine::Command(std::string_view line) {
  EmitSend(line);
  awaitingReply_ = true;
}

void SmtpEngine::Connected() {
  if (!running_ || connection_ != Connection::Connecting) return;
  connection_ = Connection::Up;
  awaitingReply_ = true;  // the greeting
}

void SmtpEngine::ReceiveLine(std::string_view line) {
  // Lines between requests answer nothing that was asked.
  if (!running_ || !awaitingReply_) return;
  lastResponse_ = std::string(line);
  if (IsContinuation(line)) return;
  awaitingReply_ = false;
  HandleReply(ReplyCode(line));
}

void SmtpEngine::HandleReply(int code) {
  switch (steps_.front()) {
    case Step::Connect:
      if (code == 220) {
        NextStep();
        return;
      }
      EmitClose();
      connection_ = Connection::Down;
      StepFailed(code);
      return;
    case Step::Ehlo:
      if (code == 250) {
        extended_ = true;
        NextStep();
        return;
      }
      // Not an error: the server gets HELO instead, and the connection goes on without AUTH.
      steps_.assign({Step::Helo});
      phase_ = 0;
      StartStep();
      return;
    case Step::Helo:
    case Step::MailFrom:
      if (code == 250) {
        NextStep();
      } else {
        StepFailed(code);
      }
      return;
    case Step::Auth:
      if (code != (phase_ < 2 ? 334 : 235)) {
        StepFailed(code);
        return;
      }
      ++phase_;
      if (phase_ == 1) {
        Command(Base64Encode(username_));
      } else if (phase_ == 2) {
        Command(Base64Encode(password_));
      } else {
        NextStep();
      }
      return;
    case Step::RcptTo:
      if (code != 250 && code != 251) {
        StepFailed(code);
        return;
      }
      ++phase_;
      if (phase_ < static_cast<int>(rcptTo_.size())) {
        Command(rcptTo_[phase_]);
      } else {
        NextStep();
      }
      return;
    case Step::Data:
      if (code != (phase_ == 0 ? 354 : 250)) {
        StepFailed(code);
        return;
      }
      if (phase_ == 0) {
        phase_ = 1;
        for (const std::string& line : dataLines_)
          EmitSend(line);
        Command(".");
        return;
      }
      NextStep();
      return;
    case Step::Quit:
      EmitClose();
      connection_ = Connection::Down;
      if (code == 221) {
        NextStep();
      } else {
        StepFailed(code);
      }
      return;
  }
}

void SmtpEngine::NextStep() {
  steps_.pop_front();
  phase_ = 0;
  StartStep();
}

void SmtpEngine::StepFailed(int code) {
  if (firstError_ == 0) firstError_ = code;
  steps_.pop_front();
  // Only a QUIT that belongs to the request still runs.
  std::erase_if(steps_, [](Step step) { return step != Step::Quit; });
  if (connection_ != Connection::Up) steps_.clear();
  phase_ = 0;
  StartStep();
}

void SmtpEngine::LocalFailure(std::string response) {
  lastResponse_ = std::move(response);
  StepFailed(500);
}

void SmtpEngine::Closed() {
  if (!running_) {
    connection_ = Connection::Down;
    return;
  }
  if (steps_.front() == Step::Quit) {
    // The server hung up instead of answering QUIT: the session is over all the same.
    connection_ = Connection::Down;
    NextStep();
    return;
  }
  connection_ = Connection::Down;
  EndRequest("500 Connection closed unexpectedly");
}

void SmtpEngine::Failed(std::string_view reason) {
  if (!running_) {
    connection_ = Connection::Down;
    return;
  }
  if (steps_.front() == Step::Quit) {
    Closed();
    return;
  }
  connection_ = Connection::Down;
  EndRequest("500 " + OneLine(reason));
}

void SmtpEngine::TimedOut() {
  const std::string awaited = Awaiting();
  if (!awaited.empty()) Stop("Timeout waiting for " + awaited);
}

void SmtpEngine::Stop(std::string_view reason) {
  if (connection_ != Connection::Down) EmitClose();
  connection_ = Connection::Down;
  if (running_) EndRequest("500 " + OneLine(reason));
}

void SmtpEngine::EndRequest(std::string response) {
  lastResponse_ = std::move(response);
  if (firstError_ == 0) firstError_ = 500;
  steps_.clear();
  Finish();
}

void SmtpEngine::Finish() {
  running_ = false;
  awaitingReply_ = false;
  steps_.clear();
  EmitDone(static_cast<int>(request_), firstError_);
}

void SmtpEngine::Abort() {
  DropOutputs();
  connection_ = Connection::Down;
  extended_ = false;
  running_ = false;
  awaitingReply_ = false;
  steps_.clear();
}

std::string SmtpEngine::Awaiting() const {
  if (!running_ || steps_.empty()) return {};
  if (connection_ == Connection::Connecting) return "the connection";
  if (!awaitingReply_) return {};
  switch (steps_.front()) {
    case Step::Connect:
      return "the greeting";
    case Step::Helo:
      return "the reply to HELO";
    case Step::Ehlo:
      return "the reply to EHLO";
    case Step::Auth:
      return phase_ == 0   ? "the reply to AUTH LOGIN"
             : phase_ == 1 ? "the reply to the user name"
                           : "the reply to the password";
    case Step::MailFrom:
      return "the reply to MAIL FROM";
    case Step::RcptTo:
      return "the reply to RCPT TO";
    case Step::Data:
      return phase_ == 0 ? "the reply to DATA" : "the reply to the end of the mail";
    case Step::Quit:
      return "the reply to QUIT";
  }
  return {};
}

}  // namespace velora
