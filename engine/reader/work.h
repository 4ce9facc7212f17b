// What a long engine operation needs of its job: the stop flag it polls between
// units of work and the progress bar it drives.
#pragma once

#include <cstdint>

#include "job/contract/front_end_port.h"
#include "job/contract/repair_state.h"

namespace engine {

// Thread: the worker of the current job; `stop` is written by the front end.
class Work {
 public:
  Work(job::FrontEndPort& port, const job::Flag& stop) : port_(port), stop_(stop) {}

  bool Stopped() const { return stop_.load() != 0; }
  const job::Flag& StopFlag() const { return stop_; }
  void StartBar(int64_t range) { port_.Progress(job::ProgressAction::Start, range); }
  void Step() { port_.Progress(job::ProgressAction::Step, 0); }
  void FinishBar() { port_.Progress(job::ProgressAction::Finish, 0); }
  job::FrontEndPort& Port() { return port_; }

 private:
  job::FrontEndPort& port_;
  const job::Flag& stop_;
};

}  // namespace engine
