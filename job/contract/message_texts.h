// The texts of the program's message dialogs and the rule by which a dialog picks
// its text from the selector flags of RepairState when it opens.
#pragma once

#include <string>
#include <vector>

#include "job/contract/front_end_port.h"
#include "job/contract/repair_state.h"

namespace job {

inline constexpr const char* kProductTitle = "Dravolt Kestrun Repair for SQLite";
inline constexpr const char* kOpenFailedText =
    "Selected file is either in use or not a valid SQLite database file.";
inline constexpr const char* kStoppedByUserText = "Current process stopped by user.";
inline constexpr const char* kSavingCompletedText = "Saving process completed.";
inline constexpr const char* kSelectTablesText = "Select table(s) for saving.";
inline constexpr const char* kAnotherInstanceText =
    "Another instance of this application is already running.";
inline constexpr const char* kExitQuestionText = "Exit Dravolt Kestrun Repair for SQLite?";
inline constexpr const char* kFirstStopText = "First stop the current process.";
inline constexpr const char* kStopQuestionText = "Do you want to stop the current process?";
inline constexpr const char* kNotResumableText = "This process can not be resumed from the current stage.";
inline constexpr const char* kRepairedText = "Selected SQLite database repaired successfully.";
inline constexpr const char* kRepairedHintText =
    "Click 'Save' icon on the ribbon to save repaired database.";

// What a dialog shows once it has opened: its lines and which buttons are visible.
struct DialogContent {
  std::vector<std::string> lines;
  bool yesButton = false;
  bool noButton = false;
  bool okButton = false;
  DialogAnswer defaultAnswer = DialogAnswer::Yes;  // Enter, or a console answering
};

// Picks the content of `dialog` from the selector flags and clears the flags the
// dialog clears when it opens. Call on the thread that shows the dialog, while the
// worker (if any) waits in ShowModal.
DialogContent OpenDialog(RepairState& state, Dialog dialog);

}  // namespace job
