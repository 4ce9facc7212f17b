// Handing a log line to the front end: the text travels through messageBuffer.
#pragma once

#include <string>

#include "job/front_end_port.h"
#include "job/repair_state.h"

namespace job {

// Puts `text` into messageBuffer, sends LogLine and empties the buffer after the
// send returns. An empty text gives an empty line.
void WriteLogLine(RepairState& state, FrontEndPort& port, const std::string& text);

}  // namespace job
