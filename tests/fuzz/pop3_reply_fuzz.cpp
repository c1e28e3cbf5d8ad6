// The POP3 engine fed any reply lines and connection events in any state, between requests of
// every kind.
#include <cstdint>
#include <string>

#include "mail/pop3_engine.h"
#include "mail_fuzz.h"

namespace velora {
namespace {

using fuzz::FuzzInput;

const char* const kStarts[] = {"+OK", "+OK ", "-ERR", ".", "..", "+", "", "1 ", "2 120"};
const char* const kTexts[] = {
    "", " 2 320", "<1.2@host>", "99999999999999 7", "x\r\ny", ".", "3\t4096", " <>", "-1 -2", "<"};

std::string Text(FuzzInput& in) {
  return in.Flag() ? in.PickOf(kTexts) : in.Text(40);
}

Pop3Properties Properties(FuzzInput& in) {
  Pop3Properties p;
  p.UserName = Text(in);
  p.PassWord = Text(in);
  return p;
}

std::string ReplyLine(FuzzInput& in) {
  if (in.Pick(8) == 0) return in.Text(60);
  return in.PickOf(kStarts) + Text(in);
}

int Number(FuzzInput& in) {
  const int choices[] = {0, 1, 2, -1, 2147483647};
  return in.Flag() ? in.PickOf(choices) : in.Byte();
}

}  // namespace
}  // namespace velora

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace velora;
  FuzzInput in(data, size);
  Pop3Engine engine;
  Pop3Request running = Pop3Request::Open;
  for (int step = 0; step < 500 && !in.Empty(); ++step) {
    try {
      switch (in.Pick(16)) {
        case 0:
          engine.Open(Properties(in));
          running = Pop3Request::Open;
          break;
        case 1:
          engine.User(Properties(in));
          running = Pop3Request::User;
          break;
        case 2:
          engine.Pass(Properties(in));
          running = Pop3Request::Pass;
          break;
        case 3:
          engine.Status();
          running = Pop3Request::Status;
          break;
        case 4:
          engine.List(Number(in));
          running = Pop3Request::List;
          break;
        case 5:
          engine.Retrieve(Number(in));
          running = Pop3Request::Retrieve;
          break;
        case 6:
          engine.Quit();
          running = Pop3Request::Quit;
          break;
        case 7:
          engine.Connected();
          break;
        case 8:
          engine.Closed();
          break;
        case 9:
          engine.Failed(Text(in));
          break;
        case 10:
          engine.TimedOut();
          break;
        case 11:
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
      if (o.kind == MailOutput::Kind::ListLine) {
        FUZZ_CHECK(running == Pop3Request::List, "a listed message outside LIST");
      }
      if (o.kind == MailOutput::Kind::MessageLine) {
        FUZZ_CHECK(running == Pop3Request::Retrieve, "a message line outside RETR");
      }
    }
    if (const MailOutput* done = fuzz::DoneOf(outputs)) {
      FUZZ_CHECK(done->request == static_cast<int>(running), "Done for another request");
      FUZZ_CHECK(done->error == 0 || done->error == 500, "error " + std::to_string(done->error));
      if (done->error == 0 && (running == Pop3Request::Open || running == Pop3Request::Pass)) {
        FUZZ_CHECK(engine.State() == Pop3State::Transaction, "open without the transaction state");
      }
      if (running == Pop3Request::Quit) {
        FUZZ_CHECK(engine.State() == Pop3State::Disconnected, "connected after quit");
      }
    }
    FUZZ_CHECK(engine.MsgCount() >= 0 && engine.MailboxSize() >= 0, "negative counts");
  }
  return 0;
}
