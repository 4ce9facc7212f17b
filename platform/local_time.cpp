#include "platform/local_time.h"

namespace platform {

std::tm LocalNow() {
  std::time_t now = std::time(nullptr);
  std::tm parts{};
#if defined(_WIN32)
  localtime_s(&parts, &now);
#else
  localtime_r(&now, &parts);
#endif
  return parts;
}

}  // namespace platform
