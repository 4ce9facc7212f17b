#include "engine/schema/create_table_parser.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <initializer_list>

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

// Splits at the commas that stand outside quotes and parentheses.
std::vector<std::string_view> SplitTopLevel(std::string_view s) {
  std::vector<std::string_view> items;
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
        items.push_back(s.substr(start, i - start));
        start = i + 1;
      }
      ++i;
    }
  }
  items.push_back(s.substr(start));
  return items;
}

std::vector<Token> Tokenize(std::string_view s) {
  std::vector<Token> tokens;
  for (size_t i = 0; i < s.size();) {
    if (size_t after = SkipComment(s, i); after != i) {
      i = after;
    } else if (IsSpace(s[i]) || s[i] == ')') {
      ++i;  // a stray ")" can only come from damage
    } else if (IsQuote(s[i])) {
      size_t end = SkipQuoted(s, i);
      tokens.push_back({s[i] == '\'' ? TokenKind::String : TokenKind::Quoted, s.substr(i, end - i)});
      i = end;
    } else if (s[i] == '(') {
      size_t close = MatchingParen(s, i);
      size_t end = close == std::string_view::npos ? s.size() : close + 1;
      tokens.push_back({TokenKind::Group, s.substr(i, end - i)});
      i = end;
    } else {
      size_t end = i;
      while (end < s.size() && !IsSpace(s[end]) && !IsQuote(s[end]) && s[end] != '(' &&
             s[end] != ')' && SkipComment(s, end) == end) {
        ++end;
      }
      tokens.push_back({TokenKind::Word, s.substr(i, end - i)});
      i = end;
    }
  }
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

std::string DeclaredType(const std::vector<const Token*>& words) {
  if (words.empty() || StartsColumnConstraint(*words[0])) return {};
  const Token& first = *words[0];
  if (!IsTypeQualifier(first) || words.size() < 2 || StartsColumnConstraint(*words[1])) {
    return std::string(first.text);
  }
  // DOUBLE keeps its second word only when it ends the definition: "DOUBLE PRECISION"
  // but "DOUBLE" for "DOUBLE PRECISION NOT NULL", as the workspace has always shown.
  if (IsKeyword(first, {"DOUBLE"}) && words.size() > 2) return std::string(first.text);
  return std::string(first.text) + " " + std::string(words[1]->text);
}

bool ParseDefinition(std::string_view definition, const std::vector<std::string>& keyNames,
                     columndata* column) {
  std::vector<Token> tokens = Tokenize(definition);
  if (tokens.empty() || tokens[0].kind == TokenKind::Group) return false;
  if (StartsTableConstraint(tokens[0])) return false;
  // Module arguments of a virtual table such as tokenize='porter' are not columns.
  if (tokens[0].kind == TokenKind::Word && tokens[0].text.find('=') != std::string_view::npos) {
    return false;
  }
  column->name = std::string(tokens[0].text);
  std::vector<const Token*> words;  // after the name; parenthesised groups do not count
  for (size_t i = 1; i < tokens.size(); ++i) {
    if (tokens[i].kind != TokenKind::Group) words.push_back(&tokens[i]);
  }
  column->declaredType = DeclaredType(words);
  // SQLite's own type text: every token up to the first constraint, the
  // parenthesised size included, one blank between words.
  for (size_t i = 1; i < tokens.size() && !StartsColumnConstraint(tokens[i]); ++i) {
    if (tokens[i].kind == TokenKind::Group) column->sqliteType += std::string(tokens[i].text);
    else column->sqliteType += (column->sqliteType.empty() ? "" : " ") + std::string(tokens[i].text);
  }
  for (const Token* w : words) {
    if (IsKeyword(*w, {"NOT"})) column->notNull = 1;
    if (IsKeyword(*w, {"PRIMARY"})) {
      column->primaryKey = 1;
      column->keyPosition = 0;
    }
  }
  for (size_t i = 1; i < tokens.size(); ++i) {
    if (IsKeyword(tokens[i], {"PRIMARY"}) && i + 2 < tokens.size() && IsKeyword(tokens[i + 1], {"KEY"}) &&
        IsKeyword(tokens[i + 2], {"DESC"})) {
      column->keyDescending = true;
    }
    if (IsKeyword(tokens[i], {"DEFAULT"})) {
      column->hasDefault = 1;
      if (i + 1 < tokens.size()) column->defaultText = std::string(tokens[i + 1].text);
      // A signed number may stand as two words ("- 5"), a blob as x and its string.
      const bool sign = column->defaultText == "-" || column->defaultText == "+";
      const bool blob = (column->defaultText == "x" || column->defaultText == "X") &&
                        i + 2 < tokens.size() && tokens[i + 2].kind == TokenKind::String;
      if ((sign || blob) && i + 2 < tokens.size()) column->defaultText += std::string(tokens[i + 2].text);
    }
    // "AS (expr)", after GENERATED ALWAYS or alone, makes a generated column; it is
    // VIRTUAL unless STORED follows.
    if (IsKeyword(tokens[i], {"AS"}) && i + 1 < tokens.size() && tokens[i + 1].kind == TokenKind::Group) {
      const bool stored = i + 2 < tokens.size() && IsKeyword(tokens[i + 2], {"STORED"});
      column->generated = stored ? Generated::Stored : Generated::Virtual;
    }
  }
  if (EqualIgnoringCase(UnquoteIdentifier(column->name), "status_sns_id")) {
    column->declaredType = "INTEGER";
  }
  for (size_t k = 0; k < keyNames.size(); ++k) {
    if (!SameIdentifier(keyNames[k], column->name)) continue;
    column->primaryKey = 1;
    // A column named twice in the key counts at its first place, as SQLite keeps it.
    if (column->keyPosition < 0) column->keyPosition = static_cast<int16_t>(std::min<size_t>(k, INT16_MAX));
  }
  return true;
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
  for (std::string_view item : SplitTopLevel(ColumnList(createSql, &closed))) {
    std::vector<Token> tokens = Tokenize(item);
    size_t k = 0;
    if (k < tokens.size() && IsKeyword(tokens[k], {"CONSTRAINT"})) k += 2;
    if (k + 2 < tokens.size() && IsKeyword(tokens[k], {"PRIMARY"}) &&
        IsKeyword(tokens[k + 1], {"KEY"}) && tokens[k + 2].kind == TokenKind::Group) {
      std::string_view group = tokens[k + 2].text;
      std::string_view inner = group.substr(1, group.back() == ')' ? group.size() - 2 : group.size() - 1);
      for (std::string_view part : SplitTopLevel(inner)) {
        std::vector<Token> keyTokens = Tokenize(part);
        if (!keyTokens.empty()) names.emplace_back(keyTokens[0].text);
      }
      return;
    }
  }
}

bool IsWithoutRowid(std::string_view createSql) {
  bool closed = false;
  const std::string_view list = ColumnList(createSql, &closed);
  if (!closed) return false;
  const size_t after = static_cast<size_t>(list.data() + list.size() - createSql.data()) + 1;
  // The options stand apart by commas: "WITHOUT ROWID, STRICT".
  std::string options(createSql.substr(std::min(after, createSql.size())));
  std::replace(options.begin(), options.end(), ',', ' ');
  std::vector<Token> tokens = Tokenize(options);
  for (size_t i = 0; i + 1 < tokens.size(); ++i) {
    if (IsKeyword(tokens[i], {"WITHOUT"}) && IsKeyword(tokens[i + 1], {"ROWID"})) return true;
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

std::vector<columndata> ParseCreateTable(std::string_view createSql) {
  std::vector<std::string> keyNames;
  ExtractPrimaryKeyNames(createSql, keyNames);
  bool closed = false;
  std::vector<std::string_view> items = SplitTopLevel(ColumnList(createSql, &closed));
  // A text cut short ends inside its last definition, which may be cut as well.
  if (!closed) items.pop_back();
  std::vector<columndata> columns;
  for (std::string_view item : items) {
    columndata column;
    if (ParseDefinition(item, keyNames, &column)) columns.push_back(std::move(column));
  }
  return columns;
}

}  // namespace engine
