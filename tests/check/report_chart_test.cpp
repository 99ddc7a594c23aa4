#include "check/database_check.h"
#include "check/report_render.h"

#include "sample_database.h"
#include "support/temp_folder.h"

#include <QFile>
#include <QMap>
#include <QPointF>
#include <QRegularExpression>
#include <QXmlStreamReader>

#include <gtest/gtest.h>

#include <cmath>

namespace kabuka::check {
namespace {

// What the count chart of the page shows, read back from its SVG.
struct Chart {
  struct Line {
    QDate from, to;
    QList<QPointF> points;
  };
  QList<Line> lines;                         // the count, one per unbroken run
  QMap<QDate, double> missing;               // x of each missing day's mark
  QList<std::pair<QString, double>> months;  // x of each month's tick
  QStringList years;                         // the year labels
  QList<std::pair<int, double>> counts;      // y of each count on the axis
  double frameTop = 0, frameBottom = 0;      // where the count axis is drawn
};

QList<QPointF> pointsOf(const QString& text) {
  QList<QPointF> points;
  for (const QString& pair : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
    const QStringList xy = pair.split(QLatin1Char(','));
    points.append(QPointF(xy.value(0).toDouble(), xy.value(1).toDouble()));
  }
  return points;
}

void readElement(QXmlStreamReader& xml, Chart& chart, double& openMiss) {
  const QXmlStreamAttributes a = xml.attributes();
  const auto number = [&a](const char* name) { return a.value(QLatin1String(name)).toDouble(); };
  const auto date = [&a](const char* name) {
    return QDate::fromString(a.value(QLatin1String(name)).toString(), Qt::ISODate);
  };
  const QString cls = a.value(QLatin1String("class")).toString();
  const QStringView name = xml.name();
  if (cls == QLatin1String("count")) {
    const QList<QPointF> points = name == QLatin1String("circle")
                                      ? QList<QPointF>{QPointF(number("cx"), number("cy"))}
                                      : pointsOf(a.value(QLatin1String("points")).toString());
    chart.lines.append(Chart::Line{date("data-from"), date("data-to"), points});
  } else if (cls == QLatin1String("miss")) {
    openMiss = number("x1");
  } else if (name == QLatin1String("title") && openMiss >= 0) {
    chart.missing[QDate::fromString(xml.readElementText().left(10), Qt::ISODate)] = openMiss;
    openMiss = -1;
  } else if (cls == QLatin1String("tick")) {
    chart.months.append({a.value(QLatin1String("data-month")).toString(), number("x1")});
  } else if (cls.contains(QLatin1String("yearaxis"))) {
    chart.years.append(xml.readElementText());
  } else if (a.hasAttribute(QLatin1String("data-value"))) {
    chart.counts.append({a.value(QLatin1String("data-value")).toInt(), number("y1")});
  } else if (cls == QLatin1String("frame")) {
    chart.frameTop = number("y1");
    chart.frameBottom = number("y2");
  }
}

Chart chartOf(const QString& html) {
  static const QRegularExpression pattern(QStringLiteral("<svg[^>]*class=\"chart\".*?</svg>"),
                                          QRegularExpression::DotMatchesEverythingOption);
  Chart chart;
  QXmlStreamReader xml(pattern.match(html).captured(0));
  double openMiss = -1;
  while (!xml.atEnd()) {
    if (xml.readNext() == QXmlStreamReader::StartElement) {
      readElement(xml, chart, openMiss);
    }
  }
  EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
  return chart;
}

class ReportChartTest : public ::testing::Test {
protected:
  test::TempFolder folder;
  test::SampleDatabase db{folder.path() + QStringLiteral("/kabuka/"), 100};

  Chart check(QList<CheckTarget> targets) {
    return chartOf(renderHtml(checkDatabase(db.options(QDate(2016, 7, 1), targets))));
  }
  QDate firstTradingDay(int year, int month) const {
    return db.market().firstTradingDayOnOrAfter(QDate(year, month, 1));
  }
  QDate lastTradingDay(int year, int month) const {
    return db.market().lastTradingDayOnOrBefore(QDate(year, month, 1).addMonths(1).addDays(-1));
  }
};

TEST_F(ReportChartTest, DrawsALineOnlyBetweenNeighbouringTradingDays) {
  db.storeDays(QDate(2016, 1, 1), QDate(2016, 6, 30));
  const QList<QDate> gap = db.market().tradingDays(QDate(2016, 3, 1), QDate(2016, 3, 9));
  for (const QDate& day : gap) {
    QFile::remove(db.dayFile(day));
  }

  const Chart chart = check({{2016, 0}});
  ASSERT_EQ(chart.lines.size(), 2);
  EXPECT_EQ(chart.lines[0].from, firstTradingDay(2016, 1));
  EXPECT_EQ(chart.lines[0].to, QDate(2016, 2, 29));
  EXPECT_EQ(chart.lines[1].from, QDate(2016, 3, 10));
  EXPECT_EQ(chart.lines[1].to, lastTradingDay(2016, 6));
  for (const Chart::Line& line : chart.lines) {
    EXPECT_EQ(line.points.size(), db.market().tradingDays(line.from, line.to).size());
  }
  // Where the days are missing, no line passes.
  ASSERT_EQ(chart.missing.keys(), gap);
  for (const double x : chart.missing) {
    for (const Chart::Line& line : chart.lines) {
      EXPECT_FALSE(line.points.first().x() <= x && x <= line.points.last().x()) << x;
    }
  }
  // A tick where each month's first trading day stands, one label for the year.
  const QStringList months = {"2016-01", "2016-02", "2016-03", "2016-04", "2016-05", "2016-06"};
  ASSERT_EQ(chart.months.size(), months.size());
  for (qsizetype i = 0; i < months.size(); ++i) {
    EXPECT_EQ(chart.months[i].first, months[i]);
    EXPECT_TRUE(i == 0 || chart.months[i - 1].second < chart.months[i].second);
  }
  EXPECT_DOUBLE_EQ(chart.months[2].second, chart.missing.value(QDate(2016, 3, 1)));
  const qsizetype firstOfApril =
      db.market().tradingDays(QDate(2016, 3, 10), QDate(2016, 3, 31)).size();
  EXPECT_DOUBLE_EQ(chart.months[3].second, chart.lines[1].points.value(firstOfApril).x());
  EXPECT_EQ(chart.years, QStringList{"2016"});
}

// Two checked months with an unchecked one between stand side by side, but they
// are no neighbours: the line breaks between them.
TEST_F(ReportChartTest, BreaksTheLineWhereTheCheckedRangeBreaks) {
  db.storeDays(QDate(2016, 1, 1), QDate(2016, 6, 30));

  const Chart chart = check({{2016, 2}, {2016, 4}});
  ASSERT_EQ(chart.lines.size(), 2);
  EXPECT_EQ(chart.lines[0].from, firstTradingDay(2016, 2));
  EXPECT_EQ(chart.lines[0].to, lastTradingDay(2016, 2));
  EXPECT_EQ(chart.lines[1].from, firstTradingDay(2016, 4));
  EXPECT_EQ(chart.lines[1].to, lastTradingDay(2016, 4));
  ASSERT_EQ(chart.months.size(), 2);
  EXPECT_EQ(chart.months[1].first, QStringLiteral("2016-04"));
}

bool isRoundStep(int step) {
  while (step >= 10 && step % 10 == 0) {
    step /= 10;
  }
  return step == 1 || step == 2 || step == 5;
}

TEST_F(ReportChartTest, CountAxisEndsAtARoundNumberAndMatchesTheLine) {
  db.storeDays(QDate(2016, 3, 1), QDate(2016, 3, 31));
  const QDate shortDay(2016, 3, 14);
  db.storeDay(shortDay, test::SampleDatabase(db.dbPath(), 40).dayBytes(shortDay));

  const Chart chart = check({{2016, 3}});
  ASSERT_GE(chart.counts.size(), 3);
  const int step = chart.counts[1].first;
  EXPECT_TRUE(isRoundStep(step)) << step;
  for (qsizetype i = 0; i < chart.counts.size(); ++i) {
    EXPECT_EQ(chart.counts[i].first, i * step);
  }
  const auto [top, topY] = chart.counts.last();
  const double zeroY = chart.counts.first().second;
  EXPECT_GE(top, 100);
  EXPECT_LT(top, 100 + 2 * step) << "no empty room above the highest count";
  EXPECT_DOUBLE_EQ(chart.frameTop, topY) << "the axis ends at its top label";
  EXPECT_DOUBLE_EQ(chart.frameBottom, zeroY);

  // Every point stands where the axis says its count is.
  const auto yOf = [&](int records) { return zeroY + (topY - zeroY) * records / top; };
  ASSERT_EQ(chart.lines.size(), 1);
  int full = 0, low = 0;
  for (const QPointF& point : chart.lines[0].points) {
    full += std::abs(point.y() - yOf(100)) < 0.1;
    low += std::abs(point.y() - yOf(40)) < 0.1;
  }
  EXPECT_EQ(low, 1);
  EXPECT_EQ(full, chart.lines[0].points.size() - 1);
}

}  // namespace
}  // namespace kabuka::check
