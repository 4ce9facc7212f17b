// The CREATE TABLE statement of the table that receives a table's deleted records.
#include <algorithm>
#include <cctype>

#include "engine/schema/deleted_table_ddl.h"

#include "engine/schema/create_table_parser.h"
#include "engine/schema/names.h"
#include "engine/schema/sql_identifier.h"

namespace engine {
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

bool IsStat(const std::string& type) { return EqualIgnoringCase(type, "stat"); }

}  // namespace

std::string BuildDeletedTableDdl(const TableEntry& entry) {
  // SQLite refuses a table without columns; such a table has no companion to save.
  if (std::none_of(entry.columns.begin(), entry.columns.end(),
                   [](const columndata& c) { return c.generated != Generated::Virtual; })) {
    return {};
  }
  std::string ddl = "CREATE TABLE " + QuoteIdentifier(CompanionTableName(entry)) + " (";
  bool first = true;
  for (const columndata& column : entry.columns) {
    // A VIRTUAL generated column has no value in a record: the carved records
    // hold the stored columns only, and so does this table.
    if (column.generated == Generated::Virtual) continue;
    if (!first) ddl += ",";
    first = false;
    ddl += QuoteIdentifier(UnquoteIdentifier(column.name));
    if (SafeDeclaredType(column.declaredType) && !IsStat(column.declaredType)) {
      ddl += " " + column.declaredType;
    }
  }
  return ddl + ")";
}

std::string DeletedTableName(const std::string& companionName) {
  return WithoutDeletedSuffix(companionName) + "_deleted";
}

std::string CompanionTableName(const TableEntry& companion) {
  return companion.outputName.empty() ? DeletedTableName(companion.name) : companion.outputName;
}

}  // namespace engine
