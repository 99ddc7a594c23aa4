#include "sample_database.h"

#include "support/temp_folder.h"

#include <QFile>

namespace kabuka::test {

SampleDatabase::SampleDatabase(QString dbPath, int recordsPerDay,
                               const QList<QDate>& extraClosedDays)
    : m_dbPath(std::move(dbPath)), m_market(extraClosedDays) {
  m_prices.recordsPerDay = recordsPerDay;
}

QString SampleDatabase::dayFile(const QDate& day) const {
  return m_dbPath + day.toString(QStringLiteral("yyyy/'data_d'/yyyyMMdd'.csv'"));
}

QString SampleDatabase::monthFile(int year, int month) const {
  return m_dbPath + QDate(year, month, 1).toString(QStringLiteral("yyyy/'data_dg'/yyyyMM'.csv'"));
}

void SampleDatabase::storeDays(const QDate& first, const QDate& last) {
  for (const QDate& day : m_market.tradingDays(first, last)) {
    storeDay(day, m_prices.dayFile(day));
  }
}

void SampleDatabase::storeDay(const QDate& day, const QByteArray& bytes) {
  writeBytes(dayFile(day), bytes);
}

check::CheckOptions SampleDatabase::options(const QDate& today,
                                            QList<check::CheckTarget> targets) const {
  check::CheckOptions options;
  options.dbPath = m_dbPath;
  options.calendar = calendar();
  options.today = today;
  options.targets = std::move(targets);
  return options;
}

qsizetype lineStart(const QByteArray& bytes, int line) {
  qsizetype at = 0;
  for (int i = 1; i < line; ++i) {
    at = bytes.indexOf('\n', at) + 1;
  }
  return at;
}

namespace {

// Where field `field` of line `line` starts and ends.
std::pair<qsizetype, qsizetype> fieldSpan(const QByteArray& bytes, int line, int field) {
  qsizetype start = lineStart(bytes, line);
  for (int i = 1; i < field; ++i) {
    start = bytes.indexOf(',', start) + 1;
  }
  qsizetype end = start;
  while (end < bytes.size() && bytes[end] != ',' && bytes[end] != '\r' && bytes[end] != '\n') {
    ++end;
  }
  return {start, end};
}

}  // namespace

QByteArray fieldOf(const QByteArray& bytes, int line, int field) {
  const auto [start, end] = fieldSpan(bytes, line, field);
  return bytes.mid(start, end - start);
}

void replaceField(QByteArray& bytes, int line, int field, const QByteArray& value) {
  const auto [start, end] = fieldSpan(bytes, line, field);
  bytes.replace(start, end - start, value);
}

void insertInField(QByteArray& bytes, int line, int field, const QByteArray& value) {
  bytes.insert(fieldSpan(bytes, line, field).first, value);
}

void joinFieldWithNext(QByteArray& bytes, int line, int field) {
  bytes.remove(fieldSpan(bytes, line, field).second, 1);
}

void dropCarriageReturn(QByteArray& bytes, int line) {
  bytes.remove(lineStart(bytes, line + 1) - 2, 1);
}

}  // namespace kabuka::test
