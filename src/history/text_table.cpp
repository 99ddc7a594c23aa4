#include "text_table.h"

#include "common/sjis.h"

namespace kabuka::history {

void TextTable::load(const std::vector<Entry>& stored) {
  const std::lock_guard lock(m_mutex);
  m_bySjis.clear();
  m_byUtf8.clear();
  m_added.clear();
  m_lastId = 0;
  for (const auto& [id, utf8] : stored) {
    m_byUtf8.emplace(utf8.toStdString(), id);
    m_lastId = std::max(m_lastId, id);
  }
}

int TextTable::idOf(std::string_view sjis) {
  const std::lock_guard lock(m_mutex);
  if (const auto found = m_bySjis.find(sjis); found != m_bySjis.end()) {
    return found->second;
  }
  // Code page 932 has characters with two byte forms: both are one text.
  const QByteArray utf8 = fromSjis(QByteArrayView(sjis.data(), qsizetype(sjis.size()))).toUtf8();
  const std::string key = utf8.toStdString();
  auto [entry, fresh] = m_byUtf8.emplace(key, m_lastId + 1);
  if (fresh) {
    m_added.emplace_back(++m_lastId, utf8);
  }
  m_bySjis.emplace(std::string(sjis), entry->second);
  return entry->second;
}

std::vector<TextTable::Entry> TextTable::entriesAfter(int number) const {
  const std::lock_guard lock(m_mutex);
  std::vector<Entry> entries;
  for (const Entry& entry : m_added) {
    if (entry.first > number) {
      entries.push_back(entry);
    }
  }
  return entries;
}

int TextTable::lastId() const {
  const std::lock_guard lock(m_mutex);
  return m_lastId;
}

int TextCache::idOf(std::string_view sjis) {
  if (const auto found = m_known.find(sjis); found != m_known.end()) {
    return found->second;
  }
  const int id = m_table.idOf(sjis);
  m_known.emplace(std::string(sjis), id);
  return id;
}

}  // namespace kabuka::history
