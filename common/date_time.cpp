// German regional date and time formats.
#include "common/date_time.h"

#include <array>
#include <cstdio>
#include <string_view>

#include "common/cp1252.h"

namespace velora {

namespace {

constexpr std::array<std::string_view, 7> kWeekdays{"Sonntag"_cp,  "Montag"_cp,     "Dienstag"_cp,
                                                    "Mittwoch"_cp, "Donnerstag"_cp, "Freitag"_cp,
                                                    "Samstag"_cp};
constexpr std::array<std::string_view, 12> kMonths{
    "Januar"_cp, "Februar"_cp, "März"_cp,      "April"_cp,   "Mai"_cp,      "Juni"_cp,
    "Juli"_cp,   "August"_cp,  "September"_cp, "Oktober"_cp, "November"_cp, "Dezember"_cp};

std::string Printf(const char* format, int a, int b, int c) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, format, a, b, c);
  return buffer;
}

}  // namespace

int DayOfWeek(const DateTime& t) {
  // Sakamoto's method.
  static constexpr int offsets[] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
  int y = t.year;
  if (t.month < 3) y -= 1;
  return (y + y / 4 - y / 100 + y / 400 + offsets[(t.month - 1) % 12] + t.day) % 7;
}

std::string FormatShortDate(const DateTime& t) {
  return Printf("%02d.%02d.%04d", t.day, t.month, t.year);
}

std::string FormatLongTime(const DateTime& t) {
  return Printf("%02d:%02d:%02d", t.hour, t.minute, t.second);
}

std::string FormatDateTimeC(const DateTime& t) {
  return FormatShortDate(t) + " " + FormatLongTime(t);
}

std::string FormatLogHeaderDate(const DateTime& t) {
  std::string out(kWeekdays[DayOfWeek(t)]);
  out += Printf(", %02d. ", t.day, 0, 0);
  out += kMonths[(t.month - 1) % 12];
  out += Printf(" %04d @ %02d:%02d", t.year, t.hour, t.minute);
  return out;
}

std::string FormatLogFileStamp(const DateTime& t) {
  return Printf("%04d%02d%02d", t.year, t.month, t.day) + "@" +
         Printf("%02d%02d%02d", t.hour, t.minute, t.second);
}

}  // namespace velora
