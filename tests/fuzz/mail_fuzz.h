// What the SMTP and POP3 fuzz targets check of every batch of outputs, whatever came in.
#pragma once

#include <string>
#include <vector>

#include "fuzz_input.h"
#include "mail/mail_engine.h"

namespace velora::fuzz {

// At most one Done, after the other outputs, and then the engine is free; a free engine waits for
// nothing; no line sent can carry a second command.
inline void CheckOutputs(const std::vector<MailOutput>& outputs, const MailEngine& engine) {
  int done = 0;
  bool closed = false;
  for (std::size_t i = 0; i < outputs.size(); ++i) {
    const MailOutput& o = outputs[i];
    if (o.kind == MailOutput::Kind::Done) {
      ++done;
      FUZZ_CHECK(i + 1 == outputs.size(), "an output after Done");
      FUZZ_CHECK(!engine.Busy(), "busy after Done");
    }
    if (o.kind == MailOutput::Kind::Send) {
      FUZZ_CHECK(o.line.find_first_of("\r\n") == std::string::npos, "a line break sent");
      FUZZ_CHECK(!closed, "a line sent after the close");
    }
    closed = closed || o.kind == MailOutput::Kind::Close;
  }
  FUZZ_CHECK(done <= 1, "two Done outputs for one input");
  FUZZ_CHECK(engine.Busy() || engine.Awaiting().empty(), "waits for " + engine.Awaiting());
}

inline const MailOutput* DoneOf(const std::vector<MailOutput>& outputs) {
  return !outputs.empty() && outputs.back().kind == MailOutput::Kind::Done ? &outputs.back()
                                                                           : nullptr;
}

}  // namespace velora::fuzz
