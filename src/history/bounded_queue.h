#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <utility>

namespace kabuka::history {

// Hands items from one thread to another, holding at most `capacity` of them:
// the producer waits while the queue is full, so memory stays bounded however
// far ahead it could run. Either side may close it; a closed queue takes nothing
// more and gives what it still holds.
template <typename T>
class BoundedQueue {
public:
  explicit BoundedQueue(size_t capacity) : m_capacity(capacity) {}

  // Waits for room; false when the queue is closed.
  bool push(T item) {
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [&] { return m_closed || m_items.size() < m_capacity; });
    if (m_closed) {
      return false;
    }
    m_items.push_back(std::move(item));
    lock.unlock();
    m_changed.notify_all();
    return true;
  }

  // Waits for an item; nothing once the queue is closed and empty.
  std::optional<T> pop() {
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [&] { return m_closed || !m_items.empty(); });
    if (m_items.empty()) {
      return std::nullopt;
    }
    std::optional<T> item(std::move(m_items.front()));
    m_items.pop_front();
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
  const size_t m_capacity;
  std::mutex m_mutex;
  std::condition_variable m_changed;
  std::deque<T> m_items;
  bool m_closed = false;
};

}  // namespace kabuka::history
