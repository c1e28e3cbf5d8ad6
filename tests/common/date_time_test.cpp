#include <gtest/gtest.h>

#include "common/cp1252.h"
#include "common/date_time.h"

namespace velora {
namespace {

TEST(DateTimeTest, GermanRegionalFormats) {
  const DateTime t{2026, 12, 6, 9, 7, 5, 0};
  EXPECT_EQ(FormatShortDate(t), "06.12.2026");
  EXPECT_EQ(FormatLongTime(t), "09:07:05");
  EXPECT_EQ(FormatDateTimeC(t), "06.12.2026 09:07:05");
  EXPECT_EQ(FormatLogFileStamp(t), "20261206@090705");
  EXPECT_EQ(FormatLogHeaderDate(t), "Sonntag, 06. Dezember 2026 @ 09:07");
  EXPECT_EQ(FormatLogHeaderDate({2027, 3, 1, 23, 59, 0, 0}), "Montag, 01. März 2027 @ 23:59"_cp);
}

TEST(DateTimeTest, DayOfWeekAcrossLeapYears) {
  EXPECT_EQ(DayOfWeek({2024, 2, 29}), 4);  // Thursday
  EXPECT_EQ(DayOfWeek({2000, 1, 1}), 6);   // Saturday
  EXPECT_EQ(DayOfWeek({2026, 12, 7}), 1);  // Monday
}

}  // namespace
}  // namespace velora
