// The "Log Report" pane: the running record of what the program did, with Save Log
// and Clear Log.
#pragma once

#include <QDockWidget>
#include <QString>
#include <QStringList>

#include "workspace/output_list.h"

namespace workspace {

// The modal questions Save Log asks; tests answer them through their own
// implementation. Window thread only.
class LogDialogs {
 public:
  virtual ~LogDialogs() = default;
  // The chosen file name, or empty when the user cancels.
  virtual QString AskSaveFileName(QWidget* parent, const QString& suggested) = 0;
  // "File exists. Do you want to overwrite?": true for Yes.
  virtual bool AskOverwrite(QWidget* parent, const QString& path) = 0;
  // Tells the user why the report was not written.
  virtual void ShowError(QWidget* parent, const QString& text) = 0;
};

// The dockable pane (`COutputWnd`), titled "Log Report"; starts with the header
// line. Window thread only.
class COutputWnd : public QDockWidget {
  Q_OBJECT

 public:
  explicit COutputWnd(QWidget* parent = nullptr);

  // Appends `text` as the last line, selected and scrolled into view.
  void AddLine(const QString& text);
  // Deletes every line and adds the header again.
  void ClearLog();
  // Asks for a file and writes the log report there (".log" added unless the name
  // has it; an existing file only when the user agrees to overwrite it, otherwise
  // the question comes again). The file is replaced only once the whole report is
  // written. False when cancelled or when the write failed (the user is told why).
  bool SaveLog(LogDialogs& dialogs);

  QStringList Lines() const;
  COutputList* List() const { return list_; }

 private:
  COutputList* list_;
};

}  // namespace workspace
