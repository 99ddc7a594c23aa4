#pragma once

#include <condition_variable>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

namespace kabuka::history {

// Hands items from one thread to another, holding at most `capacity` of them:
// the producer waits while the queue is full, so memory stays bounded however
// far ahead it could run. Either side may close it; a closed queue takes nothing
// more and gives what it still holds.
//
// The queue and each of its places fill whole cache lines: memory the other
// thread writes must not share a line with memory beside it that a busy thread
// reads (SQLite's, in the bulk load), which would stall that thread on every read.
template <typename T>
class alignas(64) BoundedQueue {
public:
  explicit BoundedQueue(size_t capacity) : m_places(capacity) {}

  // Waits for room; false when the queue is closed.
  bool push(T item) {
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [&] { return m_closed || m_count < m_places.size(); });
    if (m_closed) {
      return false;
    }
    m_places[(m_first + m_count++) % m_places.size()].item.emplace(std::move(item));
    lock.unlock();
    m_changed.notify_all();
    return true;
  }

  // Waits for an item; nothing once the queue is closed and empty.
  std::optional<T> pop() {
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [&] { return m_closed || m_count > 0; });
    if (m_count == 0) {
      return std::nullopt;
    }
    std::optional<T> item = std::move(m_places[m_first].item);
    m_places[m_first].item.reset();
    m_first = (m_first + 1) % m_places.size();
    --m_count;
    lock.unlock();
    m_changed.notify_all();
    return item;
  }

  void close() {
    {
      const std::lock_guard lock(m_mutex);
      m_closed = true;
    }
    m_changed.notify_all();
  }

private:
  struct alignas(64) Place {
    std::optional<T> item;
  };
  std::mutex m_mutex;
  std::condition_variable m_changed;
  std::vector<Place> m_places;
  size_t m_first = 0;
  size_t m_count = 0;
  bool m_closed = false;
};

}  // namespace kabuka::history
