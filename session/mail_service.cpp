// E-mail: sending through the user's SMTP server, fetching the newest mails of the user's POP3
// mailbox, the inbox list, reading, the next mail and answering one. A conversation's events
// arrive while the polling cycle waits; each comes back to the session as a command through the
// server's front door, so no client ever holds the session itself.
#include <algorithm>
#include <exception>
#include <memory>
#include <string>

#include "common/cp1252.h"
#include "mail/mail_engine.h"
#include "mail/pop3_client.h"
#include "mail/smtp_client.h"
#include "session/context.h"
#include "session/service_table.h"

namespace velora {

namespace {

inline constexpr std::string_view NoMailText = "Mail existiert nicht mehr.";
inline constexpr std::size_t HeaderValueMax = 100;
// A calculator shows a few screens of a mail, not megabytes: the rest of its text is dropped.
inline constexpr std::size_t MailTextMax = 4096;

// The header line's text after its first blank, or the line itself without one, cut short.
std::string HeaderValue(const std::string& line) {
  const std::size_t blank = line.find(' ');
  return blank == std::string::npos ? line.substr(0, HeaderValueMax)
                                    : line.substr(blank + 1, HeaderValueMax);
}

// One retrieved mail as its lines arrive: the header values the inbox shows and the start of
// the body; whatever comes beyond is read and dropped at once, however much the server sends.
class MailIntake {
 public:
  void Line(const std::string& line) {
    if (!headerMode_) {
      const std::size_t room = MailTextMax - std::min(MailTextMax, mail_.Text.size());
      if (line.size() > room) cut_ = true;
      mail_.Text.append(line, 0, room);
      return;
    }
    if (line.empty()) {
      headerMode_ = false;  // the body begins
      return;
    }
    // Anywhere in the line and case-sensitive, in this order; a later line overwrites.
    const auto has = [&line](std::string_view word) {
      return line.find(word) != std::string::npos;
    };
    if (has("Subject")) {
      mail_.Subject = HeaderValue(line);
    } else if (has("From")) {
      mail_.From = HeaderValue(line);
    } else if (has("Date")) {
      mail_.Date = HeaderValue(line);
    } else if (has("Return-Path") || has("Reply-To")) {
      mail_.ReplyTo = HeaderValue(line);
    }
  }
  // The mail so far, its text marked when it was cut; the next line begins the next mail.
  TMail Take() {
    if (cut_) mail_.Text += "\n[gekürzt]"_cp;
    TMail mail = std::move(mail_);
    *this = MailIntake();
    return mail;
  }

 private:
  TMail mail_;
  bool headerMode_ = true;
  bool cut_ = false;
};

struct SmtpJob : MailJob {
  explicit SmtpJob(const MailPorts& ports) : client(ports) {}
  SmtpClient client;
};

// The client's events fill the intake and filter the list as they arrive, so that a server
// sending without end costs neither memory nor a command per line.
struct Pop3Job : MailJob {
  explicit Pop3Job(const MailPorts& ports) : client(ports) {}
  MailIntake intake;
  int listFirst = 1;  // the listed messages the fetch will use, known from the status
  int listLast = 0;
  int listed = 0;
  Pop3Client client;  // last: gone before what its events use
};

// The session's running conversation of that kind, if it is still the one numbered `serial`.
template <class Job>
Job* Running(ServiceSession& session, std::uint64_t serial) {
  ServiceState& state = session.State();
  if (state.MailSerial != serial) return nullptr;
  return dynamic_cast<Job*>(state.Mail.get());
}

// Sends the handler back to the session as a command; it runs only while the conversation that
// posted it is still the session's own.
template <class Job, class Handler>
void PostToSession(SessionCommands& commands, SessionId id, std::uint64_t serial, Handler handler) {
  commands.Post(id, [serial, handler = std::move(handler)](ServiceSession& session) {
    if (Job* job = Running<Job>(session, serial)) handler(session, *job);
  });
}

// Released from a command the front door applies, never from inside the client's own events.
void EndConversation(ServiceSession& session) {
  session.State().Mail.reset();
}

// A conversation that failed: counted, ended, and the error shown. The text is taken before the
// conversation, which may own what it was made from, is gone.
void FailConversation(ServiceSession& session, MailKind kind, const std::string& text) {
  session.Context().CountMail(kind, false);
  EndConversation(session);
  session.ServerError(text);
}

// One conversation at a time: a second one would only compete with the first for the screen.
bool Busy(ServiceSession& session) {
  const MailJob* job = session.State().Mail.get();
  if (job == nullptr) return false;
  session.ShowMessageScreen(dynamic_cast<const Pop3Job*>(job) != nullptr
                                ? "Es läuft schon ein Mail-Abruf."_cp
                                : "Es läuft schon ein Mail-Versand."_cp,
                            MailMenu);
  return true;
}

bool MailAvailable(ServiceSession& session) {
  const SessionContext& ctx = session.Context();
  if (ctx.mail != nullptr && ctx.commands != nullptr && session.Id() != 0) return true;
  session.ServerError("E-Mail ist auf diesem Server nicht eingerichtet.");
  return false;
}

TMail* MailBeingFetched(ServiceState& state) {
  if (state.MailFetchIndex < 0 ||
      static_cast<std::size_t>(state.MailFetchIndex) >= state.Mails.size()) {
    return nullptr;
  }
  return &state.Mails[static_cast<std::size_t>(state.MailFetchIndex)];
}

// --- Sending.

void SmtpRequestDone(ServiceSession& session, SmtpJob& job, SmtpRequest request, int error) {
  SmtpClient& client = job.client;
  if (error != 0) {
    FailConversation(session, MailKind::Sent, "SMTP-Fehler:\n" + client.LastResponse());
    return;
  }
  try {
    switch (request) {
      case SmtpRequest::Open: {
        const Tuserdata* account = session.Account();
        if (account == nullptr) throw MailError("Dein Nutzername existiert nicht.");
        client.FromName = account->SmtpUser;
        client.HdrFrom = account->FromHeader;
        client.HdrReplyTo = account->ReplyTo;
        client.HdrSubject = session.GetInputValue(EmailSubjInput);
        client.HdrTo = session.GetInputValue(EmailRcptInput);
        client.MailMessage = {session.GetInputValue(EmailTextInput)};
        client.RcptName = {session.GetInputValue(EmailRcptInput)};
        client.Mail();
        return;
      }
      case SmtpRequest::Mail:
        client.Quit();
        return;
      case SmtpRequest::Quit:
        session.Context().CountMail(MailKind::Sent, true);
        EndConversation(session);
        session.ShowMessageScreen("Die Mail wurde erfolgreich versendet.", MailMenu);
        return;
      default:
        return;
    }
  } catch (const std::exception& e) {
    FailConversation(session, MailKind::Sent,
                     "Ausnahmefehler beim SMTP-Zugriff." + std::string(e.what()));
  }
}

void SmtpSend(ServiceSession& session, const Tuserdata& account) {
  const SessionContext& ctx = session.Context();
  auto job = std::make_unique<SmtpJob>(*ctx.mail);
  SmtpClient& client = job->client;
  client.Host = account.SmtpHost;
  client.Username = account.SmtpUser;
  client.Password = account.SmtpPassword;
  client.Port = "smtp";
  client.AuthType = SmtpAuthType::smtpAuthLogin;
  const std::uint64_t serial = session.State().MailSerial + 1;
  client.OnRequestDone = [&commands = *ctx.commands, id = session.Id(), serial](SmtpRequest request,
                                                                                int error) {
    PostToSession<SmtpJob>(commands, id, serial,
                           [request, error](ServiceSession& s, SmtpJob& running) {
                             SmtpRequestDone(s, running, request, error);
                           });
  };
  try {
    client.Open();
  } catch (const std::exception& e) {
    session.ServerError("Exception on opening smtp connection\n" + std::string(e.what()));
    return;
  }
  session.State().MailSerial = serial;
  session.State().Mail = std::move(job);
}

// --- Fetching.

void Pop3ListLine(ServiceSession& session, int msgNum, int msgSize) {
  session.LogText("Mail " + std::to_string(msgNum) + std::string(" Länge:"_cp) +
                  std::to_string(msgSize));
}

// The first message the fetch takes: the newest MaxMailCount + 1, a negative limit counting as
// none.
int FirstToFetch(ServiceSession& session, int count) {
  return std::max(1, count - std::max(0, session.Context().settings.MaxMailCount));
}

void Pop3RequestDone(ServiceSession& session, Pop3Job& job, Pop3Request request, int error) {
  Pop3Client& client = job.client;
  ServiceState& state = session.State();
  if (error != 0) {
    FailConversation(session, MailKind::Fetched, "POP3-Fehler:\n" + client.LastResponse());
    return;
  }
  try {
    switch (request) {
      case Pop3Request::Open:
        client.Status();
        return;
      case Pop3Request::Status:
        job.listFirst = FirstToFetch(session, client.MsgCount());
        job.listLast = client.MsgCount();
        client.MsgNum = 0;
        client.List();
        return;
      case Pop3Request::List: {
        const int count = client.MsgCount();
        client.MsgNum = FirstToFetch(session, count);
        state.Mails.assign(static_cast<std::size_t>(count - client.MsgNum + 1), TMail{});
        state.MailFetchIndex = 0;
        job.intake = MailIntake();
        if (count == 0) {
          client.Quit();
        } else {
          client.Retrieve();
        }
        return;
      }
      case Pop3Request::Retrieve:
        session.Context().CountMail(MailKind::Fetched, true);
        if (TMail* mail = MailBeingFetched(state)) *mail = job.intake.Take();
        ++client.MsgNum;
        ++state.MailFetchIndex;
        if (client.MsgNum > client.MsgCount()) {
          client.Quit();
        } else {
          client.Retrieve();
        }
        return;
      case Pop3Request::Quit:
        EndConversation(session);
        session.ShowMessageScreen("Der POP3-Posteingang wurde erfolgreich abgerufen.",
                                  "IDPosteingang");
        return;
      default:
        return;
    }
  } catch (const std::exception& e) {
    FailConversation(session, MailKind::Fetched,
                     "Ausnahmefehler beim POP3-Zugriff." + std::string(e.what()));
  }
}

void Pop3Fetch(ServiceSession& session, const Tuserdata& account) {
  const SessionContext& ctx = session.Context();
  auto job = std::make_unique<Pop3Job>(*ctx.mail);
  Pop3Client& client = job->client;
  client.Host = account.Pop3Host;
  client.UserName = account.Pop3User;
  client.PassWord = account.Pop3Password;
  client.Port = "pop3";
  const std::uint64_t serial = session.State().MailSerial + 1;
  SessionCommands& commands = *ctx.commands;
  const SessionId id = session.Id();
  client.OnRequestDone = [&commands, id, serial](Pop3Request request, int error) {
    PostToSession<Pop3Job>(commands, id, serial,
                           [request, error](ServiceSession& s, Pop3Job& running) {
                             Pop3RequestDone(s, running, request, error);
                           });
  };
  Pop3Job& running = *job;
  client.OnListLine = [&commands, id, serial, &running](int msgNum, int msgSize) {
    // Only the messages the fetch takes, and no more lines than those, however many come.
    if (msgNum < running.listFirst || msgNum > running.listLast ||
        running.listed > running.listLast - running.listFirst) {
      return;
    }
    ++running.listed;
    PostToSession<Pop3Job>(commands, id, serial, [msgNum, msgSize](ServiceSession& s, Pop3Job&) {
      Pop3ListLine(s, msgNum, msgSize);
    });
  };
  client.OnMessageLine = [&running](const std::string& line) { running.intake.Line(line); };
  try {
    client.Open();
  } catch (const std::exception& e) {
    session.ServerError("Exception on opening pop3 connection\n" + std::string(e.what()));
    return;
  }
  session.State().MailSerial = serial;
  session.State().Mail = std::move(job);
}

// The text of a mail on display; `textBreak` goes between "Text:" and the text.
void ShowMailText(ServiceSession& session, std::int32_t index, std::string_view textBreak) {
  const TMail& mail = session.State().Mails[static_cast<std::size_t>(index)];
  session.ShowMessageScreen("Mail " + std::to_string(index + 1) + "\nvon: " + mail.From +
                                "\ngesendet: " + mail.Date + "\nBetreff:" + mail.Subject +
                                "\nText:" + std::string(textBreak) + mail.Text,
                            AfterShowMail);
}

}  // namespace

void SendMail(ServiceSession& session, const TAction&) {
  const Tuserdata* account = OwnAccount(session);
  if (account == nullptr) return;
  if (session.GetInputValue(EmailTextInput).empty()) {
    session.ShowMessageScreen("Du hast noch keinen Text eingegeben.", EnterMailText);
    return;
  }
  const std::string recipient = session.GetInputValue(EmailRcptInput);
  if (recipient.empty()) {
    session.ShowMessageScreen("Du hast noch keinen Empfänger eingegeben."_cp, EnterMailText);
    return;
  }
  if (Busy(session) || !MailAvailable(session)) return;
  // One line in the event list, whatever line breaks the typed address holds.
  session.Context().log.MainLog(session.UserName() + " sendet eine Mail an " + OneLine(recipient),
                                false);
  SmtpSend(session, *account);
}

void GetMail(ServiceSession& session, const TAction&) {
  const Tuserdata* account = OwnAccount(session);
  if (account == nullptr || Busy(session) || !MailAvailable(session)) return;
  Pop3Fetch(session, *account);
}

void SendSms(ServiceSession& session, const TAction&) {
  session.ServerError("SMS konnte nicht gesendet werden: Option nicht verfügbar."_cp);
}

void ListInbox(ServiceSession& session, const TAction&) {
  const std::vector<TMail>& mails = session.State().Mails;
  std::vector<TLMenuItem> items(mails.size() + 1);
  // Newest first: the mail fetched last stands at the top.
  for (std::size_t i = 0; i < mails.size(); ++i) {
    const std::string& subject = mails[i].Subject;
    items[mails.size() - 1 - i] =
        ListItem(session, subject.empty() ? std::string("<kein Betreff>") : subject, "IDShowMail",
                 static_cast<std::int32_t>(i));
  }
  items.back() = ListItem(session, "zurück"_cp, MailMenu);
  session.OpenLongMenu("E-Mails lesen", std::move(items));
}

void ShowMail(ServiceSession& session, const TAction& action) {
  ServiceState& state = session.State();
  if (state.Mails.empty()) {
    session.ServerError(NoMailText);
    return;
  }
  std::int32_t index = action.Param;
  if (index < 0 || static_cast<std::size_t>(index) >= state.Mails.size()) index = 0;
  state.CurrentMail = index;
  ShowMailText(session, index, "\n");
}

void NextMail(ServiceSession& session, const TAction&) {
  ServiceState& state = session.State();
  if (state.Mails.empty()) {
    session.ServerError(NoMailText);
    return;
  }
  std::int32_t index = state.CurrentMail < 0 ? 0 : state.CurrentMail + 1;
  if (static_cast<std::size_t>(index) >= state.Mails.size()) index = 0;
  state.CurrentMail = index;
  ShowMailText(session, index, "");
}

void ReplyMail(ServiceSession& session, const TAction&) {
  const ServiceState& state = session.State();
  const std::int32_t index = state.CurrentMail;
  if (index < 0 || static_cast<std::size_t>(index) >= state.Mails.size()) {
    session.ServerError(NoMailText);
    return;
  }
  const TMail mail = state.Mails[static_cast<std::size_t>(index)];
  session.PutInputValue(EmailRcptInput, mail.ReplyTo);
  session.PutInputValue(EmailSubjInput, "Re: " + mail.Subject);
  session.PutInputValue(EmailTextInput, "");
  if (mail.ReplyTo.empty()) {
    session.ShowMessageScreen("Keine Antwortadresse.", EnterMailRcpt);
    return;
  }
  session.LoadContentFile(WithTxt(EnterMailText));
}

}  // namespace velora
