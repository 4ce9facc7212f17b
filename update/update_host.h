// What the update wizard needs from the program around it (the program's own is
// shell::DesktopUpdateHost); tests answer it.
#pragma once

#include <QUrl>

#include "job/contract/front_end_port.h"
#include "job/contract/repair_state.h"

class QWidget;

namespace update {

// Thread: the window thread.
class UpdateHost {
 public:
  virtual ~UpdateHost() = default;
  // One of the program's message dialogs, modal, its text chosen from `state`.
  virtual job::DialogAnswer Ask(job::RepairState& state, job::Dialog dialog, QWidget* parent) = 0;
  // Opens a web page or a local file the way the desktop opens it; false when
  // nothing could open it.
  virtual bool Open(const QUrl& url) = 0;
  // Ends the program at once, without the Exit question.
  virtual void Quit() = 0;
};

}  // namespace update
