#pragma once

#include "cli/cli_context.h"
#include "cli/option_table.h"
#include "common/exit_status.h"

#include <QString>

#include <span>

namespace kabuka::cli {

// What one exit status of a command means, for its help.
struct ExitStatusHelp {
  ExitStatus status;
  const char16_t* meaning;  // Japanese; "\n" starts a further line
};

// One command of kabuka-collect with everything about it in one place: its name,
// its help, the table of its options (which both parses them and lists them in
// the help) and what its exit statuses mean. Each command lives in a file of its
// own and is listed in the dispatch table of commands.cpp.
struct Command {
  const char* name;
  const char16_t* arguments;    // as the usage line shows them: u"<yyyy-mm-dd>"
  const char16_t* summary;      // one line, for the list of commands
  const char16_t* description;  // the command's own help; "\n" between lines
  std::span<const OptionSpec> options;
  std::span<const ExitStatusHelp> exitStatuses;
  // Runs with the command's options and its other words (the command's name not
  // among them).
  ExitStatus (*run)(CliContext& context, const ParsedOptions& options);
};

// Every command, in the order the help lists them.
std::span<const Command* const> commands();
const Command* findCommand(const QString& name);

// The command that takes an option of that long name, for the message when it is
// given to another one; null when none does.
const Command* commandTaking(const QString& longName);

// The help of one command, and of the program with the list of commands.
QString commandHelp(const Command& command);
QString programHelp();

// The help of the options every command takes (program.cpp owns them).
QString globalOptionHelp();

// A bad command line: says why and where help is, and returns BadCommandLine.
ExitStatus badCommandLine(CliContext& context, const QString& why);
// Where the help is: that of `command`, or the program's when null.
QString helpHint(const Command* command);

// Exit statuses that mean the same for every command that has them.
inline constexpr ExitStatusHelp kBadCommandLineHelp{
    ExitStatus::BadCommandLine, u"コマンドラインの誤り（何も変更していません）"};
inline constexpr ExitStatusHelp kLockedHelp{
    ExitStatus::Locked,
    u"ほかの収集処理がデータベースのロックを持っています（何も変更していません）"};
inline constexpr ExitStatusHelp kStoppedHelp{
    ExitStatus::Stopped, u"SIGINT か SIGTERM で止まりました（それまでの分は残ります）"};

}  // namespace kabuka::cli
