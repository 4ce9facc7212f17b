#include "engine/writer/output_connection.h"

#include <cctype>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include <sqlite3.h>

namespace engine::writer {

std::string ClaimFreeOutputPath(const std::string& folder, const std::string& fileName,
                                std::string* error) {
  const size_t dot = fileName.find_last_of('.');
  const bool hasExtension = dot != std::string::npos && dot > 0;
  const std::string stem = hasExtension ? fileName.substr(0, dot) : fileName;
  const std::string extension = hasExtension ? fileName.substr(dot) : "";
  for (int n = 1; n < 10000; ++n) {
    std::string path = folder + (n == 1 ? fileName : stem + "(" + std::to_string(n) + ")" + extension);
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd >= 0) {
      ::close(fd);
      return path;
    }
    if (errno != EEXIST) {
      if (error) *error = std::strerror(errno);
      return {};
    }
  }
  if (error) *error = "no free file name";
  return {};
}

namespace {

int RefuseAttach(void*, int action, const char*, const char*, const char*, const char*) {
  return action == SQLITE_ATTACH || action == SQLITE_DETACH ? SQLITE_DENY : SQLITE_OK;
}

// Skips blanks, semicolons and comments from `i`.
size_t SkipSpace(const std::string& s, size_t i, bool semicolons) {
  while (i < s.size()) {
    if (std::isspace(static_cast<unsigned char>(s[i])) || (semicolons && s[i] == ';')) {
      ++i;
    } else if (s.compare(i, 2, "--") == 0) {
      size_t end = s.find('\n', i);
      i = end == std::string::npos ? s.size() : end + 1;
    } else if (s.compare(i, 2, "/*") == 0) {
      size_t end = s.find("*/", i + 2);
      i = end == std::string::npos ? s.size() : end + 2;
    } else {
      break;
    }
  }
  return i;
}

// The next plain word from `i`, upper-cased, and the position after it.
std::string NextWord(const std::string& s, size_t& i) {
  i = SkipSpace(s, i, false);
  std::string word;
  while (i < s.size() && (std::isalnum(static_cast<unsigned char>(s[i])) || s[i] == '_')) {
    word += static_cast<char>(std::toupper(static_cast<unsigned char>(s[i++])));
  }
  return word;
}

}  // namespace

sqlite3* OpenOutputDatabase(const std::string& path, std::string* error) {
  sqlite3* db = nullptr;
  // One worker thread owns the connection for the whole save: no mutex is needed.
  const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX;
  if (sqlite3_open_v2(path.c_str(), &db, flags, nullptr) != SQLITE_OK) {
    if (error) *error = db ? sqlite3_errmsg(db) : "out of memory";
    sqlite3_close(db);
    return nullptr;
  }
  // A crafted damaged file reaches this connection only through its CREATE texts:
  // they may create objects here and nothing else anywhere.
  sqlite3_db_config(db, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
  sqlite3_db_config(db, SQLITE_DBCONFIG_ENABLE_LOAD_EXTENSION, 0, nullptr);
  sqlite3_db_config(db, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
  sqlite3_set_authorizer(db, RefuseAttach, nullptr);
  return db;
}

bool Exec(sqlite3* db, const std::string& sql, std::string* error) {
  char* message = nullptr;
  if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message) == SQLITE_OK) return true;
  if (error) *error = message ? message : sqlite3_errmsg(db);
  sqlite3_free(message);
  return false;
}

bool RunCreateStatement(sqlite3* db, const std::string& sql, CreateKind expected,
                        std::string* error) {
  size_t i = 0;
  std::string word = NextWord(sql, i);
  if (word != "CREATE") {
    *error = sql.empty() ? "empty CREATE text" : "not a CREATE statement";
    return false;
  }
  word = NextWord(sql, i);
  CreateKind kind;
  if (word == "VIRTUAL" && NextWord(sql, i) == "TABLE") kind = CreateKind::VirtualTable;
  else if (word == "TABLE") kind = CreateKind::Table;
  else if (word == "VIEW") kind = CreateKind::View;
  else if (word == "TRIGGER") kind = CreateKind::Trigger;
  else {
    // TEMP objects would not land in the output file; indexes are never written.
    *error = "not a CREATE TABLE, VIEW or TRIGGER statement";
    return false;
  }
  const bool fits = kind == expected || (kind == CreateKind::VirtualTable && expected == CreateKind::Table);
  if (!fits) {
    *error = "CREATE statement of another kind";
    return false;
  }
  sqlite3_stmt* stmt = nullptr;
  const char* tail = nullptr;
  if (sqlite3_prepare_v2(db, sql.c_str(), static_cast<int>(sql.size()), &stmt, &tail) != SQLITE_OK ||
      !stmt) {
    *error = sqlite3_errmsg(db);
    sqlite3_finalize(stmt);
    return false;
  }
  // Exactly one statement: after it only blanks, semicolons and comments.
  const size_t rest = static_cast<size_t>(tail - sql.c_str());
  if (SkipSpace(sql, rest, true) != sql.size()) {
    sqlite3_finalize(stmt);
    *error = "more than one statement";
    return false;
  }
  const int rc = sqlite3_step(stmt);
  sqlite3_finalize(stmt);
  if (rc != SQLITE_DONE) {
    *error = sqlite3_errmsg(db);
    return false;
  }
  return true;
}

}  // namespace engine::writer
