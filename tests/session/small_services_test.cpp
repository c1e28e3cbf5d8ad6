// Date and time, the message of the day, the dictionary and the feedback box, on both models.
#include <gtest/gtest.h>

#include <filesystem>

#include "common/constants.h"
#include "services_fixture.h"
#include "store/feedback_format.h"

namespace velora {
namespace {

using testing::Screen;

class SmallServicesTest : public testing::ServicesTest {
 protected:
  SmallServicesTest() {
    h.AddUser("ANNA");
    h.AddUser("BERT");
    Join("anna");
    Join("bert", 0x86);
  }
  std::string ContentFile(std::string_view name) {
    return h.settings.ContentDir + std::string(name);
  }
};

TEST_F(SmallServicesTest, TimeInGermanFormatsAndBackToThePage) {
  const struct {
    DateTime now;
    std::string text;
  } cases[] = {
      {{2026, 12, 6, 9, 7, 0, 0}, "Heute ist der 06.12.2026. Es ist jetzt 09:07."},
      {{2027, 1, 31, 23, 59, 59, 999}, "Heute ist der 31.01.2027. Es ist jetzt 23:59."},
  };
  for (const auto& c : cases) {
    h.clock.now = c.now;
    for (const std::string name : {"anna", "bert"}) {
      SCOPED_TRACE(name + " " + c.text);
      const Screen menu = Pick(name, C(name).Choose(0), "Unterhaltung");
      EXPECT_EQ(Words(name, Pick(name, menu, "Datum und Zeit")), Expected(name, c.text));
      EXPECT_EQ(Title(name, C(name).Key(0)), "Unterhaltung");
    }
  }
}

TEST_F(SmallServicesTest, MessageOfTheDayNeverPicksTheLastLine) {
  const struct {
    std::vector<std::string> lines;  // empty: no file
    double draw;
    std::string shown;
  } cases[] = {
      {{"Eins", "Zwei", "Drei"}, 0.0, "Eins"},
      {{"Eins", "Zwei", "Drei"}, 0.49, "Eins"},
      {{"Eins", "Zwei", "Drei"}, 0.5, "Zwei"},
      {{"Eins", "Zwei", "Drei"}, 0.999, "Zwei"},
      {{"Nur einer"}, 0.999, "Nur einer"},
      {{}, 0.0, "Fehler im Server Fehler beim Laden von " + ContentFile(MotdFile)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.shown + " " + std::to_string(c.draw));
    if (c.lines.empty()) {
      std::filesystem::remove(ContentFile(MotdFile));
    } else {
      h.Page(MotdFile, c.lines);
    }
    h.random.values = {c.draw};
    h.random.next = 0;
    EXPECT_EQ(Words("bert", Do("bert", "IDmotd")), Expected("bert", c.shown));
    EXPECT_EQ(Title("bert", C("bert").Key(0)),
              c.lines.empty() ? Calc("bert", "Hauptmenü"_cp) : "Unterhaltung");
  }
  h.Page(MotdFile, std::vector<std::string>{});
  EXPECT_EQ(Words("bert", Do("bert", "IDmotd")),
            Expected("bert", "Fehler im Server Kein Spruch des Tages in " + ContentFile(MotdFile)));
}

TEST_F(SmallServicesTest, DictionaryBothDirectionsCaseAndOddLines) {
  h.Page(DictionaryFile,
         {"Haus", "house", "häuser"_cp, "houses", "Bank", "bench", "Bank", "bank", "Ende"});
  const std::string toEnglish("heißt auf Englisch"_cp);
  const std::string toGerman("heißt auf Deutsch"_cp);
  const struct {
    const char* action;
    std::string word;
    std::string shown;
  } cases[] = {
      {"Deutsch-Engl.", "haus", "Haus " + toEnglish + " house"},
      {"Deutsch-Engl.", "HAUS", "Haus " + toEnglish + " house"},
      {"Englisch-Dt.", "HOUSE", "house " + toGerman + " Haus"},
      {"Deutsch-Engl.", std::string("häuser"_cp),
       std::string("häuser "_cp) + toEnglish + " houses"},
      {"Deutsch-Engl.", std::string("HÄUSER"_cp),
       std::string("HÄUSER wurde leider nicht gefunden."_cp)},
      {"Englisch-Dt.", "haus", "haus wurde leider nicht gefunden."},
      {"Deutsch-Engl.", "house", "house wurde leider nicht gefunden."},
      {"Deutsch-Engl.", "Haus ", "Haus wurde leider nicht gefunden."},
      {"Deutsch-Engl.", "bank", "Bank " + toEnglish + " bench"},
      {"Englisch-Dt.", "bank", "bank " + toGerman + " Bank"},
      {"Deutsch-Engl.", "ende", "Ende " + toEnglish},
      {"Englisch-Dt.", "", toGerman + " Ende"},
  };
  for (const auto& c : cases) {
    for (const std::string name : {"anna", "bert"}) {
      SCOPED_TRACE(name + " " + c.action + " " + c.word);
      const Screen input = Pick(name, Do(name, "menuwoerterbuch"), c.action);
      EXPECT_EQ(input.kind, KindInputScreen);
      EXPECT_EQ(Words(name, C(name).Enter(c.word)), Expected(name, c.shown));
      const Screen again = C(name).Key(0);
      EXPECT_EQ(again.kind, KindInputScreen) << "back to the field, for the next word";
      EXPECT_EQ(again.AsInput().current, c.word);
    }
  }
}

TEST_F(SmallServicesTest, DictionaryOfTheContentAndNoDictionaryAtAll) {
  S("anna").PutInputValue("temp", "Haus");
  EXPECT_EQ(Words("anna", Do("anna", "IDtransde")),
            Expected("anna", "Haus heißt auf Englisch house"_cp));
  S("anna").PutInputValue("temp", "HOUSE");
  EXPECT_EQ(Words("anna", Do("anna", "IDtransed")),
            Expected("anna", "house heißt auf Deutsch Haus"_cp));

  std::filesystem::remove(ContentFile(DictionaryFile));
  EXPECT_EQ(Words("anna", Do("anna", "IDtransed")),
            Expected("anna", "HOUSE wurde leider nicht gefunden."));
  EXPECT_FALSE(h.Logged("SERVER-ERR")) << "a missing dictionary is not an error";
}

TEST_F(SmallServicesTest, FeedbackIsNumberedSignedAndDatedAndEveryoneReadsIt) {
  const struct {
    std::string author;
    std::string text;
  } entries[] = {{"anna", "Toll"}, {"bert", "Eine sehr lange Bemerkung"}, {"anna", ""}};
  for (const auto& e : entries) {
    SCOPED_TRACE(e.author + " " + e.text);
    const Screen menu = Pick(e.author, C(e.author).Choose(0), "Feedback");
    EXPECT_EQ(Pick(e.author, menu, "Schreiben").kind, KindInputScreen);
    EXPECT_EQ(Words(e.author, C(e.author).Enter(e.text)),
              Expected(e.author, "Vielen Dank für Deinen Beitrag!"_cp));
    EXPECT_EQ(Title(e.author, C(e.author).Key(0)), "Feedback");
  }
  ASSERT_EQ(h.feedback.size(), 3u);
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(h.feedback[i].Author, entries[i].author);
    EXPECT_EQ(h.feedback[i].Text, entries[i].text);
    EXPECT_EQ(h.feedback[i].Time, "06.12.2026 09:07:00");
  }

  const Screen list = Pick("bert", Do("bert", "menufeedback"), "Lesen");
  EXPECT_EQ(Title("bert", list), "Feedback lesen");
  EXPECT_EQ(Captions("bert", list),
            (std::vector<std::string>{"Toll", "Eine sehr lang", "", Calc("bert", "zurück"_cp)}));
  EXPECT_EQ(Words("bert", C("bert").Choose(2)),
            Expected("bert",
                     "Feedback 2 von bert um 06.12.2026 09:07:00: Eine sehr lange "
                     "Bemerkung"));
  EXPECT_EQ(Captions("bert", C("bert").Key(0)).size(), 4u) << "back to the list";
  EXPECT_EQ(Words("bert", C("bert").Choose(3)),
            Expected("bert", "Feedback 3 von anna um 06.12.2026 09:07:00:"));
  C("bert").Key(0);
  EXPECT_EQ(Title("bert", C("bert").Choose(4)), "Feedback");

  for (std::int32_t param : {-1, 3, 1 << 30}) {
    SCOPED_TRACE(param);
    EXPECT_EQ(Words("bert", Do("bert", "IDshowfeedback", param)),
              Expected("bert", "Fehler im Server Feedback existiert nicht mehr."));
  }
}

TEST_F(SmallServicesTest, FeedbackWithLineBreaksKeepsTheFeedbackFileInStep) {
  for (const char* text : {"eins\r\nzwei", "drei\n"}) {
    S("anna").PutInputValue("temp", text);
    Do("anna", "IDsavefeedback");
  }
  const FeedbackList loaded = ParseFeedbackFile(FormatFeedbackFile(h.feedback));
  ASSERT_EQ(loaded.size(), 2u);
  EXPECT_EQ(loaded[0].Text, "eins  zwei");
  EXPECT_EQ(loaded[1].Author, "anna");
  EXPECT_EQ(loaded[1].Time, "06.12.2026 09:07:00");
}

}  // namespace
}  // namespace velora
