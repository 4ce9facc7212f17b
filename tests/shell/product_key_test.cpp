// The product key read from an INI file named by KESTRUN_PRODUCT_KEY, and the Help,
// Submit Enquiry and Knowledgebase commands that open what it names.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <sys/stat.h>

#include "shell/product_key.h"

namespace {

// Points KESTRUN_PRODUCT_KEY at `path` for the life of the object, then puts back
// what was there before.
class ProductKeyVariable {
 public:
  explicit ProductKeyVariable(const QString& path)
      : hadValue_(qEnvironmentVariableIsSet("KESTRUN_PRODUCT_KEY")), old_(qgetenv("KESTRUN_PRODUCT_KEY")) {
    qputenv("KESTRUN_PRODUCT_KEY", QFile::encodeName(path));
  }
  ~ProductKeyVariable() {
    if (hadValue_) qputenv("KESTRUN_PRODUCT_KEY", old_);
    else qunsetenv("KESTRUN_PRODUCT_KEY");
  }

 private:
  bool hadValue_;
  QByteArray old_;
};

QString WriteFile(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  EXPECT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(bytes);
  return path;
}

QByteArray ReadBytes(const QString& path) {
  QFile file(path);
  EXPECT_TRUE(file.open(QIODevice::ReadOnly));
  return file.readAll();
}

// What ProductLinks told the user and what it handed to the desktop.
struct Recorder {
  QStringList reports;
  QList<QUrl> opened;
  bool openSucceeds = true;

  shell::ProductLinks Links(shell::ProductKey key) {
    return shell::ProductLinks(
        std::move(key), [this](QWidget*, const QString& text) { reports << text; },
        [this](const QUrl& url) {
          opened << url;
          return openSucceeds;
        });
  }
};

TEST(ProductKeyTest, ReadOnlyIniIsReadWholeAndNeverWritten) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString longText = QString(400, QLatin1Char('x'));
  const QByteArray ini = "; written by the installer\n"
                         "Version=1.2.0.3\n"
                         "ExeName=kestrun-repair\n"
                         "LiveChatText=" + longText.toLatin1() + "\n"
                         "Update=Chat with us, live\n"
                         "KB=\"https://kb.example/a;b#part\"\n"
                         "SupTick=https://help.example/enquiry?product=kestrun&lang=en\n"
                         "LiveChatLink=\n";
  const QString path = WriteFile(dir.filePath("product-key.ini"), ini);
  ASSERT_EQ(chmod(QFile::encodeName(path).constData(), 0444), 0);
  const ProductKeyVariable variable(path);
  {
    const shell::ProductKey key = shell::ProductKey::Open();
    const struct {
      const char* name;
      std::optional<QString> value;
    } cases[] = {
        {"Version", QStringLiteral("1.2.0.3")},
        {"ExeName", QStringLiteral("kestrun-repair")},
        {"LiveChatText", longText},
        {"Update", QStringLiteral("Chat with us, live")},
        {"KB", QStringLiteral("https://kb.example/a;b#part")},
        {"SupTick", QStringLiteral("https://help.example/enquiry?product=kestrun&lang=en")},
        {"LiveChatLink", std::nullopt},
        {"Path", std::nullopt},
    };
    for (const auto& c : cases) {
      SCOPED_TRACE(c.name);
      EXPECT_EQ(key.Value(QString::fromLatin1(c.name)), c.value);
    }
    Recorder recorder;
    shell::ProductLinks links = recorder.Links(key);
    links.OpenEnquiry(nullptr);
    links.OpenKnowledgebase(nullptr);
    EXPECT_EQ(recorder.opened, (QList<QUrl>{QUrl("https://help.example/enquiry?product=kestrun&lang=en"),
                                            QUrl("https://kb.example/a;b#part")}));
  }
  EXPECT_EQ(ReadBytes(path), ini) << "the key is only read";
}

TEST(ProductKeyTest, OnlyWebAddressesAreOpened) {
  const struct {
    const char* name;
    const char* value;
    bool accepted;
  } cases[] = {
      {"https", "https://www.example.com/support", true},
      {"http with port and query", "http://support.example:8080/enquiry?id=7", true},
      {"upper-case scheme", "HTTPS://Example.com/kb", true},
      {"script", "javascript:alert(1)", false},
      {"local file", "file:///etc/passwd", false},
      {"ftp", "ftp://ftp.example.com/kb", false},
      {"no scheme", "www.example.com/kb", false},
      {"no host", "https:///kb", false},
      {"program", "/usr/bin/xterm", false},
  };
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const QString path = WriteFile(dir.filePath("key.ini"), QByteArray("SupTick=\"") + c.value + "\"\nKB=\"" +
                                                                 c.value + "\"\n");
    const shell::ProductKey key(path);
    EXPECT_EQ(key.WebAddress("SupTick").has_value(), c.accepted);
    Recorder recorder;
    shell::ProductLinks links = recorder.Links(key);
    links.OpenEnquiry(nullptr);
    links.OpenKnowledgebase(nullptr);
    if (c.accepted) {
      EXPECT_EQ(recorder.opened, (QList<QUrl>{QUrl(c.value), QUrl(c.value)}));
      EXPECT_TRUE(recorder.reports.isEmpty()) << recorder.reports.join('\n').toStdString();
    } else {
      EXPECT_TRUE(recorder.opened.isEmpty()) << "a refused address never reaches the desktop";
      ASSERT_EQ(recorder.reports.size(), 2);
      EXPECT_TRUE(recorder.reports[0].contains("\"SupTick\"")) << recorder.reports[0].toStdString();
      EXPECT_TRUE(recorder.reports[1].contains("\"KB\"")) << recorder.reports[1].toStdString();
    }
  }
}

TEST(ProductLinksTest, MissingValueIsReportedByNameAndNothingOpens) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const struct {
    const char* name;
    QByteArray ini;
    void (shell::ProductLinks::*command)(QWidget*);
    const char* named;
  } cases[] = {
      {"enquiry without SupTick", "KB=https://kb.example/\nPath=.\n", &shell::ProductLinks::OpenEnquiry,
       "\"SupTick\""},
      {"enquiry with empty SupTick", "SupTick=\n", &shell::ProductLinks::OpenEnquiry, "\"SupTick\""},
      {"knowledge base without KB", "SupTick=https://help.example/\n", &shell::ProductLinks::OpenKnowledgebase,
       "\"KB\""},
      {"help without Path", "SupTick=https://help.example/\n", &shell::ProductLinks::OpenHelp, "\"Path\""},
      {"help file not installed", "Path=" + QFile::encodeName(dir.filePath("empty")) + "\n",
       &shell::ProductLinks::OpenHelp, "empty"},
      {"no key at all", QByteArray(), &shell::ProductLinks::OpenEnquiry, "\"SupTick\""},
  };
  ASSERT_TRUE(QDir(dir.path()).mkdir("empty"));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const QString path = c.ini.isNull() ? dir.filePath("absent.ini") : WriteFile(dir.filePath("key.ini"), c.ini);
    const ProductKeyVariable variable(path);
    Recorder recorder;
    shell::ProductLinks links = recorder.Links(shell::ProductKey::Open());
    (links.*c.command)(nullptr);
    EXPECT_TRUE(recorder.opened.isEmpty());
    ASSERT_EQ(recorder.reports.size(), 1);
    EXPECT_TRUE(recorder.reports[0].contains(c.named)) << recorder.reports[0].toStdString();
  }
}

TEST(ProductLinksTest, HelpOpensTheHelpFileOfPathAndReportsARefusal) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  ASSERT_TRUE(QDir(dir.path()).mkpath("install/share"));
  const QString installed = dir.filePath("install/share");
  const QString help = WriteFile(installed + "/help.html", "<html></html>");
  const struct {
    const char* name;
    QString path;
  } cases[] = {
      {"absolute", installed},
      {"absolute with a separator", installed + "/"},
      {"relative to the INI file's folder", "install/share"},
      {"relative with dots", "./install/../install/share/"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const shell::ProductKey key(WriteFile(dir.filePath("key.ini"), "Path=" + c.path.toUtf8() + "\n"));
    EXPECT_EQ(key.HelpFile(), QDir::toNativeSeparators(help));
    Recorder recorder;
    recorder.Links(key).OpenHelp(nullptr);
    EXPECT_EQ(recorder.opened, QList<QUrl>{QUrl::fromLocalFile(help)});
    EXPECT_TRUE(recorder.reports.isEmpty());
  }

  Recorder refusing;
  refusing.openSucceeds = false;
  refusing.Links(shell::ProductKey(WriteFile(dir.filePath("key.ini"), "Path=" + installed.toUtf8() + "\n")))
      .OpenHelp(nullptr);
  ASSERT_EQ(refusing.reports.size(), 1) << "a desktop that will not open the file is told to the user";
  EXPECT_TRUE(refusing.reports[0].contains(QDir::toNativeSeparators(help)));
}

}  // namespace
