// A main frame with a real engine for the window's tests: its dialogs answered
// from a script, its jobs waited for.
#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/sqlite_repair.h"
#include "job/contract/message_texts.h"
#include "tests/fixture/quiet_frame_dialogs.h"
#include "workspace/main_frame.h"

namespace workspace_test {

using workspace::CMainFrame;

// Answers the frame's dialogs from a script (Yes when it runs out) and keeps their
// texts, as the program's dialogs would show them.
class ScriptedDialogs : public fixture::QuietFrameDialogs {
 public:
  std::deque<job::DialogAnswer> answers;
  std::vector<std::string> shown;
  QString databasePath;
  bool includeDeleted = false;
  QString folder;
  int helpOpened = 0;
  QStringList selectCalls;  // the path each Select Database dialog opened with
  void SelectDatabase(CMainFrame& frame, const QString& path) override {
    selectCalls.push_back(path);
    const QString chosen = path.isEmpty() ? databasePath : path;
    if (!chosen.isEmpty()) frame.StartRepair(chosen, includeDeleted);
  }
  void ChooseDestination(CMainFrame& frame) override {
    if (!folder.isEmpty()) frame.StartSave(folder);
  }
  void OpenHelp(QWidget*) override { ++helpOpened; }
  std::function<void()> whileOpen;  // runs while a dialog is "open"
  job::DialogAnswer ShowModal(job::RepairState& state, job::Dialog dialog, QWidget*) override {
    const job::DialogContent content = job::OpenDialog(state, dialog);
    shown.push_back(content.lines.empty() ? "" : content.lines.front());
    if (whileOpen) whileOpen();
    if (answers.empty()) return job::DialogAnswer::Yes;
    const job::DialogAnswer a = answers.front();
    answers.pop_front();
    return a;
  }
};

struct Frame {
  job::RepairState state;
  ScriptedDialogs dialogs;
  std::unique_ptr<CMainFrame> frame = std::make_unique<CMainFrame>(state, dialogs);
  std::unique_ptr<CSqliteRepair> engine = std::make_unique<CSqliteRepair>(state, frame->Port());
  Frame() { frame->AttachEngine(*engine); }
  ~Frame() {
    frame.reset();  // joins the worker before the engine goes
  }

  // Turns the event loop until the job has ended and its thread is done.
  // A job that hangs fails the test instead of the whole run.
  void WaitForJob() {
    QDeadlineTimer deadline(30000);
    while ((frame->JobRunning() || state.workerBusy) && !deadline.hasExpired()) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    ASSERT_FALSE(frame->JobRunning()) << "the job did not end";
    frame->JoinWorker();
    QCoreApplication::processEvents();
  }
  bool Logged(const QString& text) const {
    for (const QString& line : frame->Log()->Lines()) {
      if (line.startsWith(text)) return true;
    }
    return false;
  }
};

}  // namespace workspace_test
