#include "shell/about_dlg.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QOperatingSystemVersion>
#include <QRegularExpression>
#include <QSysInfo>
#include <QVBoxLayout>

#include <algorithm>
#include <optional>
#include <utility>

#include "job/contract/message_texts.h"
#include "workspace/white_dialog.h"
#include "workspace/color_button.h"
#include "workspace/icons.h"

#ifdef Q_OS_WIN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#endif

namespace shell {
namespace {

constexpr QSize kSidePicture{130, 330};

QLabel* PlainLabel(const QString& text, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setTextFormat(Qt::PlainText);
  return label;
}

QFont HeadingFont() {
  QFont heading;
  heading.setFamilies({QStringLiteral("Lucida Sans Unicode"), QStringLiteral("Lucida Sans"),
                       QStringLiteral("DejaVu Sans"), QStringLiteral("Arial")});
  heading.setPixelSize(12);
  heading.setWeight(QFont::Bold);
  return heading;
}

#ifdef Q_OS_WIN
// "ProductName" of HKEY_LOCAL_MACHINE\`key`, read only; nullopt when the key
// cannot be opened.
std::optional<QString> RegistryProductName(const wchar_t* key) {
  HKEY handle = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, KEY_READ | KEY_WOW64_64KEY, &handle) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  wchar_t name[1024] = {};
  DWORD size = sizeof name;
  const LONG read = RegGetValueW(handle, nullptr, L"ProductName", RRF_RT_REG_SZ, nullptr, name, &size);
  RegCloseKey(handle);
  return read == ERROR_SUCCESS ? QString::fromWCharArray(name) : QString();
}
#endif

}  // namespace

QString SystemVersionText(long major, long minor, long build) {
  return QString::asprintf("%ld. %ld.%ld", major, minor, build);
}

SystemFacts CurrentSystemFacts() {
  SystemFacts facts;
#ifdef Q_OS_WIN
  std::optional<QString> name = RegistryProductName(L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion");
  if (name && name->size() <= 6) name = RegistryProductName(L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion");
  facts.name = name ? *name : QStringLiteral("Error");
  const QOperatingSystemVersion os = QOperatingSystemVersion::current();
  facts.version = SystemVersionText(os.majorVersion(), std::max(0, os.minorVersion()), std::max(0, os.microVersion()));
#else
  facts.name = QSysInfo::prettyProductName();
  const QOperatingSystemVersion os = QOperatingSystemVersion::current();
  if (os.type() != QOperatingSystemVersion::Unknown && os.majorVersion() >= 0) {
    facts.version = SystemVersionText(os.majorVersion(), std::max(0, os.minorVersion()), std::max(0, os.microVersion()));
  } else {
    // Linux and the other Unix systems: the kernel's version ("6.1.0-18-amd64").
    const QRegularExpressionMatch numbers =
        QRegularExpression(QStringLiteral("^(\\d+)(?:\\.(\\d+))?(?:\\.(\\d+))?")).match(QSysInfo::kernelVersion());
    if (numbers.hasMatch()) {
      facts.version = SystemVersionText(numbers.captured(1).toLong(), numbers.captured(2).toLong(),
                                        numbers.captured(3).toLong());
    }
  }
#endif
  return facts;
}

CAboutDlg::CAboutDlg(ProductLinks& links, const SystemFacts& system, QWidget* parent,
                     std::function<void(CEulaDlg&)> showLicence)
    : QDialog(parent), links_(links), showLicence_(std::move(showLicence)) {
  const QString product = QString::fromUtf8(job::kProductTitle);
  setObjectName(QStringLiteral("CAboutDlg"));
  setWindowTitle(QStringLiteral("About %1").arg(product));
  workspace::MakeWhite(this);
  if (!showLicence_) showLicence_ = [](CEulaDlg& dialog) { dialog.exec(); };

  auto* picture = new QLabel(this);
  picture->setPixmap(workspace::ProgramPicture(QStringLiteral("about-side"), kSidePicture));
  picture->setFixedSize(kSidePicture);

  auto* title = PlainLabel(product, this);
  auto* productHeading = PlainLabel(QStringLiteral("Product Information"), this);
  auto* systemHeading = PlainLabel(QStringLiteral("System Information"), this);
  for (QLabel* heading : {title, productHeading, systemHeading}) heading->setFont(HeadingFont());
  title->setObjectName(QStringLiteral("Title"));

  const std::optional<QString> version = links_.Key().Value(QStringLiteral("Version"));
  version_ = PlainLabel(version ? QStringLiteral(" ") + *version : QString(), this);
  version_->setObjectName(QStringLiteral("ProductVersion"));
  auto* systemName = PlainLabel(system.name, this);
  systemName->setObjectName(QStringLiteral("SystemName"));
  systemName->setWordWrap(true);
  auto* systemVersion = PlainLabel(system.version, this);
  systemVersion->setObjectName(QStringLiteral("SystemVersion"));

  auto* facts = new QGridLayout;
  facts->setHorizontalSpacing(10);
  facts->setVerticalSpacing(6);
  facts->addWidget(productHeading, 0, 0, 1, 2);
  facts->addWidget(PlainLabel(QStringLiteral("Product Name                 :"), this), 1, 0);
  facts->addWidget(PlainLabel(product, this), 1, 1);
  facts->addWidget(PlainLabel(QStringLiteral("Product Version              :"), this), 2, 0);
  facts->addWidget(version_, 2, 1);
  facts->setRowMinimumHeight(3, 10);
  facts->addWidget(systemHeading, 4, 0, 1, 2);
  facts->addWidget(PlainLabel(QStringLiteral("Operating System           :"), this), 5, 0);
  facts->addWidget(systemName, 5, 1);
  facts->addWidget(PlainLabel(QStringLiteral("Version                           :"), this), 6, 0);
  facts->addWidget(systemVersion, 6, 1);
  facts->setColumnStretch(1, 1);

  support_ = new workspace::CLinkLabel(QStringLiteral("Support"), this);
  support_->setObjectName(QStringLiteral("SupportLink"));
  chat_ = new workspace::CLinkLabel(links_.Key().Value(QStringLiteral("LiveChatText")).value_or(QString()), this);
  chat_->setObjectName(QStringLiteral("LiveChatLink"));
  connect(support_, &workspace::CLinkLabel::Clicked, this, [this] {
    support_->SetVisited(true);
    links_.OpenHelp(this);
  });
  connect(chat_, &workspace::CLinkLabel::Clicked, this, [this] {
    chat_->SetVisited(true);
    if (links_.OpenLiveChat(this)) update();
  });
  auto* linkRow = new QHBoxLayout;
  linkRow->addWidget(support_);
  linkRow->addSpacing(24);
  linkRow->addWidget(chat_);
  linkRow->addStretch(1);

  licence_ = new workspace::CColorButton(QStringLiteral("View User License"), this);
  licence_->setObjectName(QStringLiteral("ViewUserLicense"));
  licence_->setMinimumWidth(140);
  auto* close = new workspace::CColorButton(QStringLiteral("Close"), this);
  close->setObjectName(QStringLiteral("CloseButton"));
  close->setMinimumWidth(90);
  close->setDefault(true);
  connect(licence_, &QPushButton::clicked, this, &CAboutDlg::ShowLicence);
  connect(close, &QPushButton::clicked, this, &QDialog::accept);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(licence_);
  buttons->addWidget(close);

  auto* right = new QVBoxLayout;
  right->setContentsMargins(18, 16, 18, 14);
  right->setSpacing(10);
  right->addWidget(title);
  right->addSpacing(6);
  right->addLayout(facts);
  right->addSpacing(8);
  right->addLayout(linkRow);
  right->addStretch(1);
  right->addLayout(buttons);
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(picture, 0, Qt::AlignTop);
  layout->addLayout(right, 1);
  setMinimumWidth(560);
}

void CAboutDlg::ShowLicence() {
  CEulaDlg dialog(links_.Key().InstalledFile(QStringLiteral("eula.dat")).value_or(QString()), this);
  showLicence_(dialog);
}

}  // namespace shell
