// The diagnostic log's time stamp: asctime's 25 characters with a zero-padded
// day, and no name-table lookup for a broken time.
#include "diagnostics/log_stamp.h"

#include <gtest/gtest.h>

namespace {

struct tm Time(int year, int month, int day, int hour, int minute, int second, int weekday) {
  struct tm t = {};
  t.tm_year = year - 1900;
  t.tm_mon = month - 1;
  t.tm_mday = day;
  t.tm_hour = hour;
  t.tm_min = minute;
  t.tm_sec = second;
  t.tm_wday = weekday;
  return t;
}

}  // namespace

TEST(FormatLogStamp, DayBelowTenIsZeroPadded) {
  FixedText<64> stamp;
  ASSERT_TRUE(FormatLogStamp(stamp, Time(2026, 12, 8, 0, 14, 17, 2)));
  EXPECT_STREQ("Tue Dec 08 00:14:17 2026\n", stamp.Text());
  EXPECT_EQ(25u, stamp.Length());
}

TEST(FormatLogStamp, FirstAndLastNamesOfBothTables) {
  FixedText<64> stamp;
  ASSERT_TRUE(FormatLogStamp(stamp, Time(1970, 1, 1, 0, 0, 0, 4)));
  EXPECT_STREQ("Thu Jan 01 00:00:00 1970\n", stamp.Text());
  ASSERT_TRUE(FormatLogStamp(stamp, Time(2024, 6, 30, 9, 5, 60, 0)));  // leap second
  EXPECT_STREQ("Sun Jun 30 09:05:60 2024\n", stamp.Text());
  // Past what a 32-bit time reaches, up to the last day the runtime's time goes to.
  ASSERT_TRUE(FormatLogStamp(stamp, Time(2038, 1, 19, 3, 14, 8, 2)));
  EXPECT_STREQ("Tue Jan 19 03:14:08 2038\n", stamp.Text());
  ASSERT_TRUE(FormatLogStamp(stamp, Time(2099, 3, 1, 0, 0, 0, 0)));
  EXPECT_STREQ("Sun Mar 01 00:00:00 2099\n", stamp.Text());
  ASSERT_TRUE(FormatLogStamp(stamp, Time(3000, 12, 31, 23, 59, 59, 3)));
  EXPECT_STREQ("Wed Dec 31 23:59:59 3000\n", stamp.Text());
}

TEST(FormatLogStamp, OutOfRangeFieldsAreRefusedWithAnEmptyText) {
  const struct tm good = Time(2026, 12, 8, 0, 14, 17, 2);
  struct tm broken[] = {good, good, good, good, good, good, good, good, good, good, good};
  broken[0].tm_wday = 7;
  broken[1].tm_wday = -1;
  broken[2].tm_mon = 12;
  broken[3].tm_mon = -1;
  broken[4].tm_mday = 0;
  broken[5].tm_mday = 32;
  broken[6].tm_hour = 24;
  broken[7].tm_min = 60;
  broken[8].tm_sec = 61;
  broken[9].tm_year = 10000 - 1900;
  broken[10].tm_year = 999 - 1900;
  for (size_t i = 0; i < sizeof(broken) / sizeof(broken[0]); ++i) {
    SCOPED_TRACE(i);
    FixedText<64> stamp;
    stamp.Assign("old");
    EXPECT_FALSE(FormatLogStamp(stamp, broken[i]));
    EXPECT_STREQ("", stamp.Text());
  }
}

TEST(FormatLogStamp, BufferWithoutRoomForTheWholeStampGetsNothing) {
  FixedText<25> tooSmall;
  EXPECT_FALSE(FormatLogStamp(tooSmall, Time(2026, 12, 8, 0, 14, 17, 2)));
  EXPECT_STREQ("", tooSmall.Text());
  FixedText<26> exact;
  EXPECT_TRUE(FormatLogStamp(exact, Time(2026, 12, 8, 0, 14, 17, 2)));
}

TEST(FormatLogPrefix, LineFeedStampAndTwoColons) {
  FixedText<256> prefix;
  const struct tm t = Time(2026, 12, 8, 0, 14, 17, 2);
  ASSERT_TRUE(FormatLogPrefix(prefix, &t));
  EXPECT_STREQ("\nTue Dec 08 00:14:17 2026\n:: ", prefix.Text());

  FixedText<29> tooSmall;  // the prefix is 29 characters
  EXPECT_FALSE(FormatLogPrefix(tooSmall, &t));
  EXPECT_STREQ("", tooSmall.Text());
}

TEST(FormatLogPrefix, NoTimeOrABrokenTimeGivesTheEmptyPrefix) {
  FixedText<256> prefix;
  prefix.Assign("old");
  EXPECT_FALSE(FormatLogPrefix(prefix, nullptr));
  EXPECT_STREQ("", prefix.Text());

  struct tm broken = Time(2026, 12, 8, 0, 14, 17, 2);
  broken.tm_mon = 99;
  prefix.Assign("old");
  EXPECT_FALSE(FormatLogPrefix(prefix, &broken));
  EXPECT_STREQ("", prefix.Text());
}
