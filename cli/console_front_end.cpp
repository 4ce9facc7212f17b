#include "cli/console_front_end.h"

#include "job/contract/message_texts.h"
#include "platform/safe_text.h"

namespace cli {

ConsoleFrontEnd::ConsoleFrontEnd(job::RepairState& state, std::ostream& out, std::ostream& err,
                                 bool progressBar)
    : state_(state), out_(out), err_(err), log_(&out), progressBar_(progressBar) {}

void ConsoleFrontEnd::RepairDone(const job::ObjectListing& objects) {
  // The console has no tree to fill; what it shows of the schema is now valid.
  objects_ = objects;
  state_.schemaMarker = job::kSchemaMarkerFilled;
}

namespace {

// Tabs and line ends inside a cell would break the tab-separated lines.
std::string CellForConsole(std::string text) {
  for (char& c : text) {
    if (c == '\t' || c == '\n' || c == '\r') c = ' ';
  }
  return text;
}

}  // namespace

void ConsoleFrontEnd::GridColumns(const std::vector<std::string>& names) {
  EndProgress();
  gridColumns_ = names.size();
  for (size_t i = 0; i < names.size(); ++i) out_ << (i ? "\t" : "") << CellForConsole(names[i]);
  out_ << '\n';
}

void ConsoleFrontEnd::GridData(const job::GridCell& cell) {
  EndProgress();
  out_ << (cell.column ? "\t" : "") << CellForConsole(cell.text);
  if (static_cast<size_t>(cell.column) + 1 >= gridColumns_) {
    out_ << '\n';
    ++recordCounter_;
  }
}

void ConsoleFrontEnd::Progress(job::ProgressAction action, int64_t range) {
  switch (action) {
    case job::ProgressAction::Start:
      progressRange_ = range;
      progressPosition_ = 0;
      lastDrawn_ = -1;
      DrawProgress();
      break;
    case job::ProgressAction::Step:
      if (progressRange_ <= 0) break;
      if (progressPosition_ < progressRange_) ++progressPosition_;
      DrawProgress();
      break;
    case job::ProgressAction::Finish:
      EndProgress();
      break;
  }
}

void ConsoleFrontEnd::LogLine(const std::string& text) {
  EndProgress();
  *log_ << platform::SafeLineText(text) << '\n' << std::flush;
}

void ConsoleFrontEnd::InputChanged(const std::string& path) {
  EndProgress();
  if (!inputChanged_) {
    err_ << "kestrun-repair: " << platform::SafeLineText(path) << ": the file changed while it was read\n"
         << std::flush;
  }
  inputChanged_ = true;
}

void ConsoleFrontEnd::ShowViewSql(const std::string& sql) { out_ << sql << '\n'; }

void ConsoleFrontEnd::ShowTriggerSql(const std::string& sql) { out_ << sql << '\n'; }

job::DialogAnswer ConsoleFrontEnd::ShowModal(job::Dialog dialog) {
  EndProgress();
  if (dialog == job::Dialog::CMessageDialog && state_.openFailed) openFailedShown_ = true;
  if (dialog == job::Dialog::CMessageOk && state_.msgStoppedByUser && !state_.msgCustomText) {
    stopShown_ = true;
  }
  job::DialogContent content = job::OpenDialog(state_, dialog);
  for (const std::string& line : content.lines) *log_ << platform::SafeLineText(line) << '\n';
  *log_ << std::flush;
  return content.defaultAnswer;
}

int ConsoleFrontEnd::ExitStatus() const {
  if (openFailedShown_) return kExitCannotOpen;
  if (stopShown_) return kExitStopped;
  if (inputChanged_) return kExitInputChanged;
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
