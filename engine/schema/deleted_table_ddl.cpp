// The CREATE TABLE statement of the table that receives a table's deleted records.
#include <algorithm>
#include <cctype>

#include "engine/reader/sqlite_repair.h"
#include "engine/schema/create_table_parser.h"
#include "engine/schema/sql_identifier.h"

using namespace engine;

namespace {

// A declared type goes into the statement only when it is plain words or one quoted
// name: the type of a damaged text must not carry other SQL along.
bool SafeDeclaredType(const std::string& type) {
  if (type.empty()) return false;
  if (std::all_of(type.begin(), type.end(), [](unsigned char c) {
        return std::isalnum(c) || c == '_' || c == ' ';
      })) {
    return true;
  }
  const char open = type.front();
  if (open != '"' && open != '`' && open != '[' && open != '\'') return false;
  // The whole text must be one quoted run: quoting it again gives it back.
  std::string inner = UnquoteIdentifier(type);
  if (inner == type) return false;
  const char close = open == '[' ? ']' : open;
  std::string requoted(1, open);
  for (char c : inner) {
    requoted += c;
    if (c == close && close != ']') requoted += c;
  }
  requoted += close;
  return requoted == type && (close != ']' || inner.find(']') == std::string::npos);
}

bool IsStat(const std::string& type) {
  return type.size() == 4 && std::equal(type.begin(), type.end(), "stat", [](char a, char b) {
           return std::tolower(static_cast<unsigned char>(a)) == b;
         });
}

}  // namespace

std::string CSqliteRepair::BuildDeletedTableDdl(const TableEntry& entry) {
  currentTable = &entry;
  std::string base = entry.name;
  const std::string suffix = kDeletedSuffix;
  if (base.size() >= suffix.size() && base.compare(base.size() - suffix.size(), suffix.size(), suffix) == 0) {
    base.resize(base.size() - suffix.size());
  }
  std::string ddl = "CREATE TABLE " + QuoteIdentifier(base + "_deleted") + " (";
  bool first = true;
  for (const columndata& column : entry.columns) {
    if (StopRequested()) break;
    if (!first) ddl += ",";
    first = false;
    ddl += QuoteIdentifier(UnquoteIdentifier(column.name));
    if (SafeDeclaredType(column.declaredType) && !IsStat(column.declaredType)) {
      ddl += " " + column.declaredType;
    }
  }
  return ddl + ")";
}
