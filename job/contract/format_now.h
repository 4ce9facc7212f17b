// Time stamps of the log: "Wednesday, December 09, 2026  10:39:31  PM".
#pragma once

#include <ctime>
#include <string>

namespace job {

// Formats `time` as "%A, %B %d, %Y  %I:%M:%S  %p" with English weekday and month
// names, whatever the machine's locale. Out-of-range fields give an empty text.
std::string FormatTime(const std::tm& time);

// FormatTime of the current local time.
std::string FormatNow();

}  // namespace job
