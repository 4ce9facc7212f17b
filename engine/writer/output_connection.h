// The output database's connection: locked down before any stored text of the
// damaged file reaches it, since a crafted file speaks to it only through those texts.
#pragma once

#include <memory>
#include <string>

#include "engine/writer/stored_sql.h"
#include "job/contract/repair_state.h"

struct sqlite3;

namespace engine::writer {

// Thread: the save's worker only. Lifetime: `stop` must outlive the object; the
// connection closes with it.
//
// What a stored text can do here: create the object it claims to be, in the main
// schema, and nothing else. The connection is opened as a plain path (never a URI),
// without a journal file (the rollback journal is kept in memory), in defensive
// mode, with extension loading and fts3_tokenizer out of reach, with an authorizer
// that refuses ATTACH, pragmas, DROP, ALTER, temporary objects and every function
// that is not one of SQLite's own built-in value functions, with lowered limits,
// and with a progress handler that ends a stored text's statement on a stop request
// or once it has run longer than any CREATE needs.
class OutputConnection {
 public:
  // Opens (creates) the database at `path` with `encodingPragma` applied before
  // anything is written. Null with `error` set on failure.
  static std::unique_ptr<OutputConnection> Open(const std::string& path, const std::string& encodingPragma,
                                                const job::Flag& stop, std::string* error);
  ~OutputConnection();
  OutputConnection(const OutputConnection&) = delete;
  OutputConnection& operator=(const OutputConnection&) = delete;

  sqlite3* get() const { return db_; }

  // Runs a stored CREATE text as the CREATE statement of `name`, when it is the
  // plain statement of its kind (see RefusalOfStoredCreate) and exactly one
  // statement. False with `error` set when refused, stopped or failed.
  bool RunStoredCreate(const std::string& sql, CreateKind expected, const std::string& name, std::string* error);

  // Runs a statement of the writer's own (BEGIN, COMMIT, ...).
  bool Exec(const std::string& sql, std::string* error = nullptr);

  // Lets the writer's own bound INSERTs fill the shadow tables a virtual-table
  // module created (defensive mode refuses those writes); no stored text runs
  // while this is allowed.
  void AllowShadowTableWrites(bool allow);

  // Flushes the file to the disk through SQLite's file layer. False with `error`.
  bool Sync(std::string* error);

  // Closes the connection (every statement must be finalized). False with `error`
  // when SQLite could not close it cleanly.
  bool Close(std::string* error);

  // A statement of the connection failed for a reason of the file (a full disk, an
  // I/O error): what it holds is not to be trusted.
  bool WriteFailed() const { return writeFailed_; }

  // The authorizer's and progress handler's state (see the .cpp).
  struct Guard;

 private:
  explicit OutputConnection(sqlite3* db, const job::Flag& stop);

  sqlite3* db_;
  std::unique_ptr<Guard> guard_;
  bool writeFailed_ = false;
};

// Runs a statement of the writer's own on `db`; false with `error` on failure.
bool Exec(sqlite3* db, const std::string& sql, std::string* error = nullptr);

// A result no later statement can escape (a full disk, an I/O error, a read-only
// file) rather than one of a record or a statement itself.
bool IsWriteFailure(int code);

// `path` as SQLite must be given it so that it is never read as a URI.
std::string PlainPathForSqlite(const std::string& path);

}  // namespace engine::writer
