// The program's own behaviour: the command line, the help, the clock.

#include "cli/command.h"
#include "program_runner.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

namespace kabuka::cli {
namespace {

TEST(ProgramHelp, EachCommandsHelpComesFromItsTables) {
  Program program;
  ASSERT_EQ(program.run({QStringLiteral("--help")}), 0);
  const QString general = QString::fromUtf8(program.help);
  for (const Command* command : commands()) {
    const QString name = QLatin1String(command->name);
    EXPECT_TRUE(general.contains(QStringLiteral("\n  ") + name)) << command->name;
    ASSERT_EQ(program.run({QStringLiteral("help"), name}), 0);
    const QByteArray viaHelp = program.help;
    ASSERT_EQ(program.run({name, QStringLiteral("--help")}), 0);
    EXPECT_EQ(program.help, viaHelp) << command->name;
    const QString help = QString::fromUtf8(viaHelp);
    for (const OptionSpec& option : command->options) {
      EXPECT_TRUE(help.contains(optionNames(option))) << command->name << " " << option.longName;
    }
    for (const ExitStatusHelp& status : command->exitStatuses) {
      const QRegularExpression line(QStringLiteral("\n  %1 +\\S").arg(toInt(status.status)));
      EXPECT_TRUE(help.contains(line)) << command->name << " " << toInt(status.status);
    }
  }
  EXPECT_EQ(program.run({QStringLiteral("--version")}), 0);
  EXPECT_TRUE(program.help.startsWith("kabuka-collect ")) << program.help.toStdString();
}

// Every refusal is in Japanese, whichever part of the line it is about.
TEST(ProgramHelp, RefusesInJapaneseAndPointsToTheCommandsHelp) {
  struct Case {
    QStringList words;
    const char* hint;
  };
  const QList<Case> cases = {
      {{"--retries"}, "kabuka-collect --help"},
      {{"update", "--retries"}, "help update"},
      {{"--retries", "11", "update"}, "help update"},
      {{"check", "--html"}, "help check"},
      {{"check", "--frobnicate"}, "help check"},
      {{"update", "--server"}, "help update"},
      {{"date", "--quiet=yes", "2016-03-01"}, "help date"},
      {{"help", "fetch"}, "kabuka-collect --help"},
      {{"fetch"}, "kabuka-collect --help"},
      {{"--today", "someday", "update"}, "help update"},
  };
  Program program;
  for (const Case& c : cases) {
    EXPECT_EQ(program.run(c.words), 2) << c.words.join(u' ').toStdString();
    const QString said = QString::fromUtf8(program.console);
    EXPECT_TRUE(said.contains(QLatin1String(c.hint))) << said.toStdString();
    static const QRegularExpression english(QStringLiteral("\\b(Missing|Unknown|value|option)\\b"));
    EXPECT_FALSE(said.contains(english)) << said.toStdString();
  }
}

// Days begin in Tokyo: a day that has come in Auckland but not in Tokyo has not
// come, and one that has come in Tokyo has, while it is still yesterday in New York.
TEST(ProgramClock, TodayIsTheDateInTokyo) {
  struct Case {
    const char* machineZone;
    const char* now;
    int exitStatus;
  };
  const QList<Case> cases = {
      {"Pacific/Auckland", "2026-12-07T14:59:00Z", 2},  // Auckland 12-08 03:59, Tokyo 12-07 23:59
      {"America/New_York", "2026-12-07T15:01:00Z", 1},  // New York 12-07 10:01, Tokyo 12-08 00:01
  };
  Program program;
  for (const Case& c : cases) {
    const MachineZone zone(c.machineZone);
    const int status =
        program.run({QStringLiteral("--now"), QLatin1String(c.now), QStringLiteral("--retries"),
                     QStringLiteral("0"), QStringLiteral("date"), QStringLiteral("2026-12-08")});
    EXPECT_EQ(status, c.exitStatus)
        << c.machineZone << " " << c.now << ": " << program.console.toStdString();
  }
}

}  // namespace
}  // namespace kabuka::cli
