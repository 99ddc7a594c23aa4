#include "findings.h"

#include <QSet>

#include <algorithm>
#include <array>

namespace kabuka::check {

namespace {

struct KindInfo {
  FindingKind kind;
  Severity severity;
  Tally tally;
  const char* code;
  const char16_t* text;
};

constexpr auto E = Severity::Error;
constexpr auto W = Severity::Warning;

// One row per kind, in the order of the enumeration.
constexpr std::array<KindInfo, 25> kKinds{{
    {FindingKind::NoDatabase, E, Tally::None, "no-database", u"データベースのフォルダがありません"},
    {FindingKind::MissingDay, E, Tally::Missing, "missing-day", u"取引日のファイルがありません"},
    {FindingKind::UnexpectedDay, W, Tally::Unexpected, "unexpected-day", u"休場日のファイルです"},
    {FindingKind::BadFileName, E, Tally::Damaged, "bad-file-name",
     u"ファイル名が実在する日付の yyyymmdd.csv ではありません"},
    {FindingKind::WrongYearFolder, E, Tally::Damaged, "wrong-year-folder",
     u"別の年のフォルダにあるファイルです"},
    {FindingKind::Unreadable, E, Tally::Damaged, "unreadable", u"ファイルを読めません"},
    {FindingKind::NotRegularFile, E, Tally::Damaged, "not-a-regular-file",
     u"通常のファイルではありません"},
    {FindingKind::EmptyFile, E, Tally::Damaged, "empty-file", u"ファイルが空です"},
    {FindingKind::HeaderDateMismatch, E, Tally::Damaged, "header-date-mismatch",
     u"見出し行の日付がファイル名と違います"},
    {FindingKind::BadRecordCount, E, Tally::Damaged, "bad-record-count",
     u"見出し行の件数が続く行の数と違います"},
    {FindingKind::BadFieldCount, E, Tally::Damaged, "bad-field-count",
     u"項目が8つでない行があります"},
    {FindingKind::BadLineEnd, E, Tally::Damaged, "bad-line-end", u"CR LF で終わらない行があります"},
    {FindingKind::InvalidSjis, E, Tally::Damaged, "invalid-shift-jis",
     u"Shift-JIS（コードページ932）として正しくないバイトがあります"},
    {FindingKind::DuplicateCode, E, Tally::Damaged, "duplicate-code",
     u"同じ市場に同じ銘柄コードが2回あります"},
    {FindingKind::ShortDay, W, Tally::Short, "short-day",
     u"件数が前後の取引日の中央値の8割未満です（取得が途中だった可能性）"},
    {FindingKind::ChangedDuringCheck, W, Tally::None, "changed-during-check",
     u"検査中にファイルが変わりました"},
    {FindingKind::LeftoverMonthFile, W, Tally::None, "leftover-month-file",
     u"分割が終わらなかった月ファイルが残っています"},
    {FindingKind::LeftoverTempFile, W, Tally::None, "leftover-temp-file",
     u"中断された書き込みの一時ファイルが残っています"},
    {FindingKind::EmptyScratchFolder, W, Tally::None, "empty-scratch-folder",
     u"空の作業フォルダが残っています"},
    {FindingKind::ServerHasDay, E, Tally::Missing, "server-has-day",
     u"サーバーの月ファイルにある日がデータベースにありません"},
    {FindingKind::DiffersFromServer, E, Tally::Damaged, "differs-from-server",
     u"サーバーの月ファイルから作られる内容と違います"},
    {FindingKind::NotOnServer, W, Tally::Unexpected, "not-on-server",
     u"サーバーの月ファイルにない日のファイルです"},
    {FindingKind::ServerMonthMissing, W, Tally::None, "server-month-missing",
     u"サーバーから月ファイルを取得できませんでした"},
    {FindingKind::FutureDay, W, Tally::Unexpected, "future-day", u"まだ来ていない日のファイルです"},
    {FindingKind::YearWithoutDays, E, Tally::None, "year-without-days",
     u"この年の日毎株価ファイルが1つもありません"},
}};

constexpr bool rowsFollowTheEnumeration() {
  for (size_t i = 0; i < kKinds.size(); ++i) {
    if (static_cast<size_t>(kKinds[i].kind) != i) {
      return false;
    }
  }
  return kKinds.size() == static_cast<size_t>(FindingKind::YearWithoutDays) + 1;
}
static_assert(rowsFollowTheEnumeration(), "one row per finding kind, in order");

const KindInfo& infoOf(FindingKind kind) {
  return kKinds[static_cast<size_t>(kind)];
}

QString monthArgument(const QDate& date) {
  return date.toString(QStringLiteral("yyyy-MM"));
}

// Only for what `check --fix` mends itself: it collects the months of missing,
// damaged and short days and of left-overs, and nothing else.
QString recollectAdvice(const QDate& date) {
  return QStringLiteral("kabuka-collect month %1 で集め直してください（check --fix でも直せます）")
      .arg(monthArgument(date));
}

QString removeAdvice() {
  return QStringLiteral("不要なファイルなら削除してください");
}

int yearOf(const Finding& finding) {
  return finding.date.isValid() ? finding.date.year() : 0;
}

}  // namespace

Severity severityOf(FindingKind kind) {
  return infoOf(kind).severity;
}

Tally tallyOf(FindingKind kind) {
  return infoOf(kind).tally;
}

QString kindCode(FindingKind kind) {
  return QString::fromLatin1(infoOf(kind).code);
}

QString kindText(FindingKind kind) {
  return QString::fromUtf16(infoOf(kind).text);
}

QString whenOf(const Finding& finding) {
  switch (finding.scope) {
    case Finding::Scope::Day:
      return finding.date.toString(Qt::ISODate);
    case Finding::Scope::Month:
      return finding.date.toString(QStringLiteral("yyyy-MM"));
    case Finding::Scope::Year:
      break;
  }
  return finding.date.toString(QStringLiteral("yyyy"));
}

QString adviceFor(const Finding& finding) {
  if (finding.onClosedDay) {
    return QStringLiteral("休場日のファイルで、集め直しても置き換わりません。") + removeAdvice();
  }
  switch (finding.kind) {
    case FindingKind::NoDatabase:
      return QStringLiteral("settei.txt のデータベースフォルダの設定を確かめてください");
    case FindingKind::UnexpectedDay:
    case FindingKind::NotOnServer:
    case FindingKind::FutureDay:
      return removeAdvice();
    case FindingKind::BadFileName:
    case FindingKind::WrongYearFolder:
      return QStringLiteral("正しいフォルダ・名前へ移すか、不要なら削除してください");
    case FindingKind::Unreadable:
      return QStringLiteral("ファイルのアクセス権を確かめてから、") + recollectAdvice(finding.date);
    case FindingKind::ShortDay:
      return QStringLiteral("データ提供元の掲載が終わっていれば、") + recollectAdvice(finding.date);
    case FindingKind::ChangedDuringCheck:
      return QStringLiteral("収集が終わってからもう一度検査してください");
    case FindingKind::LeftoverMonthFile:
      return recollectAdvice(finding.date) + QStringLiteral("。集め終えたら削除できます");
    case FindingKind::LeftoverTempFile:
      return finding.scope == Finding::Scope::Year
                 ? QStringLiteral("収集中でなければ削除してください")
                 : recollectAdvice(finding.date) + QStringLiteral("。集め終えたら削除できます");
    case FindingKind::EmptyScratchFolder:
      return QStringLiteral("収集中でなければ削除してください");
    case FindingKind::ServerMonthMissing:
      return QStringLiteral("サーバーの掲載を確かめて、後でもう一度検査してください");
    case FindingKind::YearWithoutDays:
      return QStringLiteral(
                 "kabuka-collect year %1 で集めるか、不要な年ならフォルダを削除してください")
          .arg(finding.date.year());
    default:
      return recollectAdvice(finding.date);
  }
}

ExitStatus CheckReport::exitStatus() const {
  if (stopped) {
    return ExitStatus::Stopped;
  }
  if (!incomplete.isEmpty()) {
    return ExitStatus::Incomplete;
  }
  return hasErrors() ? ExitStatus::NotCollected : ExitStatus::Done;
}

bool CheckReport::hasErrors() const {
  return std::any_of(findings.begin(), findings.end(),
                     [](const Finding& f) { return f.severity() == Severity::Error; });
}

namespace {

void sortFindings(QList<Finding>& findings) {
  std::stable_sort(findings.begin(), findings.end(), [](const Finding& a, const Finding& b) {
    if (a.date != b.date) {
      return a.date < b.date;
    }
    return a.path < b.path;
  });
}

YearSummary& summaryFor(QList<YearSummary>& years, int year) {
  for (YearSummary& summary : years) {
    if (summary.year == year) {
      return summary;
    }
  }
  years.append(YearSummary{year});
  return years.last();
}

// A file or day counts once per tally however many faults it has.
QString tallyKey(const Finding& finding) {
  return finding.path.isEmpty() ? finding.date.toString(Qt::ISODate) : finding.path;
}

}  // namespace

void finishReport(CheckReport& report) {
  sortFindings(report.findings);
  QList<YearSummary> years;
  for (const auto& [date, entry] : report.days) {
    if (entry.state == DayState::NotChecked) {
      continue;
    }
    YearSummary& summary = summaryFor(years, date.year());
    if (entry.dueTradingDay) {
      ++summary.tradingDays;
    }
    if (entry.hasFile) {
      ++summary.filesPresent;
    }
    // Counted from the days: a year without any file is one finding for all of them.
    if (entry.state == DayState::Missing) {
      ++summary.missing;
    }
  }
  QSet<QString> counted[5];
  for (const Finding& finding : report.findings) {
    const Tally tally = tallyOf(finding.kind);
    if (tally == Tally::None || yearOf(finding) == 0) {
      continue;
    }
    QSet<QString>& seen = counted[static_cast<int>(tally)];
    const QString key = tallyKey(finding);
    if (seen.contains(key)) {
      continue;
    }
    seen.insert(key);
    YearSummary& summary = summaryFor(years, yearOf(finding));
    switch (tally) {
      case Tally::Missing:  // counted from the days above
        break;
      case Tally::Damaged:
        ++summary.damaged;
        break;
      case Tally::Short:
        ++summary.shortDays;
        break;
      case Tally::Unexpected:
        ++summary.unexpected;
        break;
      case Tally::None:
        break;
    }
  }
  std::sort(years.begin(), years.end(),
            [](const YearSummary& a, const YearSummary& b) { return a.year < b.year; });
  report.years = years;
}

}  // namespace kabuka::check
