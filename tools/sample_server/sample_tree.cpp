#include "sample_tree.h"

#include <QList>
#include <QString>

#include <optional>

namespace kabuka::tools {

namespace {

constexpr char kCsvSuffix[] = ".csv";

// The value of a text made only of ASCII digits; anything else is no number, so a
// path with signs, blanks or dots in its number parts never matches.
std::optional<int> digitsValue(QByteArrayView text) {
  if (text.isEmpty()) {
    return std::nullopt;
  }
  int value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') {
      return std::nullopt;
    }
    value = value * 10 + (c - '0');
  }
  return value;
}

// The number of a file name made of `digits` digits and ".csv".
std::optional<int> csvNumber(QByteArrayView fileName, qsizetype digits) {
  const QByteArrayView suffix(kCsvSuffix);
  if (fileName.size() != digits + suffix.size() || !fileName.endsWith(suffix)) {
    return std::nullopt;
  }
  return digitsValue(fileName.first(digits));
}

QByteArray dayName(QDate day) {
  return day.toString(QStringLiteral("yyyyMMdd")).toLatin1();
}

}  // namespace

SampleTree::SampleTree(SampleTreeOptions options, Today today)
    : m_options(options), m_today(std::move(today)) {
  m_prices.recordsPerDay = options.recordsPerDay;
}

QByteArray SampleTree::dayFilePath(QDate day) {
  return kRoot + QByteArray::number(day.year()) + "/data_d/" + dayName(day) + kCsvSuffix;
}

QByteArray SampleTree::monthFilePath(int year, int month) {
  return kRoot + QByteArray::number(year) + "/data_dg/" + QByteArray::number(year * 100 + month) +
         kCsvSuffix;
}

QByteArray SampleTree::monthFile(int year, int month) const {
  return m_prices.monthFile(year, month, m_today());
}

HttpResponse SampleTree::respond(const HttpRequest& request) const {
  if (request.method != "GET") {
    return HttpResponse::notFound();
  }
  // Like a web server serving files, the query does not choose the file.
  QByteArrayView path = request.path;
  const qsizetype query = path.indexOf('?');
  if (query >= 0) {
    path = path.first(query);
  }
  if (path == "/") {
    return homePage();
  }
  const QByteArrayView root(kRoot);
  if (!path.startsWith(root)) {
    return HttpResponse::notFound();
  }
  return respondInTree(path.sliced(root.size()));
}

// "<yyyy>/data_d/<yyyymmdd>.csv" or "<yyyy>/data_dg/<yyyymm>.csv" and nothing else:
// a path with "..", "." or doubled slashes in it is not one of these and so is a 404.
HttpResponse SampleTree::respondInTree(QByteArrayView treePath) const {
  const QList<QByteArray> parts = treePath.toByteArray().split('/');
  if (parts.size() != 3 || parts[0].size() != 4) {
    return HttpResponse::notFound();
  }
  const std::optional<int> year = digitsValue(parts[0]);
  if (!year || !yearInRange(*year)) {
    return HttpResponse::notFound();
  }
  if (parts[1] == "data_d") {
    return respondDay(*year, parts[2]);
  }
  if (parts[1] == "data_dg") {
    return respondMonth(*year, parts[2]);
  }
  return HttpResponse::notFound();
}

HttpResponse SampleTree::respondDay(int folderYear, QByteArrayView fileName) const {
  const std::optional<int> digits = csvNumber(fileName, 8);
  if (!digits) {
    return HttpResponse::notFound();
  }
  const QDate day(*digits / 10000, *digits / 100 % 100, *digits % 100);
  const bool traded = SamplePrices::isTradingDay(day);
  if (!traded || day.year() != folderYear || day > m_today()) {
    return HttpResponse::notFound();
  }
  return HttpResponse::ok(dayFile(day));
}

HttpResponse SampleTree::respondMonth(int folderYear, QByteArrayView fileName) const {
  const std::optional<int> digits = csvNumber(fileName, 6);
  if (!digits) {
    return HttpResponse::notFound();
  }
  const int year = *digits / 100;
  const int month = *digits % 100;
  if (year != folderYear || month < 1 || month > 12 || QDate(year, month, 1) > m_today()) {
    return HttpResponse::notFound();
  }
  return HttpResponse::ok(monthFile(year, month));
}

bool SampleTree::yearInRange(int year) const {
  return year >= m_options.fromYear && year <= m_options.toYear;
}

// The collector's logo opens the root page of the data server's host; in the demo
// that is this server, so it has a page to show there.
HttpResponse SampleTree::homePage() const {
  const QString page =
      QStringLiteral(
          "<!DOCTYPE html>\n<html lang=\"ja\"><head><meta charset=\"UTF-8\">"
          "<title>日毎株価 見本データサーバ</title></head><body>\n"
          "<h1>日毎株価 見本データサーバ</h1>\n"
          "<p>%1年から%2年までの取引日の株価を置いています。どれも作り物の見本データです。</p>\n"
          "<p>月ごとのファイル: %3&lt;年&gt;/data_dg/&lt;年月6桁&gt;.csv<br>\n"
          "日ごとのファイル: %3&lt;年&gt;/data_d/&lt;年月日8桁&gt;.csv</p>\n"
          "</body></html>\n")
          .arg(m_options.fromYear)
          .arg(m_options.toYear)
          .arg(QLatin1String(kRoot));
  return HttpResponse::ok(page.toUtf8(), "text/html; charset=UTF-8");
}

}  // namespace kabuka::tools
