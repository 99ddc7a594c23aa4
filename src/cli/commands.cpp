// The dispatch table of kabuka-collect: every command, each defined in a file of
// its own.

#include "cli/command.h"
#include "cli/console_window.h"

#include <array>

namespace kabuka::cli {

extern const Command kDateCommand;
extern const Command kMonthCommand;
extern const Command kYearCommand;
extern const Command kUpdateCommand;
extern const Command kCheckCommand;
extern const Command kExportCommand;
extern const Command kSeriesCommand;

namespace {

const std::array<const Command*, 7> kCommands = {
    &kDateCommand,  &kMonthCommand,  &kYearCommand,   &kUpdateCommand,
    &kCheckCommand, &kExportCommand, &kSeriesCommand,
};

}  // namespace

std::span<const Command* const> commands() {
  return kCommands;
}

const Command* findCommand(const QString& name) {
  for (const Command* command : kCommands) {
    if (name == QLatin1String(command->name)) {
      return command;
    }
  }
  return nullptr;
}

const Command* commandTaking(const QString& longName) {
  for (const Command* command : kCommands) {
    for (const OptionSpec& option : command->options) {
      if (longName == QLatin1String(option.longName)) {
        return command;
      }
    }
  }
  return nullptr;
}

QString helpHint(const Command* command) {
  return command != nullptr ? QStringLiteral("使い方は kabuka-collect help %1 で表示できます。")
                                  .arg(QLatin1String(command->name))
                            : QStringLiteral("使い方は kabuka-collect --help で表示できます。");
}

ExitStatus badCommandLine(CliContext& context, const QString& why) {
  context.console.failure(QStringLiteral("kabuka-collect: ") + why);
  context.console.failure(helpHint(context.command));
  return ExitStatus::BadCommandLine;
}

}  // namespace kabuka::cli
