// The loaders of "users.txt" and "resfdbck.txt" on any bytes: they either fail with their own
// error or give tables that survive a save and a load unchanged. Values with a carriage return in
// them are blanked on writing (the one change a save makes), so from the first save on the bytes
// stay the same.
#include <cstdint>
#include <string>

#include "fuzz_input.h"
#include "store/feedback_format.h"
#include "store/users_format.h"

namespace velora {
namespace {

bool HasCr(const std::string& value) {
  return value.find('\r') != std::string::npos;
}

bool AnyCr(const UserTable& users) {
  for (const Tuserdata& u : users) {
    for (const std::string* v :
         {&u.Name, &u.Password, &u.Pop3User, &u.Pop3Host, &u.Pop3Password, &u.ReplyTo, &u.SmtpHost,
          &u.SmtpUser, &u.SmtpPassword, &u.FromHeader}) {
      if (HasCr(*v)) return true;
    }
    for (const Tmessage& m : u.Messages) {
      if (HasCr(m.Sender) || HasCr(m.Text) || HasCr(m.Time)) return true;
    }
  }
  return false;
}

bool AnyCr(const FeedbackList& feedback) {
  for (const TFeedback& f : feedback) {
    if (HasCr(f.Author) || HasCr(f.Text) || HasCr(f.Time)) return true;
  }
  return false;
}

bool Same(const UserTable& a, const UserTable& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const Tuserdata& x = a[i];
    const Tuserdata& y = b[i];
    if (x.Name != y.Name || x.Password != y.Password || x.IsAdmin != y.IsAdmin ||
        x.Pop3User != y.Pop3User || x.Pop3Host != y.Pop3Host || x.Pop3Password != y.Pop3Password ||
        x.ReplyTo != y.ReplyTo || x.SmtpHost != y.SmtpHost || x.SmtpUser != y.SmtpUser ||
        x.SmtpPassword != y.SmtpPassword || x.FromHeader != y.FromHeader || x.Online || y.Online ||
        x.Messages.size() != y.Messages.size()) {
      return false;
    }
    for (std::size_t j = 0; j < x.Messages.size(); ++j) {
      const Tmessage& m = x.Messages[j];
      const Tmessage& n = y.Messages[j];
      if (m.Sender != n.Sender || m.Text != n.Text || m.Time != n.Time || m.Read != n.Read) {
        return false;
      }
    }
  }
  return true;
}

bool Same(const FeedbackList& a, const FeedbackList& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i].Author != b[i].Author || a[i].Text != b[i].Text || a[i].Time != b[i].Time) {
      return false;
    }
  }
  return true;
}

void Users(const std::string& bytes) {
  UserTable users;
  std::int32_t uptime = 0;
  try {
    ParseUsersFile(bytes, users, uptime);
  } catch (const UserFileError&) {
    return;
  }
  const std::string saved = FormatUsersFile(users, uptime);
  UserTable again;
  std::int32_t uptimeAgain = 0;
  try {
    ParseUsersFile(saved, again, uptimeAgain);
  } catch (const UserFileError& e) {
    FUZZ_CHECK(false, std::string("a saved users.txt does not load: ") + e.what());
  }
  FUZZ_CHECK(uptimeAgain == uptime, "uptime");
  FUZZ_CHECK(AnyCr(users) || Same(users, again), "accounts changed by a save and a load");
  FUZZ_CHECK(FormatUsersFile(again, uptimeAgain) == saved, "a second save differs");
}

void Feedback(const std::string& bytes) {
  const FeedbackList feedback = ParseFeedbackFile(bytes);
  const std::string saved = FormatFeedbackFile(feedback);
  const FeedbackList again = ParseFeedbackFile(saved);
  FUZZ_CHECK(AnyCr(feedback) || Same(feedback, again), "feedback changed by a save and a load");
  FUZZ_CHECK(FormatFeedbackFile(again) == saved, "a second save differs");
}

}  // namespace
}  // namespace velora

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  velora::fuzz::FuzzInput in(data, size);
  const bool feedback = in.Flag();
  const std::string bytes = in.Rest();
  if (feedback) {
    velora::Feedback(bytes);
  } else {
    velora::Users(bytes);
  }
  return 0;
}
