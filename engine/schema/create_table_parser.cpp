#include "engine/schema/create_table_parser.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <initializer_list>
#include <unordered_map>

#include "engine/schema/names.h"

namespace engine {
namespace {

enum class TokenKind { Word, Quoted, String, Group };

struct Token {
  TokenKind kind;
  std::string_view text;  // as written; a group keeps its parentheses
};

bool IsQuote(char c) { return c == '"' || c == '\'' || c == '`' || c == '['; }
bool IsSpace(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

bool IsKeyword(const Token& t, std::initializer_list<std::string_view> words) {
  if (t.kind != TokenKind::Word) return false;
  return std::any_of(words.begin(), words.end(),
                     [&](std::string_view w) { return EqualIgnoringCase(t.text, w); });
}

// Index after the quoted run opening at `i`; a doubled closing quote stands for
// itself. An unterminated quote runs to the end of the text.
size_t SkipQuoted(std::string_view s, size_t i) {
  const char close = s[i] == '[' ? ']' : s[i];
  for (size_t j = i + 1; j < s.size(); ++j) {
    if (s[j] != close) continue;
    if (close != ']' && j + 1 < s.size() && s[j + 1] == close) {
      ++j;
      continue;
    }
    return j + 1;
  }
  return s.size();
}

// Index after a comment starting at `i`, or `i` when none starts there.
size_t SkipComment(std::string_view s, size_t i) {
  if (s.compare(i, 2, "--") == 0) {
    size_t end = s.find('\n', i);
    return end == std::string_view::npos ? s.size() : end + 1;
  }
  if (s.compare(i, 2, "/*") == 0) {
    size_t end = s.find("*/", i + 2);
    return end == std::string_view::npos ? s.size() : end + 2;
  }
  return i;
}

// Index of the parenthesis closing the one at `open`, or npos when the text ends first.
size_t MatchingParen(std::string_view s, size_t open) {
  int depth = 0;
  for (size_t i = open; i < s.size();) {
    if (size_t after = SkipComment(s, i); after != i) {
      i = after;
    } else if (IsQuote(s[i])) {
      i = SkipQuoted(s, i);
    } else {
      if (s[i] == '(') ++depth;
      if (s[i] == ')' && --depth == 0) return i;
      ++i;
    }
  }
  return std::string_view::npos;
}

// The text between the first unquoted "(" and its partner. `closed` tells whether
// the partner was found (a text cut short by damage has none).
std::string_view ColumnList(std::string_view s, bool* closed) {
  *closed = false;
  for (size_t i = 0; i < s.size();) {
    if (size_t after = SkipComment(s, i); after != i) {
      i = after;
    } else if (IsQuote(s[i])) {
      i = SkipQuoted(s, i);
    } else if (s[i] == '(') {
      size_t close = MatchingParen(s, i);
      *closed = close != std::string_view::npos;
      return s.substr(i + 1, *closed ? close - i - 1 : std::string_view::npos);
    } else {
      ++i;
    }
  }
  return {};
}

// Calls `onItem` with each piece of `s` between the commas that stand outside
// quotes and parentheses, in order, until it returns false. No list of the pieces
// is built: a crafted text of millions of them costs no memory.
template <typename F>
void ForEachTopLevel(std::string_view s, F onItem) {
  size_t start = 0;
  int depth = 0;
  for (size_t i = 0; i < s.size();) {
    if (size_t after = SkipComment(s, i); after != i) {
      i = after;
    } else if (IsQuote(s[i])) {
      i = SkipQuoted(s, i);
    } else {
      if (s[i] == '(') ++depth;
      if (s[i] == ')' && depth > 0) --depth;
      if (s[i] == ',' && depth == 0) {
        if (!onItem(s.substr(start, i - start), false)) return;
        start = i + 1;
      }
      ++i;
    }
  }
  onItem(s.substr(start), true);
}

// Reads the token at or after `*pos` of `s` into `*token` and moves `*pos` past it;
// false when only blanks and comments are left. Tokens are read one at a time, so
// no list of a text's tokens is ever built, however many a crafted text holds.
bool NextToken(std::string_view s, size_t* pos, Token* token) {
  for (size_t i = *pos; i < s.size();) {
    if (size_t after = SkipComment(s, i); after != i) {
      i = after;
    } else if (IsSpace(s[i]) || s[i] == ')') {
      ++i;  // a stray ")" can only come from damage
    } else if (IsQuote(s[i])) {
      const size_t end = SkipQuoted(s, i);
      *token = {s[i] == '\'' ? TokenKind::String : TokenKind::Quoted, s.substr(i, end - i)};
      *pos = end;
      return true;
    } else if (s[i] == '(') {
      const size_t close = MatchingParen(s, i);
      const size_t end = close == std::string_view::npos ? s.size() : close + 1;
      *token = {TokenKind::Group, s.substr(i, end - i)};
      *pos = end;
      return true;
    } else {
      size_t end = i;
      while (end < s.size() && !IsSpace(s[end]) && !IsQuote(s[end]) && s[end] != '(' &&
             s[end] != ')' && SkipComment(s, end) == end) {
        ++end;
      }
      *token = {TokenKind::Word, s.substr(i, end - i)};
      *pos = end;
      return true;
    }
  }
  *pos = s.size();
  return false;
}

// The first `count` tokens of `s` (fewer when it has fewer).
std::vector<Token> FirstTokens(std::string_view s, size_t count) {
  std::vector<Token> tokens;
  size_t pos = 0;
  Token t;
  while (tokens.size() < count && NextToken(s, &pos, &t)) tokens.push_back(t);
  return tokens;
}

// Words that begin a table constraint when they open a definition.
bool StartsTableConstraint(const Token& t) {
  return IsKeyword(t, {"CONSTRAINT", "PRIMARY", "UNIQUE", "CHECK", "FOREIGN"});
}

// Words that begin a column constraint: a definition's second word among them means
// the column has no declared type.
bool StartsColumnConstraint(const Token& t) {
  return IsKeyword(t, {"CONSTRAINT", "PRIMARY", "NOT", "NULL", "UNIQUE", "CHECK", "DEFAULT",
                       "COLLATE", "REFERENCES", "GENERATED", "AS"});
}

// Words that take the next word into the type ("UNSIGNED BIG", "DOUBLE PRECISION").
bool IsTypeQualifier(const Token& t) {
  return IsKeyword(t, {"UNSIGNED", "NATIVE", "VARYING", "DOUBLE"});
}

// The declared type from the first three words after the name (parenthesised groups
// do not count) and how many such words there are.
std::string DeclaredType(const Token* words, size_t count) {
  if (count == 0 || StartsColumnConstraint(words[0])) return {};
  const Token& first = words[0];
  if (!IsTypeQualifier(first) || count < 2 || StartsColumnConstraint(words[1])) {
    return std::string(first.text);
  }
  // DOUBLE keeps its second word only when it ends the definition: "DOUBLE PRECISION"
  // but "DOUBLE" for "DOUBLE PRECISION NOT NULL", as the workspace has always shown.
  if (IsKeyword(first, {"DOUBLE"}) && count > 2) return std::string(first.text);
  return std::string(first.text) + " " + std::string(words[1].text);
}

// One column definition, read token by token: each rule looks at most two tokens
// back, so the definition's tokens are never held in a list.
bool ParseDefinition(std::string_view definition, columndata* column) {
  size_t pos = 0;
  Token name;
  if (!NextToken(definition, &pos, &name) || name.kind == TokenKind::Group) return false;
  if (StartsTableConstraint(name)) return false;
  // Module arguments of a virtual table such as tokenize='porter' are not columns.
  if (name.kind == TokenKind::Word && name.text.find('=') != std::string_view::npos) return false;
  column->name = std::string(name.text);
  Token words[3];  // the first words after the name
  size_t wordCount = 0;
  bool typeEnded = false;
  Token t;
  Token back1, back2;  // the two tokens before `t`
  size_t seen = 0;     // tokens after the name read so far
  for (; NextToken(definition, &pos, &t); back2 = back1, back1 = t) {
    const bool has1 = seen >= 1;
    const bool has2 = seen >= 2;
    ++seen;
    // SQLite's own type text: every token up to the first constraint, the
    // parenthesised size included, one blank between words.
    typeEnded = typeEnded || StartsColumnConstraint(t);
    if (!typeEnded) {
      if (t.kind == TokenKind::Group) column->sqliteType += t.text;
      else column->sqliteType.append(column->sqliteType.empty() ? "" : " ").append(t.text);
    }
    if (t.kind != TokenKind::Group) {
      if (wordCount < 3) words[wordCount] = t;
      ++wordCount;
      if (IsKeyword(t, {"NOT"})) column->notNull = 1;
      if (IsKeyword(t, {"PRIMARY"})) {
        column->primaryKey = 1;
        column->keyPosition = 0;
      }
    }
    if (has2 && IsKeyword(back2, {"PRIMARY"}) && IsKeyword(back1, {"KEY"}) && IsKeyword(t, {"DESC"})) {
      column->keyDescending = true;
    }
    // A DEFAULT takes the token after it; a signed number may stand as two words
    // ("- 5"), a blob as x and its string.
    if (has2 && IsKeyword(back2, {"DEFAULT"})) {
      const bool sign = column->defaultText == "-" || column->defaultText == "+";
      const bool blob = (column->defaultText == "x" || column->defaultText == "X") && t.kind == TokenKind::String;
      if (sign || blob) column->defaultText += t.text;
    }
    if (has1 && IsKeyword(back1, {"DEFAULT"})) column->defaultText = std::string(t.text);
    if (IsKeyword(t, {"DEFAULT"})) column->hasDefault = 1;
    // "AS (expr)", after GENERATED ALWAYS or alone, makes a generated column; it is
    // VIRTUAL unless STORED follows.
    if (has1 && IsKeyword(back1, {"AS"}) && t.kind == TokenKind::Group) column->generated = Generated::Virtual;
    if (has2 && IsKeyword(back2, {"AS"}) && back1.kind == TokenKind::Group && IsKeyword(t, {"STORED"})) {
      column->generated = Generated::Stored;
    }
  }
  column->declaredType = DeclaredType(words, wordCount);
  if (EqualIgnoringCase(UnquoteIdentifier(column->name), "status_sns_id")) {
    column->declaredType = "INTEGER";
  }
  return true;
}

// An identifier as SQLite compares it: unquoted, ASCII letters in upper case.
std::string IdentifierKey(std::string_view name) {
  std::string key = UnquoteIdentifier(name);
  for (char& c : key) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return key;
}

// Marks the columns the table's PRIMARY KEY(...) names, each looked up once.
void ApplyKeyNames(const std::vector<std::string>& keyNames, std::vector<columndata>& columns) {
  if (keyNames.empty()) return;
  // A column named twice in the key counts at its first place, as SQLite keeps it.
  std::unordered_map<std::string, size_t> firstPlace;
  for (size_t k = 0; k < keyNames.size(); ++k) firstPlace.emplace(IdentifierKey(keyNames[k]), k);
  for (columndata& column : columns) {
    const auto it = firstPlace.find(IdentifierKey(column.name));
    if (it == firstPlace.end()) continue;
    column.primaryKey = 1;
    if (column.keyPosition < 0) column.keyPosition = static_cast<int16_t>(std::min<size_t>(it->second, INT16_MAX));
  }
}

}  // namespace

std::string UnquoteIdentifier(std::string_view name) {
  if (name.size() < 2 || !IsQuote(name.front())) return std::string(name);
  const char close = name.front() == '[' ? ']' : name.front();
  if (name.back() != close) return std::string(name);
  std::string out;
  for (size_t i = 1; i + 1 < name.size(); ++i) {
    out += name[i];
    if (close != ']' && name[i] == close && i + 2 < name.size() && name[i + 1] == close) ++i;
  }
  return out;
}

bool SameIdentifier(std::string_view a, std::string_view b) {
  return EqualIgnoringCase(UnquoteIdentifier(a), UnquoteIdentifier(b));
}

void ExtractPrimaryKeyNames(std::string_view createSql, std::vector<std::string>& names) {
  bool closed = false;
  ForEachTopLevel(ColumnList(createSql, &closed), [&](std::string_view item, bool) {
    const std::vector<Token> tokens = FirstTokens(item, 5);  // CONSTRAINT name PRIMARY KEY (...)
    size_t k = 0;
    if (k < tokens.size() && IsKeyword(tokens[k], {"CONSTRAINT"})) k += 2;
    if (!(k + 2 < tokens.size() && IsKeyword(tokens[k], {"PRIMARY"}) && IsKeyword(tokens[k + 1], {"KEY"}) &&
          tokens[k + 2].kind == TokenKind::Group)) {
      return true;
    }
    std::string_view group = tokens[k + 2].text;
    std::string_view inner = group.substr(1, group.back() == ')' ? group.size() - 2 : group.size() - 1);
    size_t added = 0;
    ForEachTopLevel(inner, [&](std::string_view part, bool) {
      Token first;
      size_t pos = 0;
      if (NextToken(part, &pos, &first)) {
        names.emplace_back(first.text);
        ++added;
      }
      return added <= kMaxColumns;
    });
    return false;
  });
}

bool IsWithoutRowid(std::string_view createSql) {
  bool closed = false;
  const std::string_view list = ColumnList(createSql, &closed);
  if (!closed) return false;
  const size_t after = static_cast<size_t>(list.data() + list.size() - createSql.data()) + 1;
  const std::string_view options = createSql.substr(std::min(after, createSql.size()));
  // The options stand apart by commas too ("WITHOUT ROWID,STRICT"): a word is read
  // in its pieces between commas.
  bool afterWithout = false;
  size_t pos = 0;
  Token t;
  while (NextToken(options, &pos, &t)) {
    if (t.kind != TokenKind::Word) {
      afterWithout = false;
      continue;
    }
    for (size_t start = 0; start <= t.text.size();) {
      size_t comma = t.text.find(',', start);
      if (comma == std::string_view::npos) comma = t.text.size();
      const std::string_view piece = t.text.substr(start, comma - start);
      if (!piece.empty()) {
        if (afterWithout && EqualIgnoringCase(piece, "ROWID")) return true;
        afterWithout = EqualIgnoringCase(piece, "WITHOUT");
      }
      start = comma + 1;
    }
  }
  return false;
}

int RowidAliasColumn(const std::vector<columndata>& columns) {
  int alias = -1;
  int keys = 0;
  for (size_t i = 0; i < columns.size(); ++i) {
    if (!columns[i].primaryKey) continue;
    ++keys;
    // The type must be exactly INTEGER ("INTEGER(10)" or "INT" make an ordinary
    // key), and a column-level PRIMARY KEY DESC makes none either.
    if (EqualIgnoringCase(columns[i].sqliteType, "INTEGER") && !columns[i].keyDescending) {
      alias = static_cast<int>(i);
    }
  }
  return keys == 1 ? alias : -1;
}

std::vector<columndata> ParseCreateTable(std::string_view createSql, std::string* refused) {
  bool closed = false;
  std::vector<columndata> columns;
  bool tooMany = false;
  ForEachTopLevel(ColumnList(createSql, &closed), [&](std::string_view item, bool last) {
    // A text cut short ends inside its last definition, which may be cut as well.
    if (last && !closed) return false;
    columndata column;
    if (ParseDefinition(item, &column)) columns.push_back(std::move(column));
    tooMany = columns.size() > kMaxColumns;
    return !tooMany;
  });
  std::vector<std::string> keyNames;
  if (!tooMany) ExtractPrimaryKeyNames(createSql, keyNames);
  if (tooMany || keyNames.size() > kMaxColumns) {
    // No table SQLite can create: nothing of it is trusted, and nothing large is kept.
    if (refused) {
      *refused = std::string(tooMany ? "its CREATE text lists" : "its PRIMARY KEY names") + " more than " +
                 std::to_string(kMaxColumns) + " columns";
    }
    return {};
  }
  ApplyKeyNames(keyNames, columns);
  columns.shrink_to_fit();  // a schema keeps every table's list: none holds spare room
  return columns;
}

}  // namespace engine
