#include "program.h"

#include "cli/cli_context.h"
#include "cli/commands.h"
#include "common/stop_signals.h"
#include "settings/settei_reader.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>

#include <csignal>
#include <optional>

namespace kabuka::cli {

namespace {

constexpr int kMaxRetries = 10;

const QCommandLineOption kProgramFolder(QStringLiteral("program-folder"), QString(),
                                        QStringLiteral("DIR"));
const QCommandLineOption kRetries(QStringLiteral("retries"), QString(), QStringLiteral("N"));
const QCommandLineOption kSince(QStringLiteral("since"), QString(), QStringLiteral("DATE"));
const QCommandLineOption kQuiet(QStringList{QStringLiteral("q"), QStringLiteral("quiet")});
const QCommandLineOption kHelp(QStringList{QStringLiteral("h"), QStringLiteral("help")});
// Pins "today", so tests and rehearsals see the calendar they set up.
const QCommandLineOption kToday(QStringLiteral("today"), QString(), QStringLiteral("DATE"));

// Options of one command only. They are parsed with the others, so that they may
// stand anywhere on the line, and handed to their command as it spells them.
struct CommandOption {
  QCommandLineOption option;
  const char* command;
};
const CommandOption kCommandOptions[] = {
    {QCommandLineOption(QStringLiteral("server")), "check"},
    {QCommandLineOption(QStringLiteral("html"), QString(), QStringLiteral("FILE")), "check"},
    {QCommandLineOption(QStringLiteral("json")), "check"},
    {QCommandLineOption(QStringLiteral("fix")), "check"},
};

// The parsed command line.
struct Invocation {
  bool help = false;
  const Command* command = nullptr;
  QStringList arguments;
  CommandOptions options;
  QString programFolder;
  int retries = 3;
  bool quiet = false;
  QDate today;  // invalid: the clock's
};

struct Parsed {
  std::optional<Invocation> invocation;
  QString error;
};

Parsed fail(const QString& error) {
  return {std::nullopt, error};
}

std::optional<int> parseRetries(const QString& text) {
  bool ok = false;
  const int value = text.toInt(&ok);
  return ok && value >= 0 && value <= kMaxRetries ? std::optional(value) : std::nullopt;
}

Parsed parseCommandLine(const QStringList& arguments, const QString& executableFolder) {
  QCommandLineParser parser;
  parser.addOptions({kProgramFolder, kRetries, kSince, kQuiet, kHelp, kToday});
  for (const CommandOption& own : kCommandOptions) {
    parser.addOption(own.option);
  }
  if (!parser.parse(arguments)) {
    const QStringList unknown = parser.unknownOptionNames();
    return fail(unknown.isEmpty()
                    ? QStringLiteral("オプションの値がありません（%1）").arg(parser.errorText())
                    : QStringLiteral("「%1」というオプションはありません。").arg(unknown.first()));
  }
  Invocation invocation;
  invocation.help = parser.isSet(kHelp);
  invocation.quiet = parser.isSet(kQuiet);
  invocation.programFolder =
      parser.isSet(kProgramFolder) ? parser.value(kProgramFolder) : executableFolder;
  invocation.options.since = parser.value(kSince);
  if (invocation.help) {
    return {invocation, {}};
  }
  if (parser.isSet(kRetries)) {
    const std::optional<int> retries = parseRetries(parser.value(kRetries));
    if (!retries) {
      return fail(QStringLiteral("--retries には 0 から %1 までの回数を指定してください。")
                      .arg(kMaxRetries));
    }
    invocation.retries = *retries;
  }
  if (parser.isSet(kToday)) {
    invocation.today = parseDateArgument(parser.value(kToday));
    if (!invocation.today.isValid()) {
      return fail(QStringLiteral("--today の日付が正しくありません。"));
    }
  }
  QStringList positional = parser.positionalArguments();
  if (positional.isEmpty()) {
    return fail(QStringLiteral("コマンドを指定してください。"));
  }
  invocation.command = findCommand(positional.takeFirst());
  if (!invocation.command) {
    return fail(QStringLiteral("「%1」というコマンドはありません。")
                    .arg(parser.positionalArguments().constFirst()));
  }
  if (parser.isSet(kSince) && QLatin1String(invocation.command->name) != QLatin1String("update")) {
    return fail(QStringLiteral("--since は update でだけ使えます。"));
  }
  invocation.arguments = positional;
  for (const CommandOption& own : kCommandOptions) {
    if (!parser.isSet(own.option)) {
      continue;
    }
    const QString name = own.option.names().constFirst();
    if (QLatin1String(invocation.command->name) != QLatin1String(own.command)) {
      return fail(
          QStringLiteral("--%1 は %2 でだけ使えます。").arg(name, QLatin1String(own.command)));
    }
    invocation.arguments.append(QStringLiteral("--") + name);
    if (!own.option.valueName().isEmpty()) {
      invocation.arguments.append(parser.value(own.option));
    }
  }
  QFileInfo folder(invocation.programFolder);
  if (!folder.isDir()) {
    return fail(
        QStringLiteral("プログラムフォルダ「%1」がありません。").arg(invocation.programFolder));
  }
  invocation.programFolder = folder.absoluteFilePath();
  return {invocation, {}};
}

void writeBadCommandLine(const ProgramEnvironment& environment, const QString& error) {
  ConsoleWindow console(environment.console, false);
  console.failure(QStringLiteral("kabuka-collect: ") + error);
  console.failure(kHelpHint);
}

int runCommand(const Invocation& invocation, const ProgramEnvironment& environment) {
  ConsoleWindow console(environment.console, invocation.quiet);
  std::optional<StopSignals> stopSignals;
  if (environment.catchStopSignals) {
    stopSignals.emplace(std::initializer_list<int>{SIGINT, SIGTERM},
                        [&console] { console.requestStop(); });
  }
  CliContext context{
      .programFolder = invocation.programFolder,
      .settei_tbl = {},
      .calendar = MarketCalendar(readClosedDays(invocation.programFolder)),
      .retry = {invocation.retries, environment.retryWait},
      .today = invocation.today.isValid() ? Clock([day = invocation.today] { return day; })
                                          : Clock(systemToday),
      .builtInBaseUrl = environment.builtInBaseUrl,
      .fetch = {},
      .quiet = invocation.quiet,
      .console = console,
  };
  context.fetch.transferTimeoutMs = environment.transferTimeoutMs;
  // Each run reads the settings again; this read is for what a command decides
  // before its first run (update looks for the newest day in the database).
  settei_read_sub(context.settei_tbl, context.programFolder, console);
  return toInt(invocation.command->run(context, invocation.arguments, invocation.options));
}

}  // namespace

int runProgram(const QStringList& arguments, const ProgramEnvironment& environment) {
  const Parsed parsed = parseCommandLine(arguments, environment.executableFolder);
  if (!parsed.invocation) {
    writeBadCommandLine(environment, parsed.error);
    return toInt(ExitStatus::BadCommandLine);
  }
  if (parsed.invocation->help) {
    environment.writeHelp(helpText().toUtf8());
    return toInt(ExitStatus::Done);
  }
  return runCommand(*parsed.invocation, environment);
}

}  // namespace kabuka::cli
