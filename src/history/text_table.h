#pragma once

#include <QByteArray>

#include <cstdint>

#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace kabuka::history {

// Texts that many rows share (market names, stock names), each kept once in a
// table of its own and referred to by number. Read by several threads at once;
// a text seen for the first time is decoded from Shift-JIS and numbered.
class TextTable {
public:
  using Entry = std::pair<int, QByteArray>;  // number, UTF-8

  // The texts the database already holds; numbers new texts after them.
  void load(const std::vector<Entry>& stored);
  int idOf(std::string_view sjis);
  // The texts numbered after `number`, in order, for the writer to store.
  std::vector<Entry> entriesAfter(int number) const;
  int lastId() const;

private:
  struct Hash {
    using is_transparent = void;
    size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
  };
  mutable std::mutex m_mutex;
  std::unordered_map<std::string, int, Hash, std::equal_to<>> m_bySjis;
  std::unordered_map<std::string, int, Hash, std::equal_to<>> m_byUtf8;
  std::vector<Entry> m_added;
  int m_lastId = 0;
};

// One thread's memory of a table's numbers, so that a known text costs a lookup
// without a lock: a table of its own, open addressed, keyed by a fast hash of the
// bytes, as every record looks up its market and its name.
class TextCache {
public:
  explicit TextCache(TextTable& table) : m_table(table) {}
  int idOf(std::string_view sjis);

private:
  struct Slot {
    std::uint64_t hash = 0;
    int id = 0;  // 0: empty
    std::string sjis;
  };
  void grow();

  TextTable& m_table;
  std::vector<Slot> m_slots;  // a power of two of them, at most half in use
  size_t m_used = 0;
};

}  // namespace kabuka::history
