#pragma once

#include <QDate>

#include <functional>

namespace kabuka {

// Today's local date. Injected wherever "today" matters, so tests can pick the day.
using Clock = std::function<QDate()>;

inline QDate systemToday() { return QDate::currentDate(); }

}  // namespace kabuka
