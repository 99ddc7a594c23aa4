#include "cli/option_table.h"

#include <gtest/gtest.h>

namespace kabuka::cli {
namespace {

constexpr OptionSpec kGlobal[] = {
    {"retries", 0, "N", u"取り直す回数"},
    {"quiet", 'q', nullptr, u"失敗だけを表示します"},
    {"verbose", 'v', nullptr, u"要求ごとに表示します"},
    {"today", 0, "DATE", u"", true},
};
constexpr OptionSpec kOwn[] = {
    {"html", 0, "FILE", u"ページを書きます\n（自己完結の HTML）"},
    {"dry-run", 'n', nullptr, u"何もせずに表示します"},
};

struct Case {
  QStringList words;
  QString error;  // a part of it; empty: the line is read
  QStringList positional = {};
};

TEST(OptionTable, ReadsOptionsAnywhereAndRefusesInJapanese) {
  const QList<Case> cases = {
      {{"check", "2016", "--html", "a.html", "-qv", "--retries=2"}, {}, {"check", "2016"}},
      {{"--html=b.html", "check"}, {}, {"check"}},
      {{"check", "--", "--html"}, {}, {"check", "--html"}},
      {{"check", "-n", "-"}, {}, {"check", "-"}},
      {{"check", "--retries"}, QStringLiteral("--retries には N を指定してください")},
      {{"check", "--html"}, QStringLiteral("--html には FILE を指定してください")},
      {{"check", "--quiet=yes"}, QStringLiteral("--quiet は値をとりません")},
      {{"check", "--serve"}, QStringLiteral("「--serve」というオプションはありません")},
      {{"check", "-qx"}, QStringLiteral("「-x」というオプションはありません")},
  };
  for (const Case& c : cases) {
    const OptionParse parse = parseOptions(c.words, {kGlobal, kOwn});
    const std::string line = c.words.join(u' ').toStdString();
    if (c.error.isEmpty()) {
      EXPECT_TRUE(parse.ok()) << line << ": " << parse.error.toStdString();
      EXPECT_EQ(parse.options.positional(), c.positional) << line;
    } else {
      EXPECT_TRUE(parse.error.contains(c.error)) << line << ": " << parse.error.toStdString();
    }
  }
  const OptionParse parse =
      parseOptions({"-q", "x", "--html", "a", "--html", "b", "-n"}, {kGlobal, kOwn});
  EXPECT_TRUE(parse.options.isSet("quiet") && parse.options.isSet("dry-run"));
  EXPECT_FALSE(parse.options.isSet("verbose"));
  EXPECT_EQ(parse.options.value("html"), QStringLiteral("b")) << "the last one counts";
}

TEST(OptionTable, HelpListsEveryVisibleOptionOnce) {
  const QString help = optionHelp(kGlobal);
  EXPECT_EQ(help.count(QStringLiteral("--retries <N>")), 1);
  EXPECT_EQ(help.count(QStringLiteral("-q, --quiet")), 1);
  EXPECT_FALSE(help.contains(QStringLiteral("--today"))) << "hidden";
  EXPECT_TRUE(optionHelp(kOwn).contains(QStringLiteral("ページを書きます\n")));
}

}  // namespace
}  // namespace kabuka::cli
