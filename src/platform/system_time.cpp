#include "platform/system_time.h"

namespace platform {

bool IsValidSystemTime(const SystemTime& in) {
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const int y = in.year, m = in.month, d = in.day;
  if (y < 1601 || y > 30827 || m < 1 || m > 12 || d < 1) return false;
  const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  if (d > kDays[m - 1] + (m == 2 && leap ? 1 : 0)) return false;
  return in.hour <= 23 && in.minute <= 59 && in.second <= 59 && in.milliseconds <= 999;
}

}  // namespace platform
