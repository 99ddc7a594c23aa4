#pragma once

#include <QByteArray>
#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

namespace kabuka::test {

// One record of a day file as these tests write it: the code, the market, the
// name and the five price fields, as text.
struct SampleRecord {
  QString code;
  QString market;
  QString name;
  QStringList prices;  // open, high, low, close, volume
};

// Records with everything a day file may hold that a converter can get wrong: a
// quoted name with a comma, half-width katakana, NEC and IBM extension
// characters, empty prices, decimals, a volume past 2^32, an alphanumeric code,
// a code on two markets and a price field that is not a number. Varies by day.
QList<SampleRecord> awkwardRecords(const QDate& day);
// `count` plain stocks with prices made up from the day.
QList<SampleRecord> plainRecords(const QDate& day, int count);

// The day file: the day header, then one line per record, Shift-JIS with CR LF.
// Names holding a comma are quoted.
QByteArray dayFileBytes(const QDate& day, const QList<SampleRecord>& records);

// Writes day files for the weekdays from `first` to `last` under `dbPath`.
void storeDays(const QString& dbPath, const QDate& first, const QDate& last,
               const std::function<QList<SampleRecord>(const QDate&)>& records);
QString dayFilePath(const QString& dbPath, const QDate& day);

}  // namespace kabuka::test
