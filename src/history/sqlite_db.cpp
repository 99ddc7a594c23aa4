#include "sqlite_db.h"

#include <QFile>

#include <sqlite3.h>

#include <utility>

namespace kabuka::history {

namespace {

// Done once before the first connection: the memory statistics take a lock on
// every allocation, which costs a tenth of the time of a bulk insert. When
// something else started SQLite first, the call fails and changes nothing.
void configureOnce() {
  static const bool configured = [] {
    sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);
    return true;
  }();
  Q_UNUSED(configured);
}

}  // namespace

Statement::Statement(sqlite3* db, std::string_view sql) {
  if (sqlite3_prepare_v3(db, sql.data(), int(sql.size()), SQLITE_PREPARE_PERSISTENT, &m_stmt,
                         nullptr) != SQLITE_OK) {
    sqlite3_finalize(m_stmt);
    m_stmt = nullptr;
  }
}

Statement::~Statement() {
  sqlite3_finalize(m_stmt);
}

Statement::Statement(Statement&& other) noexcept
    : m_stmt(std::exchange(other.m_stmt, nullptr)), m_lastResult(other.m_lastResult) {}

Statement& Statement::operator=(Statement&& other) noexcept {
  if (this != &other) {
    sqlite3_finalize(m_stmt);
    m_stmt = std::exchange(other.m_stmt, nullptr);
    m_lastResult = other.m_lastResult;
  }
  return *this;
}

void Statement::bindNull(int index) {
  sqlite3_bind_null(m_stmt, index);
}

void Statement::bindInt(int index, std::int64_t value) {
  sqlite3_bind_int64(m_stmt, index, value);
}

void Statement::bindReal(int index, double value) {
  sqlite3_bind_double(m_stmt, index, value);
}

void Statement::bindText(int index, std::string_view utf8) {
  sqlite3_bind_text(m_stmt, index, utf8.data(), int(utf8.size()), SQLITE_STATIC);
}

void Statement::bindText(int index, const QString& text) {
  const QByteArray utf8 = text.toUtf8();
  sqlite3_bind_text(m_stmt, index, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
}

bool Statement::step() {
  m_lastResult = sqlite3_step(m_stmt);
  return m_lastResult == SQLITE_ROW;
}

void Statement::reset() {
  sqlite3_reset(m_stmt);
}

int Statement::columnType(int column) const {
  return sqlite3_column_type(m_stmt, column);
}

std::int64_t Statement::columnInt(int column) const {
  return sqlite3_column_int64(m_stmt, column);
}

double Statement::columnReal(int column) const {
  return sqlite3_column_double(m_stmt, column);
}

std::string_view Statement::columnBytes(int column) const {
  const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, column));
  return text == nullptr ? std::string_view()
                         : std::string_view(text, size_t(sqlite3_column_bytes(m_stmt, column)));
}

QString Statement::columnText(int column) const {
  const std::string_view bytes = columnBytes(column);
  return QString::fromUtf8(bytes.data(), qsizetype(bytes.size()));
}

Database::~Database() {
  close();
}

bool Database::open(const QString& path, Mode mode, int busyTimeoutMs) {
  configureOnce();
  close();
  // One connection per thread, so SQLite's own connection lock is not needed.
  const int flags =
      (mode == Mode::ReadOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE) |
      SQLITE_OPEN_NOMUTEX;
  const QByteArray native = QFile::encodeName(path);
  if (sqlite3_open_v2(native.constData(), &m_db, flags, nullptr) != SQLITE_OK) {
    m_openError =
        m_db != nullptr ? QString::fromUtf8(sqlite3_errmsg(m_db)) : QStringLiteral("out of memory");
    sqlite3_close(m_db);
    m_db = nullptr;
    return false;
  }
  sqlite3_extended_result_codes(m_db, 1);
  sqlite3_busy_timeout(m_db, busyTimeoutMs);
  return true;
}

void Database::close() {
  if (m_db != nullptr) {
    sqlite3_close_v2(m_db);
    m_db = nullptr;
  }
}

bool Database::exec(std::string_view sql) {
  const QByteArray text(sql.data(), qsizetype(sql.size()));
  return sqlite3_exec(m_db, text.constData(), nullptr, nullptr, nullptr) == SQLITE_OK;
}

Statement Database::prepare(std::string_view sql) {
  return Statement(m_db, sql);
}

std::int64_t Database::queryInt(std::string_view sql, std::int64_t fallback) {
  Statement statement = prepare(sql);
  if (!statement.isValid() || !statement.step()) {
    return fallback;
  }
  return statement.columnInt(0);
}

QString Database::error() const {
  return m_db != nullptr ? QString::fromUtf8(sqlite3_errmsg(m_db)) : m_openError;
}

bool Database::lastFailureWasBusy() const {
  return m_db != nullptr && (sqlite3_errcode(m_db) & 0xff) == SQLITE_BUSY;
}

Transaction::Transaction(Database& db) : m_db(db), m_active(db.exec("BEGIN IMMEDIATE")) {}

Transaction::~Transaction() {
  if (m_active) {
    m_db.exec("ROLLBACK");
  }
}

bool Transaction::commit() {
  if (!m_active) {
    return false;
  }
  m_active = !m_db.exec("COMMIT");
  return !m_active;
}

}  // namespace kabuka::history
