// The SMTP engine fed any reply lines and connection events in any state, between requests of
// every kind with any addresses and bodies.
#include <cstdint>
#include <string>

#include "mail/smtp_engine.h"
#include "mail_fuzz.h"

namespace velora {
namespace {

using fuzz::FuzzInput;

const char* const kCodes[] = {"220", "250", "251", "334", "235", "354", "221",
                              "500", "550", "421", "2",   "",    "25x"};
const char* const kTexts[] = {"",        ".",          "..", "x\r\ny", "a@b", "<a@b>",
                              " <a@b> ", "Name <a@b>", "\r", "\n.\n",  ". ",  "ok"};

std::string Text(FuzzInput& in) {
  return in.Flag() ? in.PickOf(kTexts) : in.Text(40);
}

SmtpProperties Properties(FuzzInput& in) {
  SmtpProperties p;
  p.AuthType = in.Flag() ? SmtpAuthType::smtpAuthLogin : SmtpAuthType::smtpAuthNone;
  p.SignOn = Text(in);
  p.Username = Text(in);
  p.Password = Text(in);
  p.FromName = Text(in);
  for (std::size_t n = in.Pick(4); n > 0; --n)
    p.RcptName.push_back(Text(in));
  for (std::size_t n = in.Pick(5); n > 0; --n)
    p.MailMessage.push_back(Text(in));
  p.HdrFrom = Text(in);
  p.HdrTo = Text(in);
  p.HdrReplyTo = Text(in);
  p.HdrSubject = Text(in);
  p.HdrSender = Text(in);
  p.CharSet = Text(in);
  p.ContentType = in.Flag() ? SmtpContentType::smtpHtml : SmtpContentType::smtpPlainText;
  return p;
}

std::string ReplyLine(FuzzInput& in) {
  if (in.Pick(8) == 0) return in.Text(60);
  std::string line = in.PickOf(kCodes);
  line += in.PickOf({" ", "-", ""});
  return line + Text(in);
}

}  // namespace
}  // namespace velora

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace velora;
  FuzzInput in(data, size);
  SmtpEngine engine(in.Flag() ? "" : "pc.example");
  DateTime now{2026, 12, 6, 9, 7, 0, 0, in.Flag() ? 60 : -330, in.Flag()};
  for (int step = 0; step < 500 && !in.Empty(); ++step) {
    const bool wasConnected = engine.IsConnected();
    try {
      switch (in.Pick(14)) {
        case 0:
          engine.Open(Properties(in));
          break;
        case 1:
          engine.Auth(Properties(in));
          break;
        case 2:
          engine.Mail(Properties(in), now);
          break;
        case 3:
          engine.Quit();
          break;
        case 4:
          engine.Connected();
          break;
        case 5:
          engine.Closed();
          break;
        case 6:
          engine.Failed(Text(in));
          break;
        case 7:
          engine.TimedOut();
          break;
        case 8:
          engine.Abort();
          break;
        default:
          engine.ReceiveLine(ReplyLine(in));
          break;
      }
    } catch (const MailError&) {
      FUZZ_CHECK(engine.TakeOutputs().empty(), "a request that could not start gave outputs");
      continue;
    }
    const std::vector<MailOutput> outputs = engine.TakeOutputs();
    fuzz::CheckOutputs(outputs, engine);
    for (const MailOutput& o : outputs) {
      if (o.kind == MailOutput::Kind::Send)
        FUZZ_CHECK(wasConnected, "a line sent without a connection");
    }
    // The mail's end mark goes last: a "." inside the body is doubled.
    for (std::size_t i = 0; i + 1 < outputs.size(); ++i) {
      if (outputs[i].kind == MailOutput::Kind::Send && outputs[i].line == ".") {
        for (std::size_t j = i + 1; j < outputs.size(); ++j)
          FUZZ_CHECK(outputs[j].kind != MailOutput::Kind::Send, "a line after the end mark");
      }
    }
    if (const MailOutput* done = fuzz::DoneOf(outputs)) {
      if (done->request == static_cast<int>(SmtpRequest::Open) && done->error == 0) {
        FUZZ_CHECK(engine.IsConnected(), "opened without a connection");
      }
      if (done->request == static_cast<int>(SmtpRequest::Quit)) {
        FUZZ_CHECK(!engine.IsConnected(), "still connected after quit");
      }
    }
  }
  return 0;
}
