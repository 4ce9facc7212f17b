#include "job/contract/format_now.h"

#include <cstdio>

#include "platform/local_time.h"

namespace job {

std::string FormatTime(const std::tm& time) {
  static constexpr const char* kWeekdays[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                              "Thursday", "Friday", "Saturday"};
  static constexpr const char* kMonths[] = {"January", "February", "March",     "April",
                                            "May",     "June",     "July",      "August",
                                            "September", "October", "November", "December"};
  if (time.tm_wday < 0 || time.tm_wday > 6 || time.tm_mon < 0 || time.tm_mon > 11 ||
      time.tm_hour < 0 || time.tm_hour > 23) {
    return {};
  }
  int hour12 = time.tm_hour % 12 == 0 ? 12 : time.tm_hour % 12;
  char text[128];
  int n = std::snprintf(text, sizeof text, "%s, %s %02d, %04d  %02d:%02d:%02d  %s",
                        kWeekdays[time.tm_wday], kMonths[time.tm_mon], time.tm_mday,
                        time.tm_year + 1900, hour12, time.tm_min, time.tm_sec,
                        time.tm_hour < 12 ? "AM" : "PM");
  if (n < 0 || n >= static_cast<int>(sizeof text)) return {};
  return text;
}

std::string FormatNow() { return FormatTime(platform::LocalNow()); }

}  // namespace job
