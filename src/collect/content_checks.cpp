#include "content_checks.h"

#include "collect/records.h"
#include "common/field_reader.h"

#include <algorithm>

namespace kabuka {

namespace {

ContentVerdict cutShort(QString detail) {
  return {ContentVerdict::Kind::CutShort, std::move(detail)};
}

ContentVerdict wrong(QString detail) {
  return {ContentVerdict::Kind::Wrong, std::move(detail)};
}

// The first field is the day's name; one cut short of it may still be the day.
bool namesTheDay(std::string_view text, QByteArrayView dayName) {
  FieldReader reader(text);
  Field first;
  if (!reader.next(first)) {
    return true;
  }
  const QByteArrayView name(first.bytes.data(), qsizetype(first.bytes.size()));
  return name == dayName || (reader.atEnd() && dayName.startsWith(name));
}

}  // namespace

void FirstFieldProbe::take(QByteArrayView chunk) {
  if (m_complete) {
    return;
  }
  const qsizetype scanFrom = m_prefix.size();
  m_prefix.append(chunk);
  m_complete = fieldEndsAfter(scanFrom);
}

QByteArray FirstFieldProbe::field() const {
  FieldReader reader(std::string_view(m_prefix.data(), size_t(m_prefix.size())));
  Field field;
  return reader.next(field) ? QByteArray(field.bytes.data(), qsizetype(field.bytes.size()))
                            : QByteArray();
}

// Looks only at what has not been looked at, so a long first line costs one pass
// however many pieces it comes in. The field ends at its closing quote, or at a
// delimiter when it is not quoted.
bool FirstFieldProbe::fieldEndsAfter(qsizetype scanFrom) {
  if (m_fieldStart < 0) {
    while (scanFrom < m_prefix.size() &&
           (m_prefix[scanFrom] == ' ' || m_prefix[scanFrom] == '\t')) {
      ++scanFrom;
    }
    if (scanFrom == m_prefix.size()) {
      return false;
    }
    m_fieldStart = scanFrom;
    m_quoted = m_prefix[scanFrom] == '"';
    scanFrom += m_quoted ? 1 : 0;
  }
  const QByteArrayView fresh = QByteArrayView(m_prefix).sliced(scanFrom);
  if (m_quoted) {
    return fresh.contains('"');
  }
  return fresh.contains(',') || fresh.contains('\r') || fresh.contains('\n');
}

ContentVerdict judgeDayFile(QByteArrayView content, QByteArrayView dayName) {
  std::string_view text(content.data(), size_t(content.size()));
  const bool endedByMark = !text.empty() && text.back() == kEndOfFileMark;
  if (endedByMark) {
    text.remove_suffix(1);
  }
  if (!namesTheDay(text, dayName)) {
    return wrong(QStringLiteral("%1 の日毎株価ではありません").arg(QLatin1String(dayName)));
  }
  FieldReader reader(text);
  Record record;
  if (!readRecord(reader, record)) {
    return cutShort(QStringLiteral("日のヘッダの途中で切れています"));
  }
  const long long count = countOf(record.fields[1].bytes);
  for (long long read = 0; read < count; ++read) {
    if (!readRecord(reader, record)) {
      return cutShort(QStringLiteral("%1 件のはずが %2 件で切れています").arg(count).arg(read));
    }
  }
  const std::string_view rest = text.substr(size_t(reader.position() - text.data()));
  if (!std::all_of(rest.begin(), rest.end(), isTrailingFiller)) {
    return wrong(QStringLiteral("ヘッダの件数 %1 より後にもデータがあります").arg(count));
  }
  const bool lineEnded =
      endsWithLineEnd(record) || endedByMark || std::any_of(rest.begin(), rest.end(), isLineEnd);
  if (!lineEnded) {
    return cutShort(QStringLiteral("最後の行が途中で切れています"));
  }
  return {};
}

}  // namespace kabuka
