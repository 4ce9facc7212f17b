// The white background of the program's own dialogs.
#pragma once

class QWidget;

namespace workspace {

// Gives `dialog` a white background with dark text in every state (fields and
// buttons included), so a dark desktop theme gives no white on white.
void MakeWhite(QWidget* dialog);

}  // namespace workspace
