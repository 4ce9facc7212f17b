#include "engine/writer/output_connection.h"

#include <algorithm>
#include <iterator>

#include <sqlite3.h>

#include "engine/schema/names.h"

namespace engine::writer {

struct OutputConnection::Guard {
  const job::Flag* stop = nullptr;
  bool storedText = false;  // a stored CREATE text is running
  int64_t ticksLeft = 0;    // progress calls the running stored text may still take
  bool overBudget = false;
  std::string deniedFunction;
};

namespace {

// The progress handler runs every this many virtual-machine instructions.
constexpr int kOpsPerTick = 1000;
// No CREATE statement of a real schema (a virtual-table module's set-up included)
// comes near this many instructions: about a second of work.
constexpr int64_t kStoredTextTicks = 100000;  // x kOpsPerTick
// A stored text longer than this is no real schema's: SQLite would take megabytes
// of column definitions for tables it cannot create (2000 columns at most).
constexpr int kStoredTextBytes = 4 << 20;

// SQLite's own value functions, the only ones a table's CHECK or generated column,
// or the creation of a virtual table, may call here. Left out: fts3_tokenizer (it
// takes a code address from its argument), load_extension, fts5 (hands out a
// pointer) and sqlite_log.
bool IsAllowedFunction(const char* name) {
  static const std::string_view kFunctions[] = {
      "->", "->>", "abs", "acos", "acosh", "asin", "asinh", "atan", "atan2", "atanh", "avg", "bm25",
      "ceil", "ceiling", "changes", "char", "coalesce", "cos", "cosh", "count", "cume_dist",
      "current_date", "current_time", "current_timestamp", "date", "datetime", "degrees", "dense_rank",
      "exp", "first_value", "floor", "format", "fts5_source_id", "glob", "group_concat", "hex",
      "highlight", "ifnull", "iif", "instr", "json", "json_array", "json_array_length", "json_extract",
      "json_group_array", "json_group_object", "json_insert", "json_object", "json_patch", "json_quote",
      "json_remove", "json_replace", "json_set", "json_type", "json_valid", "julianday", "lag",
      "last_insert_rowid", "last_value", "lead", "length", "like", "likelihood", "likely", "ln", "log",
      "log10", "log2", "lower", "ltrim", "match", "matchinfo", "max", "min", "mod", "nth_value", "ntile",
      "nullif", "offsets", "optimize", "percent_rank", "pi", "pow", "power", "printf", "quote", "radians",
      "random", "randomblob", "rank", "replace", "round", "row_number", "rtreecheck", "rtreedepth",
      "rtreenode", "rtrim", "sign", "sin", "sinh", "snippet", "soundex", "sqlite_compileoption_get",
      "sqlite_compileoption_used", "sqlite_source_id", "sqlite_version", "sqrt", "strftime", "substr",
      "substring", "subtype", "sum", "tan", "tanh", "time", "total", "total_changes", "trim", "trunc",
      "typeof", "unicode", "unixepoch", "unlikely", "upper", "zeroblob"};
  if (!name) return false;
  return std::any_of(std::begin(kFunctions), std::end(kFunctions),
                     [&](std::string_view f) { return EqualIgnoringCase(f, name); });
}

int Authorize(void* data, int action, const char* a3, const char* a4, const char*, const char*) {
  auto* guard = static_cast<OutputConnection::Guard*>(data);
  switch (action) {
    case SQLITE_CREATE_TABLE:
    case SQLITE_CREATE_VIEW:
    case SQLITE_CREATE_TRIGGER:
    case SQLITE_CREATE_INDEX:  // the automatic index of a UNIQUE or PRIMARY KEY constraint
    case SQLITE_CREATE_VTABLE:
    case SQLITE_INSERT:
    case SQLITE_UPDATE:
    case SQLITE_DELETE:
    case SQLITE_READ:
    case SQLITE_SELECT:
    case SQLITE_RECURSIVE:
    case SQLITE_TRANSACTION:
    case SQLITE_SAVEPOINT:
      return SQLITE_OK;
    case SQLITE_FUNCTION:
      if (IsAllowedFunction(a4)) return SQLITE_OK;
      guard->deniedFunction = a4 ? a4 : "";
      return SQLITE_DENY;
    case SQLITE_PRAGMA:
      // The writer's own reads of a table's columns; a virtual-table module may read
      // a setting while it creates its table. Nothing that runs with a stored text
      // changes one.
      return guard->storedText && a4 != nullptr ? SQLITE_DENY : SQLITE_OK;
    default:
      // ATTACH, DETACH, DROP, ALTER, REINDEX, ANALYZE and every temporary object.
      (void)a3;
      return SQLITE_DENY;
  }
}

int OnProgress(void* data) {
  auto* guard = static_cast<OutputConnection::Guard*>(data);
  // Only a stored text's statement is ended early: the writer's own INSERTs are one
  // record each, and the copy stops between records, keeping what it wrote.
  if (!guard->storedText) return 0;
  if (guard->stop->load() != 0) return 1;
  if (--guard->ticksLeft < 0) {
    guard->overBudget = true;
    return 1;
  }
  return 0;
}

void RefuseFunction(sqlite3_context* context, int, sqlite3_value**) {
  sqlite3_result_error(context, "not available in a repaired database", -1);
}

// Limits while a stored text runs, and SQLite's own while the writer copies records
// (which may be as long as the library allows).
void SetStoredTextLimits(sqlite3* db, bool on) {
  sqlite3_limit(db, SQLITE_LIMIT_LENGTH, on ? kStoredTextBytes : 0x7fffffff);
  sqlite3_limit(db, SQLITE_LIMIT_SQL_LENGTH, on ? kStoredTextBytes : 0x7fffffff);
}

}  // namespace

std::string PlainPathForSqlite(const std::string& path) {
  // A library built to take URIs by default reads "file:..." as one.
  return path.compare(0, 5, "file:") == 0 ? "./" + path : path;
}

OutputConnection::OutputConnection(sqlite3* db, const job::Flag& stop) : db_(db), guard_(std::make_unique<Guard>()) {
  guard_->stop = &stop;
}

OutputConnection::~OutputConnection() { sqlite3_close_v2(db_); }

std::unique_ptr<OutputConnection> OutputConnection::Open(const std::string& path, const std::string& encodingPragma,
                                                         const job::Flag& stop, std::string* error) {
  sqlite3* db = nullptr;
  // One worker thread owns the connection for the whole save: no mutex is needed.
  const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX;
  if (sqlite3_open_v2(PlainPathForSqlite(path).c_str(), &db, flags, nullptr) != SQLITE_OK) {
    if (error) *error = db ? sqlite3_errmsg(db) : "out of memory";
    sqlite3_close(db);
    return nullptr;
  }
  std::unique_ptr<OutputConnection> out(new OutputConnection(db, stop));
  // Before the first write: the text encoding, and the journal in memory, so a
  // transaction can still be rolled back and no journal file is ever left beside
  // the output (the file is renamed only once complete, so it needs none).
  for (const std::string& pragma : {encodingPragma, std::string("PRAGMA journal_mode = MEMORY")}) {
    if (!out->Exec(pragma, error)) return nullptr;
  }
  sqlite3_db_config(db, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
  sqlite3_db_config(db, SQLITE_DBCONFIG_ENABLE_LOAD_EXTENSION, 0, nullptr);
  sqlite3_db_config(db, SQLITE_DBCONFIG_ENABLE_FTS3_TOKENIZER, 0, nullptr);
  sqlite3_db_config(db, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
  sqlite3_db_config(db, SQLITE_DBCONFIG_ENABLE_TRIGGER, 1, nullptr);
  // A library built with the two-argument fts3_tokenizer takes a code address from
  // SQL whatever the setting above says: the function is replaced by one that refuses.
  for (int args : {1, 2}) {
    sqlite3_create_function_v2(db, "fts3_tokenizer", args, SQLITE_UTF8 | SQLITE_DIRECTONLY, nullptr,
                               RefuseFunction, nullptr, nullptr, nullptr);
  }
  sqlite3_limit(db, SQLITE_LIMIT_ATTACHED, 0);
  sqlite3_limit(db, SQLITE_LIMIT_EXPR_DEPTH, 250);
  sqlite3_limit(db, SQLITE_LIMIT_COMPOUND_SELECT, 250);
  sqlite3_limit(db, SQLITE_LIMIT_VDBE_OP, 1000000);
  sqlite3_limit(db, SQLITE_LIMIT_FUNCTION_ARG, 100);
  sqlite3_limit(db, SQLITE_LIMIT_TRIGGER_DEPTH, 1);  // triggers are created last and never fire
  sqlite3_limit(db, SQLITE_LIMIT_LIKE_PATTERN_LENGTH, 1000);
  sqlite3_limit(db, SQLITE_LIMIT_WORKER_THREADS, 0);
  sqlite3_set_authorizer(db, Authorize, out->guard_.get());
  sqlite3_progress_handler(db, kOpsPerTick, OnProgress, out->guard_.get());
  return out;
}

bool Exec(sqlite3* db, const std::string& sql, std::string* error) {
  char* message = nullptr;
  if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message) == SQLITE_OK) return true;
  if (error) *error = message ? message : sqlite3_errmsg(db);
  sqlite3_free(message);
  return false;
}

bool IsWriteFailure(int code) {
  switch (code & 0xFF) {
    case SQLITE_FULL:
    case SQLITE_IOERR:
    case SQLITE_READONLY:
    case SQLITE_CANTOPEN:
    case SQLITE_CORRUPT:
    case SQLITE_NOMEM:
    case SQLITE_NOTADB:
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return true;
    default:
      return false;
  }
}

bool OutputConnection::Exec(const std::string& sql, std::string* error) {
  if (writer::Exec(db_, sql, error)) return true;
  writeFailed_ = writeFailed_ || IsWriteFailure(sqlite3_extended_errcode(db_));
  return false;
}

bool OutputConnection::RunStoredCreate(const std::string& sql, CreateKind expected, const std::string& name,
                                       std::string* error) {
  if (std::string why = RefusalOfStoredCreate(sql, expected, name); !why.empty()) {
    *error = why;
    return false;
  }
  guard_->storedText = true;
  guard_->ticksLeft = kStoredTextTicks;
  guard_->overBudget = false;
  guard_->deniedFunction.clear();
  SetStoredTextLimits(db_, true);
  struct Restore {
    OutputConnection& c;
    ~Restore() {
      c.guard_->storedText = false;
      SetStoredTextLimits(c.db_, false);
    }
  } restore{*this};

  sqlite3_stmt* stmt = nullptr;
  const char* tail = nullptr;
  const int prepared = sqlite3_prepare_v2(db_, sql.c_str(), static_cast<int>(sql.size()), &stmt, &tail);
  if (prepared != SQLITE_OK || !stmt) {
    *error = !guard_->deniedFunction.empty() ? "it calls the function " + guard_->deniedFunction +
                                                   ", which a repaired database does not run"
                                             : std::string(sqlite3_errmsg(db_));
    sqlite3_finalize(stmt);
    return false;
  }
  // Exactly one statement: after it only blanks, semicolons and comments.
  if (SkipBlanks(sql, static_cast<size_t>(tail - sql.c_str()), true) != sql.size()) {
    sqlite3_finalize(stmt);
    *error = "more than one statement";
    return false;
  }
  const int rc = sqlite3_step(stmt);
  sqlite3_finalize(stmt);
  if (rc == SQLITE_DONE) return true;
  writeFailed_ = writeFailed_ || IsWriteFailure(sqlite3_extended_errcode(db_));
  if (guard_->overBudget) {
    *error = "it ran longer than any CREATE statement needs";
  } else if (rc == SQLITE_INTERRUPT && guard_->stop->load() != 0) {
    *error = "stopped by user";
  } else if (!guard_->deniedFunction.empty()) {
    *error = "it calls the function " + guard_->deniedFunction + ", which a repaired database does not run";
  } else {
    *error = sqlite3_errmsg(db_);
  }
  return false;
}

void OutputConnection::AllowShadowTableWrites(bool allow) {
  sqlite3_db_config(db_, SQLITE_DBCONFIG_DEFENSIVE, allow ? 0 : 1, nullptr);
}

bool OutputConnection::Sync(std::string* error) {
  sqlite3_file* file = nullptr;
  if (sqlite3_file_control(db_, "main", SQLITE_FCNTL_FILE_POINTER, &file) != SQLITE_OK || !file ||
      !file->pMethods) {
    // Nothing was ever written: the file is empty and needs no flush.
    return true;
  }
  const int rc = file->pMethods->xSync(file, SQLITE_SYNC_FULL);
  if (rc == SQLITE_OK) return true;
  if (error) *error = std::string("the file could not be flushed to the disk (") + sqlite3_errstr(rc) + ")";
  return false;
}

bool OutputConnection::Close(std::string* error) {
  const int rc = sqlite3_close(db_);
  if (rc == SQLITE_OK) {
    db_ = nullptr;
    return true;
  }
  if (error) *error = sqlite3_errmsg(db_);
  return false;
}

}  // namespace engine::writer
