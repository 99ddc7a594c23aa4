#include "program.h"

#include "cli/cli_context.h"
#include "cli/command.h"
#include "cli/date_arguments.h"
#include "common/stop_signals.h"
#include "settings/settei_reader.h"

#include <QFileInfo>

#include <charconv>
#include <csignal>
#include <optional>

namespace kabuka::cli {

namespace {

constexpr int kMaxRetries = 10;

// The options every command takes; a command's own are in its file.
constexpr OptionSpec kGlobalOptions[] = {
    {"program-folder", 0, "DIR",
     u"settei.txt を読むプログラムフォルダ（既定: kabuka-collect のあるフォルダ）"},
    {"retries", 0, "N",
     u"一時的な失敗（接続の拒否・切断、時間切れ、HTTP 5xx、HTTP 429）を\n"
     u"N 回まで取り直します（既定 3、0 から 10）。間隔は 1 秒、2 秒、4 秒 …、\n"
     u"サーバが Retry-After で求めればその秒数（最大 60 秒）です。\n"
     u"404 などのほかの応答やエラーページは取り直しません。"},
    {"quiet", 'q', nullptr, u"失敗だけを表示します"},
    {"verbose", 'v', nullptr,
     u"要求ごとに URL、HTTP ステータス、バイト数、かかった時間と、\n"
     u"取り直しのたびにその理由を表示します"},
    {"help", 'h', nullptr, u"説明を表示します（コマンドの後ならそのコマンドの説明）"},
    {"version", 0, nullptr, u"版を表示します"},
    // Pin the clock, so tests and rehearsals see the calendar they set up.
    {"today", 0, "DATE", u"", true},
    {"now", 0, "TIME", u"", true},
};

struct Invocation {
  const Command* command = nullptr;  // null: the program's own help or version
  bool help = false;
  bool version = false;
  ParsedOptions options;  // the command's words, without its name
  QString programFolder;
  int retries = 3;
  bool quiet = false;
  bool verbose = false;
  Clock today;
  std::function<QDateTime()> now;
};

struct Parsed {
  std::optional<Invocation> invocation;
  QString error;
  const Command* command = nullptr;  // for the hint to its help
};

Parsed fail(const QString& error, const Command* command = nullptr) {
  return {std::nullopt, error, command};
}

std::optional<int> parseRetries(const QString& text) {
  int value = -1;
  const QByteArray digits = text.toLatin1();
  const auto [end, error] = std::from_chars(digits.begin(), digits.end(), value);
  return error == std::errc() && end == digits.end() && value >= 0 && value <= kMaxRetries
             ? std::optional(value)
             : std::nullopt;
}

// Whether the option `word` takes the next word as its value, by the tables of
// the program and of every command: the command is not known yet. Unknown
// options are taken for switches; the parse proper refuses them.
std::optional<bool> takesValueIn(std::span<const OptionSpec> table, const QString& word) {
  for (const OptionSpec& option : table) {
    const bool named = word.startsWith(QLatin1String("--"))
                           ? word.mid(2) == QLatin1String(option.longName)
                           : option.shortName != 0 && word.endsWith(QLatin1Char(option.shortName));
    if (named) {
      return option.valueName != nullptr;
    }
  }
  return std::nullopt;
}

bool takesNextWord(const QString& word) {
  if (word.contains(QLatin1Char('='))) {
    return false;
  }
  if (const std::optional<bool> global = takesValueIn(kGlobalOptions, word)) {
    return *global;
  }
  for (const Command* command : commands()) {
    if (const std::optional<bool> own = takesValueIn(command->options, word)) {
      return *own;
    }
  }
  return false;
}

// The command is the first word that is neither an option nor an option's value.
const Command* commandOf(const QStringList& words, qsizetype& index) {
  for (qsizetype i = 0; i < words.size(); ++i) {
    const QString& word = words[i];
    if (word == QLatin1String("--")) {
      break;
    }
    if (word.size() > 1 && word.startsWith(QLatin1Char('-'))) {
      i += takesNextWord(word) ? 1 : 0;
      continue;
    }
    index = i;
    return findCommand(word);
  }
  return nullptr;
}

QString unknownCommandError(const QStringList& words) {
  const OptionParse scan = parseOptions(words, {kGlobalOptions});
  if (!scan.options.positional().isEmpty()) {
    return QStringLiteral("「%1」というコマンドはありません。").arg(scan.options.positional()[0]);
  }
  return scan.ok() ? QStringLiteral("コマンドを指定してください。") : scan.error;
}

// An option that another command takes gets a message that says which.
QString optionError(const OptionParse& parse, const Command& command) {
  const qsizetype dashes = parse.error.indexOf(QStringLiteral("「--"));
  if (dashes >= 0) {
    const QString name = parse.error.mid(dashes + 3).section(QStringLiteral("」"), 0, 0);
    const Command* owner = commandTaking(name);
    if (owner != nullptr && owner != &command) {
      return QStringLiteral("--%1 は %2 でだけ使えます。").arg(name, QLatin1String(owner->name));
    }
  }
  return parse.error;
}

Clock clockFor(const ParsedOptions& global, std::function<QDateTime()>& now, QString& error) {
  if (global.isSet("now")) {
    const QDateTime pinned = QDateTime::fromString(global.value("now"), Qt::ISODate);
    if (!pinned.isValid()) {
      error = QStringLiteral("--now の時刻が正しくありません。");
      return {};
    }
    now = [pinned] { return pinned; };
  }
  if (global.isSet("today")) {
    const QDate day = parseDayArgument(global.value("today"));
    if (!day.isValid()) {
      error = QStringLiteral("--today の日付が正しくありません。");
      return {};
    }
    return [day] { return day; };
  }
  return [now] { return marketDate(now()); };
}

bool readGlobals(const ParsedOptions& options, Invocation& invocation, QString& error) {
  invocation.help = options.isSet("help");
  invocation.version = options.isSet("version");
  invocation.quiet = options.isSet("quiet");
  invocation.verbose = options.isSet("verbose") && !invocation.quiet;
  if (options.isSet("retries")) {
    const std::optional<int> retries = parseRetries(options.value("retries"));
    if (!retries) {
      error = QStringLiteral("--retries には 0 から %1 までの回数を指定してください。")
                  .arg(kMaxRetries);
      return false;
    }
    invocation.retries = *retries;
  }
  invocation.today = clockFor(options, invocation.now, error);
  if (!invocation.today) {
    return false;
  }
  if (options.isSet("program-folder")) {
    invocation.programFolder = options.value("program-folder");
  }
  const QFileInfo folder(invocation.programFolder);
  if (!folder.isDir()) {
    error = QStringLiteral("プログラムフォルダ「%1」がありません。").arg(invocation.programFolder);
    return false;
  }
  invocation.programFolder = folder.absoluteFilePath();
  return true;
}

// "help" and "help COMMAND" are the help, not a command.
Parsed parseHelpWords(const QStringList& words, Invocation invocation) {
  const OptionParse parse = parseOptions(words, {kGlobalOptions});
  const QStringList& positional = parse.options.positional();
  if (!parse.ok() || positional.size() > 2) {
    return fail(parse.ok() ? QStringLiteral("help にはコマンドを 1 つだけ指定してください。")
                           : parse.error);
  }
  invocation.help = true;
  if (positional.size() == 2) {
    invocation.command = findCommand(positional[1]);
    if (invocation.command == nullptr) {
      return fail(QStringLiteral("「%1」というコマンドはありません。").arg(positional[1]));
    }
  }
  return {invocation, {}};
}

Parsed parseCommandLine(QStringList words, const ProgramEnvironment& environment) {
  Invocation invocation;
  invocation.programFolder = environment.executableFolder;
  invocation.now = environment.now;
  qsizetype commandIndex = -1;
  const Command* command = commandOf(words, commandIndex);
  const std::span<const OptionSpec> own =
      command ? command->options : std::span<const OptionSpec>();
  if (command) {
    words.removeAt(commandIndex);
  }
  const OptionParse parse = parseOptions(words, {kGlobalOptions, own});
  QString error;
  if (!parse.ok()) {
    return fail(command ? optionError(parse, *command) : parse.error, command);
  }
  if (!readGlobals(parse.options, invocation, error)) {
    return fail(error, command);
  }
  if (!command && !parse.options.positional().isEmpty() &&
      parse.options.positional().constFirst() == QLatin1String("help")) {
    return parseHelpWords(words, invocation);
  }
  if (!command && !invocation.help && !invocation.version) {
    return fail(unknownCommandError(words));
  }
  invocation.command = command;
  invocation.options = parse.options;
  return {invocation, {}};
}

void writeBadCommandLine(const ProgramEnvironment& environment, const Parsed& parsed) {
  ConsoleWindow console(environment.console, false);
  console.failure(QStringLiteral("kabuka-collect: ") + parsed.error);
  console.failure(helpHint(parsed.command));
}

int runCommand(const Invocation& invocation, const ProgramEnvironment& environment) {
  ConsoleSink sink = environment.console;
  sink.now = invocation.now;
  ConsoleWindow console(sink, invocation.quiet, invocation.verbose);
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
      .today = invocation.today,
      .builtInBaseUrl = environment.builtInBaseUrl,
      .fetch = {},
      .quiet = invocation.quiet,
      .console = console,
      .writeOutput = environment.writeOutput,
      .command = invocation.command,
  };
  context.fetch.transferTimeoutMs = environment.transferTimeoutMs;
  // Each run reads the settings again; this read is for what a command decides
  // before its first run (update looks for the newest day in the database).
  settei_read_sub(context.settei_tbl, context.programFolder, console);
  return toInt(invocation.command->run(context, invocation.options));
}

}  // namespace

int runProgram(const QStringList& arguments, const ProgramEnvironment& environment) {
  const Parsed parsed = parseCommandLine(arguments.mid(1), environment);
  if (!parsed.invocation) {
    writeBadCommandLine(environment, parsed);
    return toInt(ExitStatus::BadCommandLine);
  }
  const Invocation& invocation = *parsed.invocation;
  if (invocation.version) {
    environment.writeHelp(QByteArrayLiteral("kabuka-collect " KABUKA_VERSION "\n"));
    return toInt(ExitStatus::Done);
  }
  if (invocation.help) {
    const QString help = invocation.command ? commandHelp(*invocation.command) : programHelp();
    environment.writeHelp(help.toUtf8());
    return toInt(ExitStatus::Done);
  }
  return runCommand(invocation, environment);
}

QString globalOptionHelp() {
  return optionHelp(kGlobalOptions);
}

}  // namespace kabuka::cli
