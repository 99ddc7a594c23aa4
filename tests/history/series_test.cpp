#include "history/series.h"
#include "history/export.h"

#include "common/sjis.h"
#include "history_samples.h"
#include "support/temp_folder.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QXmlStreamReader>

#include <gtest/gtest.h>

#include <utime.h>

namespace kabuka::history {
namespace {

class SeriesTest : public ::testing::Test {
protected:
  void SetUp() override {
    test::storeDays(db, QDate(2024, 3, 4), QDate(2024, 3, 15), test::awkwardRecords);
    // Damaged: left out by both ways of reading.
    QByteArray cut = test::readBytes(test::dayFilePath(db, QDate(2024, 3, 6)));
    cut.replace("\r\n", "\n");
    test::writeBytes(test::dayFilePath(db, QDate(2024, 3, 6)), cut);
    ExportOptions options;
    options.dbPath = db;
    ASSERT_EQ(exportDatabase(options).status, ExportResult::Status::SomeNotImported);
  }

  SeriesResult read(const QString& code, const QString& market = {}) {
    SeriesOptions options;
    options.dbPath = db;
    options.code = code;
    options.market = market;
    options.from = QDate(2024, 3, 5);
    return readSeries(options);
  }

  void fallOutOfStep() {
    const QByteArray path = QFile::encodeName(test::dayFilePath(db, QDate(2024, 3, 8)));
    const utimbuf times{1000000000, 1000000000};
    ASSERT_EQ(::utime(path.constData(), &times), 0);
  }

  test::TempFolder folder;
  QString db = folder.path() + QStringLiteral("/kabuka/");
};

TEST_F(SeriesTest, DatabaseAndDayFilesGiveTheSameBytes) {
  QList<SeriesResult> fromDatabase;
  const QStringList codes{"1301", "130A", "2914", "7203"};
  for (const QString& code : codes) {
    fromDatabase.append(read(code));
    EXPECT_EQ(fromDatabase.last().source, SeriesResult::Source::Database);
  }
  fallOutOfStep();
  for (qsizetype i = 0; i < codes.size(); ++i) {
    const SeriesResult fromFiles = read(codes[i]);
    EXPECT_EQ(fromFiles.source, SeriesResult::Source::DayFiles);
    EXPECT_EQ(seriesCsv(fromFiles.rows, true), seriesCsv(fromDatabase[i].rows, true));
    EXPECT_EQ(seriesJson(fromFiles.rows), seriesJson(fromDatabase[i].rows));
  }
  // Two markets a day, by market; 03-06 is damaged; from 03-05 on.
  const QByteArray csv = seriesCsv(fromDatabase[0].rows, false);
  EXPECT_TRUE(
      csv.startsWith("date,code,market,name,open,high,low,close,volume\n"
                     "2024-03-05,1301,東証1部,極洋,"));
  EXPECT_EQ(csv.count('\n'), 1 + 2 * 8);
  EXPECT_FALSE(csv.contains("2024-03-06"));
  EXPECT_TRUE(seriesCsv(fromDatabase[1].rows, true)
                  .startsWith("\xef\xbb\xbf"
                              "date,"));
  EXPECT_TRUE(
      seriesCsv(fromDatabase[1].rows, false)
          .contains("\n2024-03-05,130A,グロース,\"ｿﾌﾄｳｪｱ,ｻｰﾋﾞｽ\",1234.5,1250.0,1200.25,1240.5,"
                    "5000000000\n"));
  EXPECT_EQ(read(QStringLiteral("1301"), QStringLiteral("福証")).rows.size(), 8);
  EXPECT_TRUE(read(QStringLiteral("9999")).rows.isEmpty());
}

// The day files are searched line by line for the code: the code quoted or after
// blanks is still the code, while a line end inside a quoted name, a longer code,
// a code with a blank after it and a price that reads like the code are not.
TEST(SeriesFromDayFilesTest, FindsTheCodeOnlyWhereARecordBeginsWithIt) {
  test::TempFolder folder;
  const QString db = folder.path() + QStringLiteral("/kabuka/");
  const auto day = [](int d) {
    return QStringLiteral(
               "202403%1,8,日毎株価,TSE,,,,\r\n"
               "1300,東証1部,\"名前\r\n1301,偽の行,x\",1301,1,1,1,100\r\n"
               "1301,東証1部,極洋,%2,2,3,4,100\r\n"
               "\"1301\",福証,\"極洋,福\",5,6,7,8,200\r\n"
               "  1301,名証,極洋,9,10,11,12,300\r\n"
               "13010,東証1部,長いコード,1,1,1,1,1\r\n"
               "1301 ,東証1部,後ろに空白,1,1,1,1,1\r\n"
               "1302,東証1部,\"1301,\",1301,1301,1301,1301,1301\r\n"
               "1303,東証2部,最後,1,1,1,1,1\r\n")
        .arg(d, 2, 10, QLatin1Char('0'))
        .arg(d);
  };
  for (const int d : {4, 5}) {
    ASSERT_TRUE(test::writeBytes(test::dayFilePath(db, QDate(2024, 3, d)), toSjis(day(d))));
  }
  ExportOptions exportOptions;
  exportOptions.dbPath = db;
  ASSERT_EQ(exportDatabase(exportOptions).status, ExportResult::Status::Done);
  SeriesOptions options;
  options.dbPath = db;
  options.code = QStringLiteral("1301");
  const SeriesResult fromDatabase = readSeries(options);
  ASSERT_EQ(fromDatabase.source, SeriesResult::Source::Database);
  options.sqlitePath = folder.path() + QStringLiteral("/none.sqlite");
  const SeriesResult fromFiles = readSeries(options);
  ASSERT_EQ(fromFiles.source, SeriesResult::Source::DayFiles);
  EXPECT_EQ(seriesCsv(fromFiles.rows, false), seriesCsv(fromDatabase.rows, false));
  EXPECT_EQ(seriesCsv(fromFiles.rows, false),
            "date,code,market,name,open,high,low,close,volume\n"
            "2024-03-04,1301,名証,極洋,9,10,11,12,300\n"
            "2024-03-04,1301,東証1部,極洋,4,2,3,4,100\n"
            "2024-03-04,1301,福証,\"極洋,福\",5,6,7,8,200\n"
            "2024-03-05,1301,名証,極洋,9,10,11,12,300\n"
            "2024-03-05,1301,東証1部,極洋,5,2,3,4,100\n"
            "2024-03-05,1301,福証,\"極洋,福\",5,6,7,8,200\n");
}

TEST_F(SeriesTest, JsonHasNumbersNullsAndTextAsStored) {
  for (int round = 0; round < 2; ++round) {
    QJsonParseError error;
    const QJsonDocument json = QJsonDocument::fromJson(
        seriesJson(read(QStringLiteral("7203")).rows + read(QStringLiteral("2914")).rows), &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString();
    const QJsonObject toyota = json.array().at(0).toObject();
    EXPECT_EQ(toyota.value(QLatin1String("name")).toString(), QStringLiteral("表示ソフト能力"));
    EXPECT_TRUE(toyota.value(QLatin1String("open")).isDouble());
    EXPECT_EQ(toyota.value(QLatin1String("high")).toString(), QStringLiteral("0123"));
    EXPECT_EQ(toyota.value(QLatin1String("close")).toString(), QStringLiteral("1.50"));
    const QJsonObject untraded = json.array().at(8).toObject();
    EXPECT_EQ(untraded.value(QLatin1String("name")).toString(), QStringLiteral("①髙島屋ⅱ№㈱"));
    EXPECT_TRUE(untraded.value(QLatin1String("open")).isNull());
    EXPECT_EQ(untraded.value(QLatin1String("volume")).toInt(-1), 0);
    fallOutOfStep();
  }
}

struct ChartCandles {
  QStringList from;  // data-from of each candle
  QString meta;
};

ChartCandles candlesOf(const QString& html) {
  static const QRegularExpression svgPattern(QStringLiteral("<svg.*</svg>"),
                                             QRegularExpression::DotMatchesEverythingOption);
  QXmlStreamReader xml(svgPattern.match(html).captured(0));
  ChartCandles candles;
  while (!xml.atEnd()) {
    if (xml.readNext() == QXmlStreamReader::StartElement && xml.name() == u"g" &&
        xml.attributes().value(QLatin1String("class")).startsWith(QLatin1String("candle"))) {
      candles.from.append(xml.attributes().value(QLatin1String("data-from")).toString());
    }
  }
  EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
  static const QRegularExpression metaPattern(QStringLiteral("<p class=\"meta\">(.*?)</p>"));
  candles.meta = metaPattern.match(html).captured(1);
  return candles;
}

SeriesRow rowOn(const QDate& day, bool traded = true) {
  const Value price = traded ? Value::ofInteger(100 + day.day()) : Value{};
  return {day,
          QStringLiteral("1301"),
          QStringLiteral("東証1部"),
          QStringLiteral("極洋"),
          {price, price, price, price, Value::ofInteger(1000)}};
}

TEST(SeriesChartTest, OneCandlePerTradingDayWithGapsForDaysWithoutValues) {
  const MarketCalendar market;
  QList<SeriesRow> rows;
  QStringList expected;
  for (const QDate& day : market.tradingDays(QDate(2016, 3, 1), QDate(2016, 4, 28))) {
    if (day == QDate(2016, 3, 15)) {
      continue;  // no file that day
    }
    rows.append(rowOn(day, day != QDate(2016, 4, 5)));
    if (day != QDate(2016, 4, 5)) {
      expected.append(day.toString(Qt::ISODate));
    }
  }
  const ChartCandles candles = candlesOf(seriesChartHtml(rows, market));
  EXPECT_EQ(candles.from, expected);
  EXPECT_TRUE(candles.meta.contains(QStringLiteral("1 本 = 1 日"))) << candles.meta.toStdString();
}

TEST(SeriesChartTest, TenYearsOfDaysAreDrawnAsWeeks) {
  const MarketCalendar market;
  QList<SeriesRow> rows;
  QStringList weeks;
  for (const QDate& day : market.tradingDays(QDate(2007, 1, 1), QDate(2016, 12, 31))) {
    rows.append(rowOn(day));
    const QString monday = day.addDays(1 - day.dayOfWeek()).toString(Qt::ISODate);
    if (weeks.isEmpty() || weeks.last() != monday) {
      weeks.append(monday);
    }
  }
  const ChartCandles candles = candlesOf(seriesChartHtml(rows, market));
  EXPECT_EQ(candles.from, weeks);
  EXPECT_TRUE(candles.meta.contains(QStringLiteral("週ごとにまとめています")))
      << candles.meta.toStdString();
}

}  // namespace
}  // namespace kabuka::history
