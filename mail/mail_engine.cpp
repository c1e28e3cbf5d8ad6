// The shared part of the mail engines and the text helpers of their command lines.
#include "mail/mail_engine.h"

#include <utility>

namespace velora {

std::vector<MailOutput> MailEngine::TakeOutputs() {
  return std::exchange(outputs_, {});
}

void MailEngine::EmitConnect() {
  outputs_.push_back(MailOutput{MailOutput::Kind::Connect, {}});
}

void MailEngine::EmitSend(std::string_view line) {
  outputs_.push_back(MailOutput{MailOutput::Kind::Send, OneLine(line)});
}

void MailEngine::EmitClose() {
  outputs_.push_back(MailOutput{MailOutput::Kind::Close, {}});
}

void MailEngine::EmitDone(int request, int error) {
  MailOutput done{MailOutput::Kind::Done, {}};
  done.request = request;
  done.error = error;
  outputs_.push_back(std::move(done));
}

std::string OneLine(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  bool inBreak = false;
  for (char c : text) {
    const bool lineBreak = c == '\r' || c == '\n';
    if (lineBreak && !inBreak) out += ' ';
    if (!lineBreak) out += c;
    inBreak = lineBreak;
  }
  return out;
}

std::string TrimBlanks(std::string_view text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(" \t");
  return std::string(text.substr(first, last - first + 1));
}

bool IsBlank(std::string_view text) {
  return text.find_first_not_of(" \t") == std::string_view::npos;
}

std::vector<std::string> SplitAnyLineBreaks(std::string_view text) {
  std::vector<std::string> lines(1);
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c != '\r' && c != '\n') {
      lines.back() += c;
      continue;
    }
    if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    lines.emplace_back();
  }
  return lines;
}

}  // namespace velora
