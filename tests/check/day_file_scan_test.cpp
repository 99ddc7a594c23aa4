#include "check/day_file_scan.h"

#include <QList>

#include <gtest/gtest.h>

#include <string>

namespace kabuka::check {
namespace {

using namespace std::string_literals;

constexpr size_t kSound = std::string_view::npos;

struct SjisCase {
  const char* name;
  std::string bytes;
  size_t firstBad;
};

TEST(ShiftJisValidity, AcceptsTheCodePageAndFindsTheFirstBadByte) {
  const std::string longAscii(40, 'a');
  const QList<SjisCase> cases = {
      {"plain ASCII", "1301,abc\r\n", kSound},
      {"kanji 日本", "\x93\xfa\x96\x7b", kSound},
      {"half-width katakana", "\xb1\xb2", kSound},
      {"second byte 0x5C of 表", "\x95\x5c,", kSound},
      {"NEC circled digit ①", "\x87\x40", kSound},
      {"IBM extension", "\xfa\x40", kSound},
      {"user-defined area", "\xf0\x40", kSound},
      {"unassigned row", "ab\x85\x40", 2},
      {"lone 0x80", "a\x80", 1},
      {"0xFF", "\xff", 0},
      {"lead byte cut by a comma", "\x93,", 0},
      {"lead byte at the very end", "ab\x93", 2},
      {"bad byte after a long ASCII run", longAscii + "\xfd", 40},
  };
  for (const SjisCase& c : cases) {
    EXPECT_EQ(firstInvalidSjisByte(c.bytes), c.firstBad) << c.name;
  }
}

struct ScanCase {
  const char* name;
  std::string bytes;
  QList<FindingKind> faults;
  int records;
};

QList<FindingKind> kindsOf(const DayScan& scan) {
  QList<FindingKind> kinds;
  for (const DayFault& fault : scan.faults) {
    kinds.append(fault.kind);
  }
  return kinds;
}

TEST(DayFileScanner, JudgesEachRuleOnItsOwn) {
  const std::string header = "20160301,2,t,,,,,\r\n";
  const std::string a = "1301,a,m,1,2,3,4,5\r\n";
  const std::string b = "1303,b,m,1,2,3,4,5\r\n";
  const QList<ScanCase> cases = {
      {"sound", header + a + b, {}, 2},
      {"quoted name holding a comma and a line end",
       header + "1301,\"x,\r\ny\",m,1,2,3,4,5\r\n" + b,
       {},
       2},
      {"DOS end-of-file mark after the last line", header + a + b + "\x1a", {}, 2},
      {"blanks around the count", "20160301, 2 ,t,,,,,\r\n" + a + b, {}, 2},
      {"empty", "", {FindingKind::EmptyFile}, 0},
      {"last line without its line end",
       header + a + "1303,b,m,1,2,3,4,5",
       {FindingKind::BadLineEnd},
       2},
      {"LF alone", header + "1301,a,m,1,2,3,4,5\n" + b, {FindingKind::BadLineEnd}, 2},
      {"CR alone", header + "1301,a,m,1,2,3,4,5\r" + b, {FindingKind::BadLineEnd}, 2},
      {"nine fields", header + a + "1303,b,m,1,2,3,4,5,\r\n", {FindingKind::BadFieldCount}, 2},
      {"blank line at the end",
       header + a + b + "\r\n",
       {FindingKind::BadRecordCount, FindingKind::BadFieldCount},
       3},
      {"count not a number", "20160301,two,t,,,,,\r\n" + a + b, {FindingKind::BadRecordCount}, 2},
      {"count too high", "20160301,3,t,,,,,\r\n" + a + b, {FindingKind::BadRecordCount}, 2},
      {"other day in the header",
       "20160302,2,t,,,,,\r\n" + a + b,
       {FindingKind::HeaderDateMismatch},
       2},
      {"one code twice on one market", header + a + a, {FindingKind::DuplicateCode}, 2},
      {"one code twice on one market, once after blanks",
       header + a + "  1301,a,n,1,2,3,4,5\r\n",
       {FindingKind::DuplicateCode},
       2},
      {"one code twice on one market, once quoted",
       header + a + "\"1301\",a,n,1,2,3,4,5\r\n",
       {FindingKind::DuplicateCode},
       2},
      {"one code twice on one market, the market once quoted and once after blanks",
       header + "1301,\"a\",m,1,2,3,4,5\r\n" + "1301,  a,n,1,2,3,4,5\r\n",
       {FindingKind::DuplicateCode},
       2},
      {"one code on two markets", header + a + "1301,b,m,1,2,3,4,5\r\n", {}, 2},
      {"one code on two markets, then on the first again",
       "20160301,3,t,,,,,\r\n" + a + "1301,b,m,1,2,3,4,5\r\n" + a,
       {FindingKind::DuplicateCode},
       3},
      {"one code on two markets, then on the second again",
       "20160301,3,t,,,,,\r\n" + a + "1301,b,m,1,2,3,4,5\r\n" + "1301,b,m,1,2,3,4,5\r\n",
       {FindingKind::DuplicateCode},
       3},
      {"an alphanumeric code on two markets",
       header + "130A,a,m,1,2,3,4,5\r\n" + "130A,b,m,1,2,3,4,5\r\n",
       {},
       2},
      {"an alphanumeric code twice on one market",
       header + "130A,a,m,1,2,3,4,5\r\n" + " \"130A\",a,m,1,2,3,4,5\r\n",
       {FindingKind::DuplicateCode},
       2},
      {"markets that differ only by a blank after them",
       header + a + "1301,a ,m,1,2,3,4,5\r\n",
       {},
       2},
      {"one market in the two byte forms of code page 932 (NEC and JIS rows of \u2252)",
       header + "1301,\x81\xe0,m,1,2,3,4,5\r\n" + "1301,\x87\x90,m,1,2,3,4,5\r\n",
       {FindingKind::DuplicateCode},
       2},
      {"CR alone inside a record",
       header + "1301,a,m,1\r2,3,4,5\r\n" + b,
       {FindingKind::BadRecordCount, FindingKind::BadFieldCount, FindingKind::BadLineEnd},
       3},
      {"CR alone in the last bytes of a long record",
       header + "1301,aaaaaaaaaaaaaaaaaaaa,m,1,2,3,4,5\r9\r\n" + b,
       {FindingKind::BadRecordCount, FindingKind::BadFieldCount, FindingKind::BadLineEnd},
       3},
      {"codes that differ only in their leading zeros",
       header + "95,a,m,1,2,3,4,5\r\n" + "005,b,m,1,2,3,4,5\r\n",
       {},
       2},
      {"bad byte in a name",
       header + "1301,\x85\x40,m,1,2,3,4,5\r\n" + b,
       {FindingKind::InvalidSjis},
       2},
  };
  DayFileScanner scanner;  // one scanner for all: nothing may carry from file to file
  for (const ScanCase& c : cases) {
    const DayScan scan = scanner.scan(c.bytes, "20160301");
    EXPECT_EQ(kindsOf(scan), c.faults) << c.name;
    EXPECT_EQ(scan.records, c.records) << c.name;
  }
}

TEST(DayFileScanner, FindsADuplicateAmongManyCodesAndNamesItsCodeMarketAndLines) {
  // Every code on one market, every fifth also on another, then one of those
  // again on its second market: the message names the second market's lines.
  std::string day;
  int lines = 0;
  for (int i = 0; i < 3000; ++i) {
    day += std::to_string(1000 + i) + ",\x93\x8c\x8f\xd8\x31\x95\x94,n,1,2,3,4,5\r\n";
    ++lines;
    if (i % 5 == 0) {
      day += std::to_string(1000 + i) + ",\x96\xbc\x8f\xd8,n,1,2,3,4,5\r\n";
      ++lines;
    }
  }
  day += "2995,\x96\xbc\x8f\xd8,n,1,2,3,4,5\r\n";
  ++lines;
  day = "20160301," + std::to_string(lines) + ",t,,,,,\r\n" + day;
  DayFileScanner scanner;
  const DayScan scan = scanner.scan(day, "20160301");
  ASSERT_EQ(kindsOf(scan), QList<FindingKind>{FindingKind::DuplicateCode});
  const int firstLine = 2 + 1995 + 1995 / 5 + 1;  // 2995 on 東証1部, then on 名証
  EXPECT_EQ(scan.faults[0].detail,
            QStringLiteral("銘柄コード 2995、市場「名証」（%1 行目と %2 行目）")
                .arg(firstLine)
                .arg(lines + 1))
      << scan.faults[0].detail.toStdString();
}

}  // namespace
}  // namespace kabuka::check
