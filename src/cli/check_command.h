#pragma once

#include "check/database_check.h"
#include "cli/cli_context.h"
#include "cli/commands.h"
#include "cli/exit_status.h"

#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace kabuka::cli {

// `kabuka-collect check [YEAR | YEAR-MM ...] [--server] [--html FILE] [--json] [--fix]`
struct CheckCommandLine {
  QList<check::CheckTarget> targets;  // empty: every year folder
  bool server = false;
  bool json = false;
  bool fix = false;
  QString htmlFile;
};

// Reads the check's own arguments; nullopt with `error` set for a bad one.
std::optional<CheckCommandLine> parseCheckCommandLine(const QStringList& arguments, QString& error);

// The check with its report written through `writeReport` (stdout in the
// program), which says whether the whole report was written.
ExitStatus runCheck(CliContext& context, const QStringList& arguments,
                    const std::function<bool(QByteArrayView)>& writeReport);

ExitStatus runCheckCommand(CliContext& context, const QStringList& arguments,
                           const CommandOptions& options);

}  // namespace kabuka::cli
