#include "cli/console_front_end.h"

#include <algorithm>
#include <cctype>

#include "engine/reader/sqlite_repair.h"
#include "job/message_texts.h"

namespace cli {

using job::Notification;

ConsoleFrontEnd::ConsoleFrontEnd(job::RepairState& state, std::ostream& out, std::ostream& err,
                                 bool progressBar)
    : state_(state), out_(out), err_(err), log_(&out), progressBar_(progressBar) {}

int64_t ConsoleFrontEnd::Send(Notification number, int64_t first, int64_t second) {
  switch (number) {
    case Notification::LogLine:
      EndProgress();
      *log_ << state_.messageBuffer << '\n' << std::flush;
      break;
    case Notification::RepairDone:
      // The console has no tree to fill; what it shows of the schema is now valid.
      state_.schemaMarker = job::kSchemaMarkerFilled;
      break;
    case Notification::GridData:
      ShowGridCell(second == 1);
      break;
    case Notification::ShowViewSql:
      if (second == 0) ShowViewSql();
      break;
    case Notification::ShowTriggerSql:
      if (second == 1) ShowTriggerSql();
      break;
    case Notification::TableLoaded:
      state_.selectedItemText.clear();
      break;
    case Notification::ObjectSaved:
      if (engine_ && state_.saveRequested) engine_->savedObjectName.clear();
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
  for (const std::string& line : content.lines) *log_ << line << '\n';
  *log_ << std::flush;
  return content.defaultAnswer;
}

int ConsoleFrontEnd::ExitStatus() const {
  if (openFailedShown_) return kExitCannotOpen;
  if (stopShown_) return kExitStopped;
  return kExitRepaired;
}

namespace {

// Tabs and line ends inside a cell would break the tab-separated lines.
std::string CellForConsole(std::string text) {
  for (char& c : text) {
    if (c == '\t' || c == '\n' || c == '\r') c = ' ';
  }
  return text;
}

bool EqualIgnoringCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

}  // namespace

void ConsoleFrontEnd::ShowGridCell(bool header) {
  if (!engine_ || !engine_->currentTable) return;
  EndProgress();
  const auto& columns = engine_->currentTable->columns;
  if (header) {
    for (size_t i = 0; i < columns.size(); ++i) {
      out_ << (i ? "\t" : "") << CellForConsole(columns[i].name);
    }
    out_ << '\n';
    return;
  }
  out_ << (state_.gridColumn ? "\t" : "") << CellForConsole(engine_->cellText);
  if (static_cast<size_t>(++state_.gridColumn) >= columns.size()) {
    out_ << '\n';
    state_.gridColumn = 0;
    ++state_.recordCounter;
  }
}

void ConsoleFrontEnd::ShowViewSql() {
  if (!engine_) return;
  for (const auto& view : engine_->viewList) {
    if (EqualIgnoringCase(view.name, state_.selectedItemText)) {
      out_ << view.sql << '\n';
      break;
    }
  }
  state_.selectedItemText.clear();
}

void ConsoleFrontEnd::ShowTriggerSql() {
  if (!engine_) return;
  const std::string* sql = nullptr;
  for (const auto& trigger : engine_->triggerList) {
    if (!trigger.sql.empty() && trigger.name == state_.selectedItemText) sql = &trigger.sql;
  }
  if (sql) out_ << *sql << '\n';
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
