// `FILEPROPERTY`: one database file the drive search found, as the result list shows
// it, and the one date-time text format its time stamps are written and read in.
#pragma once

#include <QDateTime>
#include <QList>
#include <QLocale>
#include <QMetaType>
#include <QString>

namespace shell {

struct FileProperty {
  QString path;      // the searched folder followed by the file name
  QString size;      // bytes / 1024, rounded down, as a decimal integer
  QString created;   // empty when the file system keeps no creation time
  QString accessed;
  QString modified;
};

using FileProperties = QList<FileProperty>;

// Texts follow the program's locale: the system's, unless the program sets another
// as the default.
//
// The locale's short date with the year in four digits, so that a parse of
// the text gives back the same century ("yy" would read "99" as 1999 and "01" as
// 1901 and sort them the wrong way round).
inline QString FileDateFormat() {
  QString format = QLocale().dateFormat(QLocale::ShortFormat);
  if (!format.contains(QLatin1String("yyyy"))) format.replace(QLatin1String("yy"), QLatin1String("yyyy"));
  return format;
}

inline QString FileDateTimeFormat() {
  return FileDateFormat() + QLatin1Char(' ') + QLocale().timeFormat(QLocale::ShortFormat);
}

// Local date and time, the time left out when it is exactly midnight. A missing
// time, the epoch itself and anything on or before 30 December 1899 (the zero of
// the classic date value) give an empty text.
inline QString FileTimeText(const QDateTime& time) {
  if (!time.isValid() || time.toMSecsSinceEpoch() == 0) return {};
  const QDateTime local = time.toLocalTime();
  if (local.date() <= QDate(1899, 12, 30)) return {};
  const QLocale locale;
  if (local.time() == QTime(0, 0)) return locale.toString(local.date(), FileDateFormat());
  return locale.toString(local, FileDateTimeFormat());
}

// The reverse of FileTimeText: a date with or without its time; invalid when the
// text is neither.
inline QDateTime ParseFileTime(const QString& text) {
  const QLocale locale;
  QDateTime time = locale.toDateTime(text, FileDateTimeFormat());
  if (time.isValid()) return time;
  const QDate date = locale.toDate(text, FileDateFormat());
  return date.isValid() ? QDateTime(date, QTime(0, 0)) : QDateTime();
}

}  // namespace shell

Q_DECLARE_METATYPE(shell::FileProperty)
