#include "text_table.h"

#include "common/sjis.h"

#include <xxhash.h>

#include <algorithm>

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
  // Numbered in the order they were added.
  const auto first = std::upper_bound(m_added.begin(), m_added.end(), number,
                                      [](int n, const Entry& entry) { return n < entry.first; });
  return std::vector<Entry>(first, m_added.end());
}

int TextTable::lastId() const {
  const std::lock_guard lock(m_mutex);
  return m_lastId;
}

int TextCache::idOf(std::string_view sjis) {
  if (m_slots.empty()) {
    m_slots.resize(256);
  }
  const std::uint64_t hash = XXH3_64bits(sjis.data(), sjis.size());
  const size_t mask = m_slots.size() - 1;
  for (size_t at = size_t(hash) & mask;; at = (at + 1) & mask) {
    Slot& slot = m_slots[at];
    if (slot.id == 0) {
      slot = {hash, m_table.idOf(sjis), std::string(sjis)};
      const int id = slot.id;
      if (++m_used * 2 > m_slots.size()) {
        grow();
      }
      return id;
    }
    if (slot.hash == hash && slot.sjis == sjis) {
      return slot.id;
    }
  }
}

void TextCache::grow() {
  std::vector<Slot> old(m_slots.size() * 2);
  old.swap(m_slots);
  const size_t mask = m_slots.size() - 1;
  for (Slot& slot : old) {
    if (slot.id != 0) {
      size_t at = size_t(slot.hash) & mask;
      while (m_slots[at].id != 0) {
        at = (at + 1) & mask;
      }
      m_slots[at] = std::move(slot);
    }
  }
}

}  // namespace kabuka::history
