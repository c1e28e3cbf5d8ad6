// The POP3 engine: protocol states, single- and multi-line replies.
#include "mail/pop3_engine.h"

#include <climits>
#include <tuple>

namespace velora {

namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

bool IsSuccess(std::string_view line) {
  return !line.empty() && line[0] == '+';
}

// Reads a run of digits from position i on, saturating.
int DigitRun(std::string_view line, std::size_t& i) {
  long long value = 0;
  for (; i < line.size() && IsDigit(line[i]); ++i) {
    value = value * 10 + (line[i] - '0');
    if (value > INT_MAX) value = INT_MAX;
  }
  return static_cast<int>(value);
}

}  // namespace

std::pair<int, int> ReplyNumbers(std::string_view line) {
  std::size_t i = 0;
  while (i < line.size() && !IsDigit(line[i]))
    ++i;
  const int first = DigitRun(line, i);
  while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
    ++i;
  const int second = DigitRun(line, i);
  return {first, second};
}

void Pop3Engine::CheckCanStart(Pop3Request request, std::string_view command) const {
  if (running_) throw MailError("POP3 component not ready");
  const auto invalid = [&] {
    throw MailError("-ERR " + std::string(command) + " command invalid now");
  };
  switch (request) {
    case Pop3Request::Open:
      if (state_ != Pop3State::Disconnected) throw MailError("POP3 component already connected");
      return;
    case Pop3Request::User:
      if (state_ != Pop3State::WaitUser) invalid();
      return;
    case Pop3Request::Pass:
      if (state_ != Pop3State::WaitPassword) invalid();
      return;
    case Pop3Request::Status:
    case Pop3Request::List:
    case Pop3Request::Retrieve:
      if (state_ != Pop3State::Transaction) invalid();
      return;
    case Pop3Request::Quit:
      return;
  }
}

void Pop3Engine::Open(const Pop3Properties& properties) {
  CheckCanStart(Pop3Request::Open, "");
  userName_ = TrimBlanks(OneLine(properties.UserName));
  passWord_ = TrimBlanks(OneLine(properties.PassWord));
  Begin(Pop3Request::Open, {Step::Connect, Step::User, Step::Pass});
}

void Pop3Engine::User(const Pop3Properties& properties) {
  CheckCanStart(Pop3Request::User, "USER");
  userName_ = TrimBlanks(OneLine(properties.UserName));
  Begin(Pop3Request::User, {Step::User});
}

void Pop3Engine::Pass(const Pop3Properties& properties) {
  CheckCanStart(Pop3Request::Pass, "PASS");
  passWord_ = TrimBlanks(OneLine(properties.PassWord));
  Begin(Pop3Request::Pass, {Step::Pass});
}

void Pop3Engine::Status() {
  CheckCanStart(Pop3Request::Status, "STAT");
  Begin(Pop3Request::Status, {Step::Stat});
}

void Pop3Engine::List(int msgNum) {
  CheckCanStart(Pop3Request::List, "LIST");
  argument_ = msgNum;
  Begin(Pop3Request::List, {Step::List});
}

void Pop3Engine::Retrieve(int msgNum) {
  CheckCanStart(Pop3Request::Retrieve, "RETR");
  argument_ = msgNum;
  Begin(Pop3Request::Retrieve, {Step::Retr});
}

void Pop3Engine::Quit() {
  CheckCanStart(Pop3Request::Quit, "QUIT");
  if (link_ == Link::Up) {
    Begin(Pop3Request::Quit, {Step::Quit});
  } else {
    Begin(Pop3Request::Quit, {});
  }
}

void Pop3Engine::Begin(Pop3Request request, std::initializer_list<Step> steps) {
  running_ = true;
  request_ = request;
  steps_.assign(steps.begin(), steps.end());
  awaitingReply_ = false;
  inMultiLine_ = false;
  lastResponse_.clear();
  StartStep();
}

void Pop3Engine::StartStep() {
  if (steps_.empty()) {
    EndRequest(0);
    return;
  }
  switch (steps_.front()) {
    case Step::Connect:
      link_ = Link::Connecting;
      timeStamp_.clear();
      EmitConnect();
      return;
    case Step::User:
      Command("USER " + userName_);
      return;
    case Step::Pass:
      Command("PASS " + passWord_);
      return;
    case Step::Stat:
      Command("STAT");
      return;
    case Step::List:
      Command(argument_ > 0 ? "LIST " + std::to_string(argument_) : "LIST");
      return;
    case Step::Retr:
      Command("RETR " + std::to_string(argument_));
      return;
    case Step::Quit:
      Command("QUIT");
      return;
  }
}

void Pop3Engine::Command(std::string line) {
  EmitSend(line);
  awaitingReply_ = true;
}

void Pop3Engine::Connected() {
  if (!running_ || link_ != Link::Connecting) return;
  link_ = Link::Up;
  awaitingReply_ = true;  // the greeting
}

void Pop3Engine::ReceiveLine(std::string_view line) {
  if (!running_ || !awaitingReply_) return;
  if (inMultiLine_) {
    HandleFollowingLine(line);
    return;
  }
  lastResponse_ = std::string(line);
  awaitingReply_ = false;
  HandleFirstLine(line);
}

void Pop3Engine::HandleFirstLine(std::string_view line) {
  const bool ok = IsSuccess(line);
  switch (steps_.front()) {
    case Step::Connect:
      if (!ok) {
        EmitClose();
        link_ = Link::Down;
        EndRequest(500);
        return;
      }
      if (const auto open = line.find('<'); open != std::string_view::npos) {
        if (const auto close = line.find('>', open); close != std::string_view::npos) {
          timeStamp_ = std::string(line.substr(open + 1, close - open - 1));
        }
      }
      state_ = Pop3State::WaitUser;
      NextStep();
      return;
    case Step::User:
      if (!ok) return EndRequest(500);
      state_ = Pop3State::WaitPassword;
      NextStep();
      return;
    case Step::Pass:
      if (!ok) {
        // The server expects the user name again.
        state_ = Pop3State::WaitUser;
        return EndRequest(500);
      }
      state_ = Pop3State::Transaction;
      NextStep();
      return;
    case Step::Stat: {
      if (!ok) return EndRequest(500);
      const auto [count, size] = ReplyNumbers(line);
      msgCount_ = count;
      mailboxSize_ = size;
      NextStep();
      return;
    }
    case Step::List:
      if (!ok) return EndRequest(500);
      if (argument_ > 0) {
        // The one message asked for is listed on the status line itself.
        EmitListLine(line);
        NextStep();
        return;
      }
      inMultiLine_ = true;
      awaitingReply_ = true;
      return;
    case Step::Retr:
      if (!ok) return EndRequest(500);
      inMultiLine_ = true;
      awaitingReply_ = true;
      return;
    case Step::Quit:
      EmitClose();
      link_ = Link::Down;
      state_ = Pop3State::Disconnected;
      if (!ok) return EndRequest(500);
      NextStep();
      return;
  }
}

void Pop3Engine::HandleFollowingLine(std::string_view line) {
  if (line == ".") {
    inMultiLine_ = false;
    awaitingReply_ = false;
    NextStep();
    return;
  }
  if (steps_.front() == Step::List) {
    lastResponse_ = std::string(line);
    EmitListLine(line);
    return;
  }
  lastResponse_ = std::string(line.starts_with("..") ? line.substr(1) : line);
  EmitEvent(MailOutput{MailOutput::Kind::MessageLine, lastResponse_});
}

void Pop3Engine::EmitListLine(std::string_view line) {
  MailOutput listed{MailOutput::Kind::ListLine, std::string(line)};
  std::tie(listed.msgNum, listed.msgSize) = ReplyNumbers(line);
  msgNum_ = listed.msgNum;
  msgSize_ = listed.msgSize;
  EmitEvent(std::move(listed));
}

void Pop3Engine::NextStep() {
  steps_.pop_front();
  StartStep();
}

void Pop3Engine::EndRequest(int error) {
  running_ = false;
  awaitingReply_ = false;
  inMultiLine_ = false;
  steps_.clear();
  EmitDone(static_cast<int>(request_), error);
}

void Pop3Engine::Closed() {
  ConnectionEnded("-ERR Disconneced unexpectedly");
}

void Pop3Engine::Failed(std::string_view reason) {
  // Before the connection stood the reason says why it never did; later it is a lost connection.
  ConnectionEnded(link_ == Link::Connecting ? "-ERR " + OneLine(reason)
                                            : "-ERR Disconneced unexpectedly");
}

void Pop3Engine::ConnectionEnded(std::string response) {
  link_ = Link::Down;
  state_ = Pop3State::Disconnected;
  if (!running_) return;
  lastResponse_ = std::move(response);
  EndRequest(500);
}

void Pop3Engine::TimedOut() {
  const std::string awaited = Awaiting();
  if (!awaited.empty()) Stop("Timeout waiting for " + awaited);
}

void Pop3Engine::Stop(std::string_view reason) {
  if (link_ != Link::Down) EmitClose();
  link_ = Link::Down;
  state_ = Pop3State::Disconnected;
  if (!running_) return;
  lastResponse_ = "-ERR " + OneLine(reason);
  EndRequest(500);
}

void Pop3Engine::Abort() {
  DropOutputs();
  link_ = Link::Down;
  state_ = Pop3State::Disconnected;
  running_ = false;
  awaitingReply_ = false;
  inMultiLine_ = false;
  steps_.clear();
}

std::string Pop3Engine::Awaiting() const {
  if (!running_ || steps_.empty()) return {};
  if (link_ == Link::Connecting) return "the connection";
  if (!awaitingReply_) return {};
  switch (steps_.front()) {
    case Step::Connect:
      return "the greeting";
    case Step::User:
      return "the reply to USER";
    case Step::Pass:
      return "the reply to PASS";
    case Step::Stat:
      return "the reply to STAT";
    case Step::List:
      return inMultiLine_ ? "the rest of the list" : "the reply to LIST";
    case Step::Retr:
      return inMultiLine_ ? "the rest of the message" : "the reply to RETR";
    case Step::Quit:
      return "the reply to QUIT";
  }
  return {};
}

}  // namespace velora
