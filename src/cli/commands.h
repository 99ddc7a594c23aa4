#pragma once

#include "cli/cli_context.h"
#include "cli/exit_status.h"

#include <QDate>
#include <QString>
#include <QStringList>

#include <span>

namespace kabuka::cli {

// Options that only some commands take, already parsed from the command line.
struct CommandOptions {
  QString since;  // update --since, as typed
};

// One command of kabuka-collect: its name, a one-line Japanese summary for --help
// and what it does with its arguments (those after the command name).
struct Command {
  const char* name;
  const char* usage;    // arguments as shown in --help, e.g. "<yyyy-mm-dd>"
  const char* summary;  // Japanese
  ExitStatus (*run)(CliContext& context, const QStringList& arguments,
                    const CommandOptions& options);
};

// The dispatch table, in the order --help lists it.
std::span<const Command> commands();
const Command* findCommand(const QString& name);

// The commands, one file each.
ExitStatus runDateCommand(CliContext&, const QStringList&, const CommandOptions&);
ExitStatus runMonthCommand(CliContext&, const QStringList&, const CommandOptions&);
ExitStatus runYearCommand(CliContext&, const QStringList&, const CommandOptions&);
ExitStatus runUpdateCommand(CliContext&, const QStringList&, const CommandOptions&);

// A date written yyyy-mm-dd, yyyy/mm/dd or yyyymmdd; invalid for anything else.
QDate parseDateArgument(const QString& text);

extern const QString kHelpHint;

// A bad command line: says why on the console and returns BadCommandLine.
ExitStatus badCommandLine(CliContext& context, const QString& why);

}  // namespace kabuka::cli
