// The log report file: what Save Log writes and where.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace workspace {

inline constexpr const char* kLogHeader = "Dravolt Kestrun Repair for SQLite Log Report...";
inline constexpr const char* kLogSuggestedName = "DravoltKestrunRepairforSQLite.log";

// Every line in order, each followed by CR LF (the last included), as UTF-16
// little-endian without a byte order mark: twice as many bytes as characters.
QByteArray LogReportBytes(const QStringList& lines);

// The file a chosen name stands for: the name itself when it ends in ".log"
// (letter case ignored), else the name with ".log" appended.
QString LogReportTarget(const QString& chosen);

}  // namespace workspace
