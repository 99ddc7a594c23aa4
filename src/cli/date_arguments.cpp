#include "date_arguments.h"

#include <QRegularExpression>
#include <QStringList>

namespace kabuka::cli {

namespace {

// Year, month and day of the text (fewer parts for a month or a year); empty when
// the text has another form.
QList<int> dateParts(const QString& text, int parts) {
  static const QRegularExpression forms[] = {
      QRegularExpression(QStringLiteral("^(\\d{4})$")),
      QRegularExpression(QStringLiteral("^(\\d{4})[-/]?(\\d{2})$")),
      QRegularExpression(QStringLiteral("^(\\d{4})[-/]?(\\d{2})[-/]?(\\d{2})$")),
  };
  const auto match = forms[parts - 1].match(text);
  if (!match.hasMatch()) {
    return {};
  }
  QList<int> numbers;
  for (int i = 1; i <= parts; ++i) {
    numbers.append(match.captured(i).toInt());
  }
  return numbers;
}

}  // namespace

QDate parseDayArgument(const QString& text) {
  const QList<int> parts = dateParts(text, 3);
  return parts.isEmpty() || parts[0] < 1 ? QDate() : QDate(parts[0], parts[1], parts[2]);
}

std::optional<YearMonth> parseMonthArgument(const QString& text) {
  const QList<int> parts = dateParts(text, 2);
  if (parts.isEmpty() || parts[0] < 1 || parts[1] < 1 || parts[1] > 12) {
    return std::nullopt;
  }
  return YearMonth{parts[0], parts[1]};
}

std::optional<int> parseYearArgument(const QString& text) {
  const QList<int> parts = dateParts(text, 1);
  return parts.isEmpty() || parts[0] < 1 ? std::nullopt : std::optional(parts[0]);
}

std::optional<YearMonth> parseYearOrMonthArgument(const QString& text) {
  if (const std::optional<int> year = parseYearArgument(text)) {
    return YearMonth{*year, 0};
  }
  return parseMonthArgument(text);
}

}  // namespace kabuka::cli
