// The texts of the update wizard and its notices.
#pragma once

namespace update {

inline constexpr const char* kSheetTitle = "Update Wizard";
inline constexpr const char* kPageCaption = "Dravolt Kestrun Update Wizard";

inline constexpr const char* kWelcomeText = " Welcome to the Dravolt Kestrun update wizard";
inline constexpr const char* kIntroText =
    "Update wizard checks for the latest updates available and updates product if a newer version is "
    "available online.";
inline constexpr const char* kCloseOthersText =
    "It is strongly recommended that you close all other running applications before clicking 'Next'. This "
    "will help prevent any conflict during the update process.";
inline constexpr const char* kClickNextText = "Click Next to continue...";

inline constexpr const char* kCheckingHeading = "Checking for updates...";
inline constexpr const char* kSearchingText =
    "Dravolt Kestrun Update Wizard is searching for latest updates available online.";
inline constexpr const char* kMajorReleaseText =
    "A new major release is available.You need to pay to upgrade to new version.";
inline constexpr const char* kUpgradeLinkText = "Visit upgrade page";
// The new version goes in at kNewUpdateInsertAt, between the two spaces.
inline constexpr const char* kNewUpdateText = "A new update  is available. Click 'Next' to proceed further.";
inline constexpr int kNewUpdateInsertAt = 13;
inline constexpr const char* kAllLatestText =
    "Application has all latest updates. Click 'Cancel' to close the window.";
inline constexpr const char* kUpdatedText = "This application is updated.";
// The server cannot be reached, or a check or a download failed.
inline constexpr const char* kConnectionFailedText =
    "Connection to server could not be established. Please try later.";
inline constexpr const char* kUnreadableVersionText =
    "The version on the update server could not be read. Please try later.";
inline constexpr const char* kNoInstalledVersionText =
    "The installed version is not known: the product key has no \"Version\" value.";
inline constexpr const char* kNoUpgradePageText =
    "The upgrade page (\"Update\") in the product key is missing or is not a web address (http or https).";

inline constexpr const char* kDownloadingHeading = "Downloading files...";
inline constexpr const char* kSavingFileText = "Saving file:";
inline constexpr const char* kGettingSessionText = "Getting internet session";
inline constexpr const char* kDownloadingText = "Downloading files.... ";
inline constexpr const char* kTimeElapsedText = "Time elapsed:";
inline constexpr const char* kTransferRateText = "Transfer rate:";
// The third page's status once the installer is complete.
inline constexpr const char* kDownloadCompletedText = "Download completed";
inline constexpr const char* kInstallerNotOpenedText = "The installer %1 could not be opened.";

}  // namespace update
