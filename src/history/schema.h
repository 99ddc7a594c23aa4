#pragma once

#include "history/sqlite_db.h"

#include <QDate>
#include <QString>

namespace kabuka::history {

// The layout the program writes; PRAGMA user_version holds it.
inline constexpr int kSchemaVersion = 1;

// How the file stands against the layout this program writes.
enum class SchemaState { Empty, Current, Older, Newer };
SchemaState schemaState(Database& db);

// Creates the tables and views in an empty database (inside the caller's
// transaction).
bool createSchema(Database& db);
// Drops everything the program made, so that createSchema() can start afresh;
// what users added themselves stays.
bool dropSchema(Database& db);
// Brings an older layout to the current one. There is only one layout so far, so
// an older file is one the program cannot read: it is rebuilt from the day files.
bool migrateSchema(Database& db);

// Unix days (since 1970-01-01), as the rows keep dates.
int unixDay(const QDate& date);
QDate dateOfUnixDay(qint64 day);

}  // namespace kabuka::history
