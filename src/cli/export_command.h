#pragma once

#include "cli/cli_context.h"
#include "common/exit_status.h"
#include "history/export.h"

#include <QList>
#include <QString>

namespace kabuka::cli {

// What `export` was asked for; `update --export` asks for all of it.
struct ExportRequest {
  QList<history::ExportTarget> targets;  // empty: every year
  QString sqlitePath;                    // empty: the database folder's kabuka.sqlite
  bool rebuild = false;
};

// Runs the export with progress and its last line on the console.
ExitStatus runExport(CliContext& context, const ExportRequest& request);

}  // namespace kabuka::cli
