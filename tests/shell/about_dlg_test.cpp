// The About box: the product version from the product key, the system facts, the
// links turning purple when clicked, and the licence text line by line.
#include <gtest/gtest.h>

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include "shell/about_dlg.h"

namespace {

using shell::CAboutDlg;

struct Installed {
  QTemporaryDir dir;
  QStringList opened;
  QStringList reports;
  std::unique_ptr<shell::ProductLinks> links;

  explicit Installed(const QString& values) {
    QFile ini(dir.filePath(QStringLiteral("product-key.ini")));
    EXPECT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write(values.toUtf8());
    ini.close();
    links = std::make_unique<shell::ProductLinks>(
        shell::ProductKey(ini.fileName()), [this](QWidget*, const QString& text) { reports << text; },
        [this](const QUrl& url) {
          opened << url.toString();
          return true;
        });
  }
  void WriteLicence(int lines) {
    QFile eula(dir.filePath(QStringLiteral("eula.dat")));
    ASSERT_TRUE(eula.open(QIODevice::WriteOnly));
    for (int i = 1; i <= lines; ++i) eula.write(QStringLiteral("line %1 \u00e9\r\n").arg(i).toUtf8());
  }
};

TEST(AboutDlgTest, VersionLinksAndLicence) {
  Installed installed(QStringLiteral("Path=.\nVersion=1.0.0.1\nLiveChatText=Chat with us\n"
                                     "LiveChatLink=https://chat.example/kestrun\n"));
  installed.WriteLicence(100);
  QFile help(installed.dir.filePath(QStringLiteral("help.html")));
  ASSERT_TRUE(help.open(QIODevice::WriteOnly));
  help.close();
  QStringList licence;
  CAboutDlg about(*installed.links, {QStringLiteral("Test OS"), shell::SystemVersionText(6, 1, 7601)}, nullptr,
                  [&](shell::CEulaDlg& viewer) {
                    EXPECT_EQ(viewer.windowTitle(), "End User License Agreement");
                    for (int i = 0; i < viewer.List()->topLevelItemCount(); ++i) {
                      licence << viewer.List()->topLevelItem(i)->text(0);
                    }
                  });
  about.show();
  EXPECT_EQ(about.windowTitle(), "About Dravolt Kestrun Repair for SQLite");
  EXPECT_EQ(about.VersionText(), " 1.0.0.1");
  EXPECT_EQ(about.findChild<QLabel*>("SystemVersion")->text(), "6. 1.7601");
  EXPECT_EQ(about.findChild<QLabel*>("SystemName")->text(), "Test OS");

  workspace::CLinkLabel* support = about.SupportLink();
  workspace::CLinkLabel* chat = about.ChatLink();
  EXPECT_EQ(chat->text(), "Chat with us");
  EXPECT_EQ(support->Colour(), workspace::CLinkLabel::kLinkColour);
  QTest::mouseClick(support, Qt::LeftButton);
  EXPECT_EQ(support->Colour(), workspace::CLinkLabel::kVisitedColour);
  EXPECT_EQ(chat->Colour(), workspace::CLinkLabel::kLinkColour) << "the other link stays blue";
  ASSERT_EQ(installed.opened.size(), 1);
  EXPECT_TRUE(installed.opened[0].endsWith("help.html"));
  QTest::mouseClick(chat, Qt::LeftButton);
  EXPECT_EQ(chat->Colour(), workspace::CLinkLabel::kVisitedColour);
  EXPECT_EQ(installed.opened.back(), "https://chat.example/kestrun");
  EXPECT_TRUE(installed.reports.isEmpty());

  about.LicenceButton()->click();
  ASSERT_EQ(licence.size(), 100);
  EXPECT_EQ(licence.front(), "line 1 \u00e9");
  EXPECT_EQ(licence.back(), "line 100 \u00e9");
}

TEST(AboutDlgTest, MissingValuesLeaveTheirLabelsEmpty) {
  Installed installed(QStringLiteral("Path=.\n"));
  int rows = -1;
  CAboutDlg about(*installed.links, shell::CurrentSystemFacts(), nullptr,
                  [&](shell::CEulaDlg& viewer) { rows = viewer.List()->topLevelItemCount(); });
  EXPECT_EQ(about.VersionText(), "");
  EXPECT_EQ(about.ChatLink()->text(), "");
  about.LicenceButton()->click();
  EXPECT_EQ(rows, 0) << "no licence file: an empty viewer";
  // The platform's own facts: a name, and the version as three numbers.
  const shell::SystemFacts facts = shell::CurrentSystemFacts();
  EXPECT_FALSE(facts.name.isEmpty());
  EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d+\\. \\d+\\.\\d+$")).match(facts.version).hasMatch())
      << facts.version.toStdString();
}

}  // namespace
