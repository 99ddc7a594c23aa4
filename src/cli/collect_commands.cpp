// The commands that do what the window's date selection does: date, month, year.

#include "cli/collection.h"
#include "cli/commands.h"
#include "cli/console_window.h"

#include <QRegularExpression>

namespace kabuka::cli {

namespace {

// The one argument of a command, or empty (after saying so) when there is not
// exactly one.
QString singleArgument(CliContext& context, const char* command, const QStringList& arguments) {
  if (arguments.size() != 1) {
    badCommandLine(
        context,
        QStringLiteral("%1 には引数を 1 つ指定してください。").arg(QLatin1String(command)));
    return {};
  }
  return arguments.constFirst();
}

// Year, month and day of "yyyy-mm-dd", "yyyy/mm/dd" or "yyyymmdd" (fewer parts for
// a month or a year); empty when the text has another form.
QStringList dateParts(const QString& text, int parts) {
  static const QRegularExpression forms[] = {
      QRegularExpression(QStringLiteral("^(\\d{4})$")),
      QRegularExpression(QStringLiteral("^(\\d{4})[-/]?(\\d{2})$")),
      QRegularExpression(QStringLiteral("^(\\d{4})[-/]?(\\d{2})[-/]?(\\d{2})$")),
  };
  const auto match = forms[parts - 1].match(text);
  if (!match.hasMatch()) {
    return {};
  }
  QStringList captured = match.capturedTexts();
  captured.removeFirst();
  return captured;
}

}  // namespace

QDate parseDateArgument(const QString& text) {
  const QStringList parts = dateParts(text, 3);
  return parts.isEmpty() ? QDate() : QDate(parts[0].toInt(), parts[1].toInt(), parts[2].toInt());
}

ExitStatus runDateCommand(CliContext& context, const QStringList& arguments,
                          const CommandOptions&) {
  const QString text = singleArgument(context, "date", arguments);
  if (text.isEmpty()) {
    return ExitStatus::BadCommandLine;
  }
  const QDate date = parseDateArgument(text);
  if (!date.isValid()) {
    return badCommandLine(context, QStringLiteral("日付「%1」が正しくありません。"
                                                  "yyyy-mm-dd か yyyymmdd で指定してください。")
                                       .arg(text));
  }
  if (date > context.today()) {
    return badCommandLine(context, QStringLiteral("%1 はまだ来ていない日です。")
                                       .arg(date.toString(QStringLiteral("yyyy/MM/dd"))));
  }
  // The server has no file for a day the market was closed; say so if it failed.
  const QString closedReason = context.calendar.closedReason(date);
  const QString closedNote =
      closedReason.isEmpty() ? QString()
                             : QStringLiteral("%1 は休場日（%2）です。")
                                   .arg(date.toString(QStringLiteral("yyyy/MM/dd")), closedReason);
  return runCollection(context, dateSelection(date), 1, closedNote);
}

ExitStatus runMonthCommand(CliContext& context, const QStringList& arguments,
                           const CommandOptions&) {
  const QString text = singleArgument(context, "month", arguments);
  if (text.isEmpty()) {
    return ExitStatus::BadCommandLine;
  }
  const QStringList parts = dateParts(text, 2);
  const YearMonth month{parts.value(0).toInt(), parts.value(1).toInt()};
  if (parts.isEmpty() || month.month < 1 || month.month > 12) {
    return badCommandLine(context, QStringLiteral("年月「%1」が正しくありません。"
                                                  "yyyy-mm か yyyymm で指定してください。")
                                       .arg(text));
  }
  const QDate today = context.today();
  if (month > YearMonth{today.year(), today.month()}) {
    return badCommandLine(
        context, QStringLiteral("%1年%2月はまだ来ていない月です。").arg(parts[0], parts[1]));
  }
  return runCollection(context, monthSelection(month), 1);
}

ExitStatus runYearCommand(CliContext& context, const QStringList& arguments,
                          const CommandOptions&) {
  const QString text = singleArgument(context, "year", arguments);
  if (text.isEmpty()) {
    return ExitStatus::BadCommandLine;
  }
  const QStringList parts = dateParts(text, 1);
  if (parts.isEmpty()) {
    return badCommandLine(
        context, QStringLiteral("年「%1」が正しくありません。yyyy で指定してください。").arg(text));
  }
  const int year = parts[0].toInt();
  const QDate today = context.today();
  if (year > today.year()) {
    return badCommandLine(context, QStringLiteral("%1年はまだ来ていない年です。").arg(year));
  }
  // The window's year run goes up to the current month in the current year.
  const int months = year == today.year() ? today.month() : 12;
  return runCollection(context, yearSelection(year), months);
}

}  // namespace kabuka::cli
