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

class ReportHtmlTest : public ::testing::Test {
protected:
  test::TempFolder folder;
  test::SampleDatabase db{folder.path() + QStringLiteral("/kabuka/"), 100};
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
