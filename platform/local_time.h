// The machine's local time, broken down; the one place that asks the system clock.
#pragma once

#include <ctime>

namespace platform {

// The current local date and time. Thread-safe.
std::tm LocalNow();

}  // namespace platform
