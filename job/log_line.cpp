#include "job/log_line.h"

namespace job {

void WriteLogLine(RepairState& state, FrontEndPort& port, const std::string& text) {
  state.messageBuffer = text;
  port.Send(Notification::LogLine, 0, 0);
  state.messageBuffer.clear();
}

}  // namespace job
