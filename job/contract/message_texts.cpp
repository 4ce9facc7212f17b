#include "job/contract/message_texts.h"

namespace job {
namespace {

DialogContent OkOnly(std::string text) {
  DialogContent content;
  content.lines.push_back(std::move(text));
  content.okButton = true;
  return content;
}

DialogContent OpenMessageOk(RepairState& state) {
  if (state.msgCustomText) {
    state.msgCustomText = 0;
    DialogContent content = OkOnly(state.messageBuffer);
    state.messageBuffer.clear();
    return content;
  }
  struct Selector {
    int32_t RepairState::*flag;
    const char* text;
  };
  static constexpr Selector kSelectors[] = {
      {&RepairState::msgStoppedByUser, kStoppedByUserText},
      {&RepairState::msgSavingCompleted, kSavingCompletedText},
      {&RepairState::msgSelectTables, kSelectTablesText},
      {&RepairState::msgAnotherInstance, kAnotherInstanceText},
  };
  for (const Selector& s : kSelectors) {
    if (state.*(s.flag)) {
      state.*(s.flag) = 0;
      state.messageBuffer.clear();
      return OkOnly(s.text);
    }
  }
  return OkOnly("");
}

DialogContent OpenMessageDialog(RepairState& state) {
  // openFailed and exitRequested stay set: their owners clear them.
  if (state.openFailed) return OkOnly(kOpenFailedText);
  if (state.exitRequested) {
    if (state.workerBusy) return OkOnly(kFirstStopText);
    DialogContent content;
    content.lines.push_back(kExitQuestionText);
    content.yesButton = true;
    content.noButton = true;
    content.defaultAnswer = DialogAnswer::No;
    return content;
  }
  if (state.msgFirstStop) {
    state.msgFirstStop = 0;
    return OkOnly(kFirstStopText);
  }
  return OkOnly("");
}

}  // namespace

DialogContent OpenDialog(RepairState& state, Dialog dialog) {
  switch (dialog) {
    case Dialog::CMessageOk:
      return OpenMessageOk(state);
    case Dialog::CMessageDialog:
      return OpenMessageDialog(state);
    case Dialog::CStopDialog: {
      DialogContent content;
      content.lines.push_back(kStopQuestionText);
      if (state.msgNotResumable) {
        state.msgNotResumable = 0;
        content.lines.push_back(kNotResumableText);
      }
      content.yesButton = true;
      content.noButton = true;
      return content;
    }
    case Dialog::CUserDialog: {
      DialogContent content = OkOnly(state.noticeText);
      content.defaultAnswer = DialogAnswer::No;  // its OK button means "no"
      return content;
    }
    case Dialog::CRepairedSuccessfully: {
      DialogContent content = OkOnly(kRepairedText);
      content.lines.push_back(kRepairedHintText);
      return content;
    }
  }
  return OkOnly("");
}

}  // namespace job
