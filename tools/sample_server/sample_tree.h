#pragma once

#include "http_server/loopback_http_server.h"
#include "sample_data/sample_prices.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QDate>

#include <functional>

namespace kabuka::tools {

// What the sample data server holds: every trading day of a range of years (no
// weekends, holidays or year-end closure), as month files and daily files, up to
// "today" and no further.
struct SampleTreeOptions {
  int fromYear = 2010;
  int toYear = 2010;
  int recordsPerDay = 4000;
};

// Maps a request to the sample data server's answer. The same object serves the
// tests in-process and the kabuka_sample_server program. Thread-safe: const, and
// `today` is only called.
class SampleTree {
public:
  using Today = std::function<QDate()>;

  // The folder of the server that holds the price tree.
  static constexpr char kRoot[] = "/kabu/kabu2/kabuka_db/";

  SampleTree(SampleTreeOptions options, Today today);

  HttpResponse respond(const HttpRequest& request) const;

  // Request paths of the two kinds of file, as the collector asks for them.
  static QByteArray dayFilePath(QDate day);
  static QByteArray monthFilePath(int year, int month);

  // The month file as served: whole for a past month; for the current month only
  // the days up to today, as a server that adds each day after the close has it.
  QByteArray monthFile(int year, int month) const;
  QByteArray dayFile(QDate day) const { return m_prices.dayFile(day); }

private:
  HttpResponse respondInTree(QByteArrayView treePath) const;
  HttpResponse respondDay(int folderYear, QByteArrayView fileName) const;
  HttpResponse respondMonth(int folderYear, QByteArrayView fileName) const;
  HttpResponse homePage() const;
  bool yearInRange(int year) const;

  SampleTreeOptions m_options;
  Today m_today;
  SamplePrices m_prices;
};

}  // namespace kabuka::tools
