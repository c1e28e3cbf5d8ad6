// Local date and time as the core sees it, with the German regional formats the texts use.
#pragma once

#include <string>

namespace velora {

struct DateTime {
  int year = 2000;
  int month = 1;  // 1..12
  int day = 1;    // 1..31
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;
  // Local time minus UTC; only meaningful when utcOffsetKnown.
  int utcOffsetMinutes = 0;
  bool utcOffsetKnown = false;
};

// 0 = Sunday .. 6 = Saturday.
int DayOfWeek(const DateTime& t);

std::string FormatShortDate(const DateTime& t);  // 06.12.2026
std::string FormatLongTime(const DateTime& t);   // 09:07:00
std::string FormatDateTimeC(const DateTime& t);  // short date, a blank, long time
// "Sonntag, 06. Dezember 2026 @ 09:07" (8-bit text).
std::string FormatLogHeaderDate(const DateTime& t);
// "20261206@090700", the stamp of a continued log file.
std::string FormatLogFileStamp(const DateTime& t);

}  // namespace velora
