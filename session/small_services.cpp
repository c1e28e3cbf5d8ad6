// Small services: date and time, the message of the day, the dictionary and the feedback box.
// The resource files are read anew at each use, so a changed file counts at once.
#include <optional>
#include <string>

#include "common/constants.h"
#include "common/cp1252.h"
#include "session/context.h"
#include "session/service_table.h"
#include "store/resource_files.h"

namespace velora {

namespace {

// A random line of the message-of-the-day file; nothing after an error report.
std::optional<std::string> RandomResourceLine(ServiceSession& session) {
  const SessionContext& ctx = session.Context();
  const std::string path = ctx.settings.ContentDir + std::string(MotdResource.file);
  TAoS lines;
  if (!ReadContentLines(path, lines)) {
    session.ServerError("Fehler beim Laden von " + path);
    return std::nullopt;
  }
  const std::optional<std::size_t> index = PickResourceLine(lines.size(), ctx.random.Uniform());
  if (!index) {
    session.ServerError("Kein Spruch des Tages in " + path);
    return std::nullopt;
  }
  return lines[*index];
}

// Without a dictionary file every word is simply not found.
void Translate(ServiceSession& session, DictionaryDirection direction) {
  const SessionContext& ctx = session.Context();
  const std::string word = session.GetInputValue(TempInput);
  TAoS lines;
  ReadContentLines(ctx.settings.ContentDir + std::string(DictionaryResource.file), lines);
  const std::optional<DictionaryEntry> entry = LookupDictionary(lines, word, direction);
  if (!entry) {
    session.ShowMessageScreen(word + " wurde leider nicht gefunden.", session.CurrentPageId());
    return;
  }
  const std::string_view language = direction == DictionaryDirection::GermanToEnglish
                                        ? "\nheißt auf Englisch\n"_cp
                                        : "\nheißt auf Deutsch\n"_cp;
  session.ShowMessageScreen(entry->word + std::string(language) + entry->translation,
                            session.CurrentPageId());
}

}  // namespace

void ShowTime(ServiceSession& session, const TAction&) {
  const DateTime now = session.Context().clock.LocalNow();
  session.ShowMessageScreen("Heute ist der " + FormatShortDate(now) + ".\nEs ist jetzt " +
                                FormatLongTime(now).substr(0, 5) + ".",
                            session.CurrentPageId());
}

void ShowMotd(ServiceSession& session, const TAction&) {
  const std::optional<std::string> line = RandomResourceLine(session);
  if (!line) return;
  session.ShowMessageScreen(*line, EntertainmentMenu);
}

void TranslateDe(ServiceSession& session, const TAction&) {
  Translate(session, DictionaryDirection::GermanToEnglish);
}

void TranslateEd(ServiceSession& session, const TAction&) {
  Translate(session, DictionaryDirection::EnglishToGerman);
}

void ListFeedback(ServiceSession& session, const TAction&) {
  const FeedbackList& feedback = session.Context().feedback;
  std::vector<TLMenuItem> items;
  items.reserve(feedback.size() + 1);
  for (std::size_t i = 0; i < feedback.size(); ++i) {
    items.push_back(
        ListItem(session, feedback[i].Text, "IDShowFeedback", static_cast<std::int32_t>(i)));
  }
  items.push_back(ListItem(session, "zurück"_cp, FeedbackMenu));
  session.OpenLongMenu("Feedback lesen", std::move(items));
}

void ShowFeedback(ServiceSession& session, const TAction& action) {
  const FeedbackList& feedback = session.Context().feedback;
  const std::int32_t i = action.Param;
  if (i < 0 || static_cast<std::size_t>(i) >= feedback.size()) {
    session.ServerError("Feedback existiert nicht mehr.");
    return;
  }
  const TFeedback& entry = feedback[static_cast<std::size_t>(i)];
  session.ShowMessageScreen("Feedback " + std::to_string(i + 1) + " von " + entry.Author + " um " +
                                entry.Time + ":\n" + entry.Text,
                            "IDListFeedback");
}

void SaveFeedback(ServiceSession& session, const TAction&) {
  if (OwnAccount(session) == nullptr) return;
  const SessionContext& ctx = session.Context();
  TFeedback entry;
  entry.Author = session.UserName();
  entry.Text = session.GetInputValue(TempInput);
  entry.Time = FormatDateTimeC(ctx.clock.LocalNow());
  ctx.feedback.push_back(std::move(entry));
  Changed(session);
  session.ShowMessageScreen("Vielen Dank für Deinen Beitrag!"_cp, FeedbackMenu);
}

}  // namespace velora
