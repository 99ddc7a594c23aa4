#pragma once

#include <QString>

#include <functional>

namespace kabuka::cli {

class ConsoleWindow;

// What more than one command needs.

// True once SIGINT or SIGTERM came. Work that reads on threads of its own (the
// check, the export) does not run the event loop, so it looks at the signal count
// as well as at the console.
std::function<bool()> stopRequestOf(ConsoleWindow& console);

// Writes a page (the check's, a chart) whole: a complete new file renamed over
// the old one, or nothing at all. False when it could not be written.
bool writePage(const QString& path, const QString& page);

}  // namespace kabuka::cli
