// The output database: opening it under a name no file has yet, locking the
// connection down, and running stored CREATE texts only when they are what they claim.
#pragma once

#include <string>

struct sqlite3;

namespace engine::writer {

// The first free path of the form `folder` + `fileName`, then `fileName` with
// "(2)", "(3)", ... before its extension. The name is claimed by creating the file
// empty (exclusively), so no save ever writes into an older file. Empty with `error`
// set when no file can be created in `folder`.
std::string ClaimFreeOutputPath(const std::string& folder, const std::string& fileName,
                                std::string* error);

// Opens `path` read-write for use by one thread at a time, in defensive mode, without extension loading, with an
// authorizer that refuses ATTACH and DETACH. Null with `error` set on failure.
sqlite3* OpenOutputDatabase(const std::string& path, std::string* error);

enum class CreateKind { Table, VirtualTable, View, Trigger };

// Runs `sql` when it is exactly one CREATE TABLE, CREATE VIRTUAL TABLE, CREATE VIEW
// or CREATE TRIGGER statement (of kind `expected`; VirtualTable is accepted where
// Table is expected) on the main database; anything else, a second statement or
// an empty text is refused. False with `error` set when refused or when it fails.
bool RunCreateStatement(sqlite3* db, const std::string& sql, CreateKind expected,
                        std::string* error);

// Runs our own statement (a pragma, BEGIN, COMMIT); false with `error` on failure.
bool Exec(sqlite3* db, const std::string& sql, std::string* error = nullptr);

}  // namespace engine::writer
