#include "engine/writer/stored_sql.h"

#include <algorithm>
#include <cctype>

#include "engine/schema/create_table_parser.h"
#include "engine/schema/names.h"

namespace engine::writer {

size_t SkipBlanks(std::string_view s, size_t i, bool semicolons) {
  while (i < s.size()) {
    if (std::isspace(static_cast<unsigned char>(s[i])) || (semicolons && s[i] == ';')) {
      ++i;
    } else if (s.compare(i, 2, "--") == 0) {
      const size_t end = s.find('\n', i);
      i = end == std::string_view::npos ? s.size() : end + 1;
    } else if (s.compare(i, 2, "/*") == 0) {
      const size_t end = s.find("*/", i + 2);
      i = end == std::string_view::npos ? s.size() : end + 2;
    } else {
      break;
    }
  }
  return i;
}

namespace {

enum class TokenKind { Word, Quoted, Punct, End };

struct Token {
  TokenKind kind = TokenKind::End;
  std::string_view text;
};

bool IsWordByte(char c) {
  const auto u = static_cast<unsigned char>(c);
  return std::isalnum(u) || c == '_' || c == '$' || u >= 0x80;
}

// Reads the tokens of a stored text one by one, skipping blanks and comments. A
// quote left open runs to the end of the text.
class Tokens {
 public:
  explicit Tokens(std::string_view s) : s_(s) {}

  Token Next() {
    SkipBlanks();
    Token t;
    if (i_ >= s_.size()) return t;
    const size_t start = i_;
    const char c = s_[i_];
    if (c == '"' || c == '\'' || c == '`' || c == '[') {
      const char close = c == '[' ? ']' : c;
      for (++i_; i_ < s_.size(); ++i_) {
        if (s_[i_] != close) continue;
        if (close != ']' && i_ + 1 < s_.size() && s_[i_ + 1] == close) {
          ++i_;  // a doubled quote stands for itself
          continue;
        }
        ++i_;
        break;
      }
      t.kind = TokenKind::Quoted;
    } else if (IsWordByte(c)) {
      while (i_ < s_.size() && IsWordByte(s_[i_])) ++i_;
      t.kind = TokenKind::Word;
    } else {
      ++i_;
      t.kind = TokenKind::Punct;
    }
    t.text = s_.substr(start, i_ - start);
    return t;
  }

 private:
  void SkipBlanks() { i_ = writer::SkipBlanks(s_, i_, false); }

  std::string_view s_;
  size_t i_ = 0;
};

bool Is(const Token& t, std::string_view word) {
  return t.kind == TokenKind::Word && EqualIgnoringCase(t.text, word);
}
bool IsPunct(const Token& t, char c) { return t.kind == TokenKind::Punct && t.text.size() == 1 && t.text[0] == c; }
bool IsName(const Token& t) { return t.kind == TokenKind::Word || t.kind == TokenKind::Quoted; }

const char* KindText(CreateKind kind) {
  switch (kind) {
    case CreateKind::Table: return "table";
    case CreateKind::VirtualTable: return "virtual table";
    case CreateKind::View: return "view";
    case CreateKind::Trigger: return "trigger";
  }
  return "object";
}

// What may follow a table's column list: its options, then the end of the text.
std::string RefusalAfterColumnList(Tokens& tokens) {
  for (Token t = tokens.Next(); t.kind != TokenKind::End; t = tokens.Next()) {
    if (Is(t, "WITHOUT") || Is(t, "ROWID") || Is(t, "STRICT") || IsPunct(t, ',')) continue;
    if (IsPunct(t, ';')) continue;  // a second statement, if any, is refused by its tail
    return "unexpected text after the column list";
  }
  return {};
}

// Reads a column list from its opening parenthesis to its partner.
bool SkipGroup(Tokens& tokens) {
  int depth = 1;
  for (Token t = tokens.Next(); t.kind != TokenKind::End; t = tokens.Next()) {
    if (IsPunct(t, '(')) ++depth;
    if (IsPunct(t, ')') && --depth == 0) return true;
  }
  return false;
}

}  // namespace

bool IsVirtualTableText(std::string_view sql) {
  Tokens tokens(sql);
  return Is(tokens.Next(), "CREATE") && Is(tokens.Next(), "VIRTUAL");
}

bool IsSavedModule(std::string_view module) {
  // The full-text and r-tree modules keep their data in shadow tables of the file;
  // every other module (eponymous tables, file readers, extensions the output
  // library does not have) stores nothing a repair can give back.
  static const std::string_view kModules[] = {"fts3", "fts4", "fts5", "rtree", "rtree_i32",
                                              "geopoly", "fts4aux", "fts5vocab"};
  return std::any_of(std::begin(kModules), std::end(kModules),
                     [&](std::string_view m) { return EqualIgnoringCase(m, module); });
}

std::string RefusalOfStoredCreate(std::string_view sql, CreateKind expected, std::string_view name) {
  Tokens tokens(sql);
  Token t = tokens.Next();
  if (t.kind == TokenKind::End) return "empty CREATE text";
  if (!Is(t, "CREATE")) return "not a CREATE statement";
  t = tokens.Next();
  if (Is(t, "TEMP") || Is(t, "TEMPORARY")) return "a temporary object is not stored in a database file";
  CreateKind kind;
  if (Is(t, "VIRTUAL")) {
    if (!Is(tokens.Next(), "TABLE")) return "not a CREATE TABLE, VIEW or TRIGGER statement";
    kind = CreateKind::VirtualTable;
  } else if (Is(t, "TABLE")) {
    kind = CreateKind::Table;
  } else if (Is(t, "VIEW")) {
    kind = CreateKind::View;
  } else if (Is(t, "TRIGGER")) {
    kind = CreateKind::Trigger;
  } else {
    // Indexes are never written.
    return "not a CREATE TABLE, VIEW or TRIGGER statement";
  }
  if (kind != expected && !(kind == CreateKind::VirtualTable && expected == CreateKind::Table)) {
    return std::string("a CREATE ") + KindText(kind) + " statement where a " + KindText(expected) + " is stored";
  }
  t = tokens.Next();
  if (Is(t, "IF")) {
    if (!Is(tokens.Next(), "NOT") || !Is(tokens.Next(), "EXISTS")) return "a CREATE text SQLite does not write";
    t = tokens.Next();
  }
  if (!IsName(t)) return "no object name after CREATE";
  Token objectName = t;
  t = tokens.Next();
  if (IsPunct(t, '.')) {
    // Only the main schema is the output file; temp and attached schemas are not.
    if (!EqualIgnoringCase(UnquoteIdentifier(objectName.text), "main")) {
      return "it names the schema " + UnquoteIdentifier(objectName.text) + "; only main is saved";
    }
    objectName = tokens.Next();
    if (!IsName(objectName)) return "no object name after CREATE";
    t = tokens.Next();
  }
  if (!EqualIgnoringCase(UnquoteIdentifier(objectName.text), name)) {
    return "it creates " + UnquoteIdentifier(objectName.text) + ", not " + std::string(name);
  }
  switch (kind) {
    case CreateKind::Table:
      if (Is(t, "AS")) return "CREATE TABLE ... AS SELECT would add rows the damaged file does not hold";
      if (!IsPunct(t, '(')) return "no column list";
      if (!SkipGroup(tokens)) return "the column list is not closed";
      return RefusalAfterColumnList(tokens);
    case CreateKind::VirtualTable: {
      if (!Is(t, "USING")) return "no module after USING";
      const Token module = tokens.Next();
      if (!IsName(module) || !IsSavedModule(UnquoteIdentifier(module.text))) {
        return "the module " + std::string(module.text) + " is not one the repaired database can hold";
      }
      return {};
    }
    case CreateKind::View:
    case CreateKind::Trigger:
      // The rest is the view's query or the trigger's body: SQLite parses it, and
      // neither runs during the save.
      return {};
  }
  return {};
}

}  // namespace engine::writer
