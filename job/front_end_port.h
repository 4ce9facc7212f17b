// The one interface through which the worker and the engine reach a front end (the
// desktop frame, the console, or a test recorder). They never touch a window.
#pragma once

#include <cstdint>

#include "job/notifications.h"

namespace job {

// The program's own message dialogs.
enum class Dialog {
  CMessageOk,             // information, text chosen by the selector flags
  CMessageDialog,         // invalid file, exit confirmation, "first stop"
  CStopDialog,            // "Do you want to stop the current process?"
  CUserDialog,            // a notice left in the application's notice text
  CRepairedSuccessfully,  // the end of a successful repair
};

// Every dialog closes with one of two results.
enum class DialogAnswer { Yes, No };

// Thread: both calls may come from the worker thread. Each returns only after the
// front end has handled the notification or the user has closed the dialog; the
// caller relies on that to hand data over through RepairState without a lock.
class FrontEndPort {
 public:
  virtual ~FrontEndPort() = default;

  // Delivers one notification; the result is the handler's and is not relied on.
  virtual int64_t Send(Notification number, int64_t first, int64_t second) = 0;

  // Shows a modal dialog, which picks its text from RepairState's selector flags
  // (see message_texts.h) when it opens, and returns the user's answer.
  virtual DialogAnswer ShowModal(Dialog dialog) = 0;
};

}  // namespace job
