#include "check/database_check.h"
#include "check/report_render.h"

#include "sample_database.h"
#include "support/temp_folder.h"

#include <QFile>
#include <QHash>
#include <QRegularExpression>
#include <QXmlStreamReader>

#include <gtest/gtest.h>

namespace kabuka::check {
namespace {

struct Square {
  QString fill;
  QString title;
};

// Every day square of the page's calendars, by date; fails the test when a
// calendar is not well-formed SVG or a day has two squares.
QHash<QDate, Square> daySquares(const QString& html) {
  QHash<QDate, Square> squares;
  static const QRegularExpression svgPattern(QStringLiteral("<svg[^>]*class=\"calendar\".*?</svg>"),
                                             QRegularExpression::DotMatchesEverythingOption);
  for (const auto& match : svgPattern.globalMatch(html)) {
    QXmlStreamReader xml(match.captured(0));
    QDate open;
    while (!xml.atEnd()) {
      xml.readNext();
      if (xml.isStartElement() && xml.name() == QLatin1String("rect")) {
        open = QDate::fromString(xml.attributes().value(QLatin1String("data-date")).toString(),
                                 Qt::ISODate);
        EXPECT_FALSE(squares.contains(open)) << open.toString(Qt::ISODate).toStdString();
        squares[open].fill = xml.attributes().value(QLatin1String("fill")).toString();
      } else if (xml.isStartElement() && xml.name() == QLatin1String("title") && open.isValid()) {
        squares[open].title = xml.readElementText();
      } else if (xml.isEndElement() && xml.name() == QLatin1String("rect")) {
        open = QDate();
      }
    }
    EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
  }
  return squares;
}

// The cells of each row of the page's findings table, the heading left out.
QList<QStringList> findingRows(const QString& html) {
  static const QRegularExpression tablePattern(
      QStringLiteral("<table class=\"findings\">.*?</table>"),
      QRegularExpression::DotMatchesEverythingOption);
  QXmlStreamReader xml(tablePattern.match(html).captured(0));
  QList<QStringList> rows;
  while (!xml.atEnd()) {
    xml.readNext();
    if (xml.isStartElement() && xml.name() == QLatin1String("tr")) {
      rows.append(QStringList());
    } else if (xml.isStartElement() && xml.name() == QLatin1String("td")) {
      rows.last().append(xml.readElementText());
    }
  }
  EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
  rows.removeIf([](const QStringList& row) { return row.isEmpty(); });
  return rows;
}

class ReportHtmlTest : public ::testing::Test {
protected:
  test::TempFolder folder;
  test::SampleDatabase db{folder.path() + QStringLiteral("/kabuka/"), 100};

  void removeDays(const QDate& first, const QDate& last) {
    for (const QDate& day : db.market().tradingDays(first, last)) {
      QFile::remove(db.dayFile(day));
    }
  }
};

TEST_F(ReportHtmlTest, OneSquarePerDayColouredByHowTheDayStands) {
  db.storeDays(QDate(2016, 3, 1), QDate(2016, 3, 31));
  const QDate missing(2016, 3, 2), damaged(2016, 3, 3), shortDay(2016, 3, 14), holiday(2016, 3, 21),
      weekend(2016, 3, 5), stored(2016, 3, 15), outside(2016, 7, 1);
  QFile::remove(db.dayFile(missing));
  test::writeBytes(db.dayFile(damaged), {});
  db.storeDay(shortDay, test::SampleDatabase(db.dbPath(), 40).dayBytes(shortDay));
  db.storeDay(holiday, db.dayBytes(holiday));

  const CheckReport report = checkDatabase(db.options(QDate(2016, 6, 1), {{2016, 3}}));
  const QString html = renderHtml(report);
  const QHash<QDate, Square> squares = daySquares(html);

  EXPECT_EQ(squares.size(), QDate(2016, 1, 1).daysInYear());
  const QList<std::pair<QDate, DayState>> expected = {
      {missing, DayState::Missing},    {damaged, DayState::Damaged}, {shortDay, DayState::Short},
      {holiday, DayState::Unexpected}, {weekend, DayState::Closed},  {stored, DayState::Stored},
      {outside, DayState::NotChecked}};
  for (const auto& [date, state] : expected) {
    EXPECT_EQ(squares.value(date).fill, dayColour(state))
        << date.toString(Qt::ISODate).toStdString();
    EXPECT_TRUE(squares.value(date).title.contains(date.toString(Qt::ISODate)));
  }
  EXPECT_TRUE(squares.value(stored).title.contains(QStringLiteral("100 件")));
  EXPECT_TRUE(squares.value(shortDay).title.contains(kindText(FindingKind::ShortDay)));
  EXPECT_TRUE(squares.value(damaged).title.contains(kindText(FindingKind::EmptyFile)));
  EXPECT_TRUE(squares.value(missing).title.contains(kindText(FindingKind::MissingDay)));

  // Self-contained: nothing is fetched and nothing runs when the page is opened.
  EXPECT_FALSE(html.contains(QStringLiteral("<script"), Qt::CaseInsensitive));
  EXPECT_FALSE(html.contains(QStringLiteral("url("), Qt::CaseInsensitive));
  EXPECT_FALSE(html.contains(QRegularExpression(QStringLiteral("(src|href)="))));
  EXPECT_TRUE(html.contains(kindText(FindingKind::MissingDay)));
}

// One row per run of missing trading days: a weekend or a holiday inside a run
// does not break it, a stored or a damaged day does, and so does a month's end
// only in the action it advises.
TEST_F(ReportHtmlTest, FindingsTableShowsARunOfMissingDaysAsOneRow) {
  db.storeDays(QDate(2016, 1, 1), QDate(2016, 6, 30));
  removeDays(QDate(2016, 2, 8), QDate(2016, 2, 9));
  removeDays(QDate(2016, 2, 12), QDate(2016, 2, 12));  // after a stored day and a holiday
  removeDays(QDate(2016, 3, 17), QDate(2016, 3, 25));  // over a weekend and two holidays
  removeDays(QDate(2016, 4, 12), QDate(2016, 4, 14));
  test::writeBytes(db.dayFile(QDate(2016, 4, 13)), {});
  removeDays(QDate(2016, 5, 30), QDate(2016, 6, 2));

  const CheckReport report = checkDatabase(db.options(QDate(2016, 7, 1), {{2016, 0}}));
  QList<QStringList> rows = findingRows(renderHtml(report));
  const QString missing = kindText(FindingKind::MissingDay);
  const QList<QStringList> expected = {
      {"2016-02-08", "2016-02-09", "2", missing},
      {"2016-02-12", "", "1", missing},
      {"2016-03-17", "2016-03-25", "6", missing},
      {"2016-04-12", "", "1", missing},
      {"2016-04-13", "", "", kindText(FindingKind::EmptyFile)},
      {"2016-04-14", "", "1", missing},
      {"2016-05-30", "2016-06-02", "4", missing},
  };
  ASSERT_EQ(rows.size(), expected.size());
  for (qsizetype i = 0; i < rows.size(); ++i) {
    const QStringList& row = rows[i];
    ASSERT_EQ(row.size(), 7);
    EXPECT_EQ((QStringList{row[0], row[1], row[2], row[5]}), expected[i]) << i;
  }
  // One action per row: the month's collection, or every month the run touches.
  Finding march;
  march.date = QDate(2016, 3, 17);
  EXPECT_EQ(rows[2][6], adviceFor(march));
  EXPECT_TRUE(rows[6][6].contains(QStringLiteral("2016-05")) &&
              rows[6][6].contains(QStringLiteral("2016-06")))
      << rows[6][6].toStdString();
  // The plain report keeps one finding per day.
  EXPECT_EQ(std::count_if(report.findings.begin(), report.findings.end(),
                          [](const Finding& f) { return f.kind == FindingKind::MissingDay; }),
            2 + 1 + 6 + 2 + 4);
}

// Texts from the calendar and from the files go into the page as text, never as
// markup: a closed day's reason and a finding's detail with <, & and ".
TEST_F(ReportHtmlTest, CalendarTooltipsEscapeWhatTheyQuote) {
  const QString reason = QStringLiteral("臨時<休場> & \"点検\"");
  const QDate closed(2016, 3, 16), stored(2016, 3, 15);
  CheckOptions options = db.options(QDate(2016, 6, 1), {{2016, 3}});
  const TradingCalendar market = options.calendar;
  options.calendar.isTradingDay = [=](const QDate& day) {
    return day != closed && market.isTradingDay(day);
  };
  options.calendar.closedReason = [=](const QDate& day) {
    return day == closed ? reason : market.closedReason(day);
  };
  db.storeDays(QDate(2016, 3, 1), QDate(2016, 3, 31));
  QFile::remove(db.dayFile(closed));
  QByteArray bytes = db.dayBytes(stored);
  test::replaceField(bytes, 1, 1, "<a&\"b>");
  db.storeDay(stored, bytes);

  const QString html = renderHtml(checkDatabase(options));
  const QHash<QDate, Square> squares = daySquares(html);
  EXPECT_TRUE(squares.value(closed).title.contains(reason))
      << squares.value(closed).title.toStdString();
  EXPECT_TRUE(squares.value(stored).title.contains(QStringLiteral("<a&\"b>")))
      << squares.value(stored).title.toStdString();
  EXPECT_FALSE(html.contains(QStringLiteral("<休場>")));
  EXPECT_FALSE(html.contains(QStringLiteral("<a&")));
}

struct Rgb8 {
  int r, g, b;
};

Rgb8 rgbOf(DayState state) {
  const QString hex = dayColour(state);
  return {hex.mid(1, 2).toInt(nullptr, 16), hex.mid(3, 2).toInt(nullptr, 16),
          hex.mid(5, 2).toInt(nullptr, 16)};
}

// The legend's promise: green stored, red missing, darker red damaged, orange short,
// grey closed.
TEST(DayColours, FollowTheLegend) {
  const Rgb8 stored = rgbOf(DayState::Stored), missing = rgbOf(DayState::Missing),
             damaged = rgbOf(DayState::Damaged), shortDay = rgbOf(DayState::Short),
             closed = rgbOf(DayState::Closed);
  EXPECT_TRUE(stored.g > stored.r && stored.g > stored.b) << "green";
  EXPECT_TRUE(missing.r > 2 * missing.g && missing.r > 2 * missing.b) << "red";
  EXPECT_TRUE(damaged.r > 2 * damaged.g && damaged.r > 2 * damaged.b) << "red";
  EXPECT_LT(damaged.r, missing.r) << "darker than missing";
  EXPECT_TRUE(shortDay.r > shortDay.g && shortDay.g > shortDay.b && 2 * shortDay.g > shortDay.r)
      << "orange";
  EXPECT_TRUE(closed.r == closed.g && closed.g == closed.b) << "grey";
}

}  // namespace
}  // namespace kabuka::check
