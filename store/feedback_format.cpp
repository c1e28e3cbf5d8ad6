// Writing and reading "resfdbck.txt".
#include "store/feedback_format.h"

#include <utility>

#include "store/text_lines.h"

namespace velora {

std::string FormatFeedbackFile(const FeedbackList& feedback) {
  TextLineWriter out;
  for (const TFeedback& entry : feedback) {
    out.WriteLn(entry.Author);
    out.WriteLn(entry.Text);
    out.WriteLn(entry.Time);
  }
  return out.Bytes();
}

FeedbackList ParseFeedbackFile(std::string bytes) {
  TextLineReader in(std::move(bytes));
  FeedbackList list;
  while (!in.AtEnd()) {
    TFeedback entry;
    entry.Author = in.ReadLnOrEmpty();
    entry.Text = in.ReadLnOrEmpty();
    entry.Time = in.ReadLnOrEmpty();
    list.push_back(std::move(entry));
  }
  return list;
}

}  // namespace velora
