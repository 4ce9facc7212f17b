#include "cli/console_front_end.h"

#include "job/message_texts.h"

namespace cli {

using job::Notification;

ConsoleFrontEnd::ConsoleFrontEnd(job::RepairState& state, std::ostream& out, std::ostream& err,
                                 bool progressBar)
    : state_(state), out_(out), err_(err), progressBar_(progressBar) {}

int64_t ConsoleFrontEnd::Send(Notification number, int64_t first, int64_t second) {
  switch (number) {
    case Notification::LogLine:
      EndProgress();
      out_ << state_.messageBuffer << '\n' << std::flush;
      break;
    case Notification::Progress:
      if (second == job::kProgressStart) {
        progressRange_ = first;
        progressPosition_ = 0;
        lastDrawn_ = -1;
        DrawProgress();
      } else if (second == job::kProgressStep && progressRange_ > 0) {
        if (progressPosition_ < progressRange_) ++progressPosition_;
        DrawProgress();
      } else if (second == job::kProgressFinish) {
        EndProgress();
      }
      break;
    default:
      break;
  }
  return number == Notification::JobState || number == Notification::ShowMessageBox ? 1 : 0;
}

job::DialogAnswer ConsoleFrontEnd::ShowModal(job::Dialog dialog) {
  EndProgress();
  if (dialog == job::Dialog::CMessageDialog && state_.openFailed) openFailedShown_ = true;
  if (dialog == job::Dialog::CMessageOk && state_.msgStoppedByUser && !state_.msgCustomText) {
    stopShown_ = true;
  }
  job::DialogContent content = job::OpenDialog(state_, dialog);
  for (const std::string& line : content.lines) out_ << line << '\n';
  out_ << std::flush;
  return content.defaultAnswer;
}

int ConsoleFrontEnd::ExitStatus() const {
  if (openFailedShown_) return kExitCannotOpen;
  if (stopShown_) return kExitStopped;
  return kExitRepaired;
}

void ConsoleFrontEnd::DrawProgress() {
  if (!progressBar_ || progressRange_ <= 0) return;
  constexpr int kWidth = 40;
  int percent = static_cast<int>(progressPosition_ * 100 / progressRange_);
  if (percent == lastDrawn_) return;
  lastDrawn_ = percent;
  int filled = percent * kWidth / 100;
  err_ << "\rProcessing [" << std::string(filled, '#') << std::string(kWidth - filled, ' ')
       << "] " << percent << "%" << std::flush;
}

void ConsoleFrontEnd::EndProgress() {
  if (progressBar_ && lastDrawn_ >= 0) err_ << "\r" << std::string(60, ' ') << "\r" << std::flush;
  progressRange_ = 0;
  lastDrawn_ = -1;
}

}  // namespace cli
