#include "history_samples.h"

#include "common/sjis.h"
#include "support/temp_folder.h"

namespace kabuka::test {

namespace {

QString price(int value) {
  return QString::number(value);
}

}  // namespace

QList<SampleRecord> awkwardRecords(const QDate& day) {
  const int d = int(day.toJulianDay() % 97);
  const QString volume = QString::number(100 * (d + 1));
  return {
      {QStringLiteral("1301"),
       QStringLiteral("東証1部"),
       QStringLiteral("極洋"),
       {price(300 + d), price(310 + d), price(295 + d), price(305 + d), volume}},
      // Listed on two markets: two rows a day.
      {QStringLiteral("1301"),
       QStringLiteral("福証"),
       QStringLiteral("極洋"),
       {price(301 + d), price(309 + d), price(296 + d), price(304 + d), volume}},
      {QStringLiteral("130A"),
       QStringLiteral("グロース"),
       QStringLiteral("ｿﾌﾄｳｪｱ,ｻｰﾋﾞｽ"),
       {QStringLiteral("1234.5"), QStringLiteral("1250.0"), QStringLiteral("1200.25"),
        QStringLiteral("1240.5"), QStringLiteral("5000000000")}},
      {QStringLiteral("2914"),
       QStringLiteral("東証1部"),
       QStringLiteral("①髙島屋ⅱ№㈱"),
       {{}, {}, {}, {}, QStringLiteral("0")}},
      {QStringLiteral("7203"),
       QStringLiteral("東証1部"),
       QStringLiteral("表示ソフト能力"),
       {price(5000 + d), QStringLiteral("0123"), QStringLiteral("-"), QStringLiteral("1.50"),
        QStringLiteral("-0")}},
  };
}

QList<SampleRecord> plainRecords(const QDate& day, int count) {
  QList<SampleRecord> records;
  const qint64 seed = day.toJulianDay();
  for (int i = 0; i < count; ++i) {
    const int base = 100 + int((seed * 31 + i * 17) % 900);
    records.append({QString::number(1300 + i),
                    i % 3 == 0 ? QStringLiteral("東証1部") : QStringLiteral("東証2部"),
                    QStringLiteral("銘柄%1").arg(i),
                    {price(base), price(base + 9), price(base - 7), price(base + 2),
                     QString::number(1000 * (i + 1))}});
  }
  return records;
}

QByteArray dayFileBytes(const QDate& day, const QList<SampleRecord>& records) {
  QString text = day.toString(QStringLiteral("yyyyMMdd")) + QLatin1Char(',') +
                 QString::number(records.size()) + QStringLiteral(",日毎株価,TSE,,,,\r\n");
  for (const SampleRecord& record : records) {
    const QString name = record.name.contains(QLatin1Char(','))
                             ? QLatin1Char('"') + record.name + QLatin1Char('"')
                             : record.name;
    text += QStringList{record.code, record.market, name}.join(QLatin1Char(',')) +
            QLatin1Char(',') + record.prices.join(QLatin1Char(',')) + QStringLiteral("\r\n");
  }
  return toSjis(text);
}

QString dayFilePath(const QString& dbPath, const QDate& day) {
  return dbPath + day.toString(QStringLiteral("yyyy/'data_d'/yyyyMMdd'.csv'"));
}

void storeDays(const QString& dbPath, const QDate& first, const QDate& last,
               const std::function<QList<SampleRecord>(const QDate&)>& records) {
  for (QDate day = first; day <= last; day = day.addDays(1)) {
    if (day.dayOfWeek() <= 5) {
      writeBytes(dayFilePath(dbPath, day), dayFileBytes(day, records(day)));
    }
  }
}

}  // namespace kabuka::test
