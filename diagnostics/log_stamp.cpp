#include "diagnostics/log_stamp.h"

namespace {

const char kWeekdays[] = "SunMonTueWedThuFriSat";
const char kMonths[] = "JanFebMarAprMayJunJulAugSepOctNovDec";

bool InRange(int value, int low, int high) { return value >= low && value <= high; }

bool AppendTwoDigits(BoundedText& out, int value) {
  return out.AppendChar(static_cast<char>('0' + value / 10)) &&
         out.AppendChar(static_cast<char>('0' + value % 10));
}

}  // namespace

bool FormatLogStamp(BoundedText& out, const struct tm& t) {
  out.Clear();
  // Seconds may be 60 for a leap second; the year must stay four digits.
  if (!InRange(t.tm_wday, 0, 6) || !InRange(t.tm_mon, 0, 11) || !InRange(t.tm_mday, 1, 31) ||
      !InRange(t.tm_hour, 0, 23) || !InRange(t.tm_min, 0, 59) || !InRange(t.tm_sec, 0, 60) ||
      !InRange(t.tm_year, 1000 - 1900, 9999 - 1900)) {
    return false;
  }
  out.AppendN(kWeekdays + 3 * t.tm_wday, 3);
  out.AppendChar(' ');
  out.AppendN(kMonths + 3 * t.tm_mon, 3);
  out.AppendChar(' ');
  AppendTwoDigits(out, t.tm_mday);
  out.AppendChar(' ');
  AppendTwoDigits(out, t.tm_hour);
  out.AppendChar(':');
  AppendTwoDigits(out, t.tm_min);
  out.AppendChar(':');
  AppendTwoDigits(out, t.tm_sec);
  out.AppendChar(' ');
  out.AppendDecimal(t.tm_year + 1900);
  out.AppendChar('\n');
  if (!out.Fits()) {
    out.Clear();
    return false;
  }
  return true;
}

bool FormatLogPrefix(BoundedText& out, const struct tm* local) {
  out.Clear();
  if (local == 0) return false;
  FixedText<32> stamp;
  if (!FormatLogStamp(stamp, *local)) return false;
  out.AppendChar('\n');
  out.Append(stamp.Text());
  out.Append(":: ");
  if (!out.Fits()) {
    out.Clear();
    return false;
  }
  return true;
}
