#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace kabuka::history {

// A prepared statement of one connection; reset and reused from row to row.
class Statement {
public:
  Statement() = default;
  Statement(sqlite3* db, std::string_view sql);
  ~Statement();
  Statement(Statement&& other) noexcept;
  Statement& operator=(Statement&& other) noexcept;
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  bool isValid() const { return m_stmt != nullptr; }
  sqlite3_stmt* get() const { return m_stmt; }

  // Parameters count from 1, as in SQL.
  void bindNull(int index);
  void bindInt(int index, std::int64_t value);
  void bindReal(int index, double value);
  // The bytes must stay as they are until the statement is reset.
  void bindText(int index, std::string_view utf8);
  void bindText(int index, const QString& text);  // copied

  // True while a row is there; false at the end or on an error (see done()).
  bool step();
  // True when the last step ended the statement without an error.
  bool done() const { return m_lastResult == kDone; }
  int lastResult() const { return m_lastResult; }
  void reset();

  int columnType(int column) const;  // SQLITE_INTEGER, SQLITE_FLOAT, ...
  std::int64_t columnInt(int column) const;
  double columnReal(int column) const;
  std::string_view columnBytes(int column) const;  // UTF-8 of a text column
  QString columnText(int column) const;

private:
  static constexpr int kDone = 101;  // SQLITE_DONE
  sqlite3_stmt* m_stmt = nullptr;
  int m_lastResult = 0;
};

// One connection to an SQLite file, closed with the object. Used from one thread.
class Database {
public:
  enum class Mode { ReadOnly, ReadWrite };

  Database() = default;
  ~Database();
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  // Opens (and with ReadWrite creates) the file; false with error() on failure.
  bool open(const QString& path, Mode mode, int busyTimeoutMs);
  void close();
  bool isOpen() const { return m_db != nullptr; }
  sqlite3* handle() const { return m_db; }

  // Runs statements without results; false with error() on failure.
  bool exec(std::string_view sql);
  Statement prepare(std::string_view sql);
  // The single integer a query such as "PRAGMA user_version" gives, or `fallback`.
  std::int64_t queryInt(std::string_view sql, std::int64_t fallback = -1);

  // The last error of the connection, in SQLite's words.
  QString error() const;
  // True when the last failure was another connection holding the write lock.
  bool lastFailureWasBusy() const;

private:
  sqlite3* m_db = nullptr;
  QString m_openError;
};

// A write transaction that rolls back unless committed. BEGIN IMMEDIATE takes the
// write lock at once, so a second writer waits (the busy time-out) at the start
// rather than failing in the middle.
class Transaction {
public:
  explicit Transaction(Database& db);
  ~Transaction();
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;

  bool isActive() const { return m_active; }
  bool commit();

private:
  Database& m_db;
  bool m_active = false;
};

}  // namespace kabuka::history
