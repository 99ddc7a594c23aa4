#pragma once

#include "check/findings.h"

#include <QByteArray>
#include <QString>

namespace kabuka::check {

// The report for a person on a console: the summary per year, then one line per
// finding: the file or day, what is wrong, what to do.
QString renderText(const CheckReport& report);

// The same findings for scripts, as one JSON document.
QByteArray renderJson(const CheckReport& report);

// One self-contained page (no scripts, no outside fonts or pictures): a calendar of
// each year, twelve month grids with one square per day coloured by how the day
// stands, a chart of the record count per trading day, and the findings.
QString renderHtml(const CheckReport& report);

// The colour of a day's square; the page's legend lists them all.
QString dayColour(DayState state);
QString dayStateName(DayState state);  // short Japanese label of the legend

}  // namespace kabuka::check
