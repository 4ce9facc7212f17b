#include "job/contract/notifications.h"

namespace job {

const char* NotificationName(Notification n) {
  switch (n) {
    case Notification::RepairDone: return "RepairDone";
    case Notification::ResetWorkspace: return "ResetWorkspace";
    case Notification::GridData: return "GridData";
    case Notification::TabChanged: return "TabChanged";
    case Notification::Progress: return "Progress";
    case Notification::LogLine: return "LogLine";
    case Notification::ClearGridRows: return "ClearGridRows";
    case Notification::TableLoaded: return "TableLoaded";
    case Notification::ShowTriggerSql: return "ShowTriggerSql";
    case Notification::FindItem: return "FindItem";
    case Notification::CheckTopItem: return "CheckTopItem";
    case Notification::ObjectSaved: return "ObjectSaved";
    case Notification::ShowViewSql: return "ShowViewSql";
    case Notification::ShowRecordCount: return "ShowRecordCount";
    case Notification::JobState: return "JobState";
    case Notification::SaveFinished: return "SaveFinished";
    case Notification::ShowMessageBox: return "ShowMessageBox";
  }
  return "Unknown";
}

}  // namespace job
