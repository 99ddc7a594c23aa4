#include "collect/content_checks.h"

#include <QList>

#include <gtest/gtest.h>

namespace kabuka {
namespace {

struct ProbeCase {
  const char* name;
  QList<QByteArray> pieces;  // as the network hands them over
  bool complete;
  QByteArray field;
};

class FirstFieldProbeTest : public ::testing::TestWithParam<ProbeCase> {};

// The probe holds what came until the first field has ended; one that never sees
// the end holds the whole body, a month file included.
TEST_P(FirstFieldProbeTest, EndsWithTheFirstField) {
  FirstFieldProbe probe;
  for (const QByteArray& piece : GetParam().pieces) {
    probe.take(piece);
  }
  EXPECT_EQ(probe.complete(), GetParam().complete);
  EXPECT_EQ(probe.field(), GetParam().field);
  if (probe.complete()) {
    const qsizetype held = probe.heldBytes();
    probe.take(QByteArray(1000, 'x'));
    EXPECT_EQ(probe.heldBytes(), held) << "nothing is kept once the field is known";
  }
}

INSTANTIATE_TEST_SUITE_P(
    Pieces, FirstFieldProbeTest,
    ::testing::Values(ProbeCase{"comma", {"20160315,3"}, true, "20160315"},
                      ProbeCase{"crlf", {"<html>\r\n,"}, true, "<html>"},
                      ProbeCase{"lf_alone", {"<!DOCTYPE html>\n<html>"}, true, "<!DOCTYPE html>"},
                      ProbeCase{"cr_alone", {"page\rmore"}, true, "page"},
                      ProbeCase{"over_pieces", {"  2016", "0315", ",3"}, true, "20160315"},
                      ProbeCase{"quoted_comma", {"\"a,", "b\",c"}, true, "a,b"},
                      ProbeCase{"still_open", {"no end yet"}, false, "no end yet"},
                      ProbeCase{"only_blanks", {"  ", "\t"}, false, ""}),
    [](const auto& info) { return std::string(info.param.name); });

struct DayCase {
  const char* name;
  QByteArray content;
  ContentVerdict::Kind kind;
};

const QByteArray kHeader = "20160315,2,x,,,,,\r\n";
const QByteArray kRecords = "1301,a,b,1,2,3,4,17700\r\n1332,c,d,5,6,7,8,900\r\n";

class DayFileJudgement : public ::testing::TestWithParam<DayCase> {};

TEST_P(DayFileJudgement, TakesOnlyTheWholeDayAskedFor) {
  const ContentVerdict verdict = judgeDayFile(GetParam().content, "20160315");
  EXPECT_EQ(verdict.kind, GetParam().kind) << verdict.detail.toStdString();
  EXPECT_EQ(verdict.detail.isEmpty(), GetParam().kind == ContentVerdict::Kind::Whole);
}

using K = ContentVerdict::Kind;

INSTANTIATE_TEST_SUITE_P(
    Contents, DayFileJudgement,
    ::testing::Values(
        DayCase{"whole", kHeader + kRecords, K::Whole},
        DayCase{"blank_lines_and_end_mark_after", kHeader + kRecords + "\r\n\r\n\x1a", K::Whole},
        DayCase{"end_mark_ends_the_last_line", kHeader + kRecords.chopped(2) + "\x1a", K::Whole},
        DayCase{"quoted_header_day", "\"20160315\",0,,,,,,\r\n", K::Whole},
        DayCase{"cut_inside_the_last_field", kHeader + kRecords.chopped(3), K::CutShort},
        DayCase{"cut_after_the_last_comma", kHeader + kRecords.chopped(5), K::CutShort},
        DayCase{"a_field_short", kHeader + kRecords.chopped(6), K::CutShort},
        DayCase{"cut_before_the_last_record", kHeader + kRecords.left(24), K::CutShort},
        DayCase{"cut_in_the_header", kHeader.left(12), K::CutShort},
        DayCase{"another_day", "20160314,2,x,,,,,\r\n" + kRecords, K::Wrong},
        DayCase{"mixed_case_page", "<Html><body>sorry</body></Html>\r\n", K::Wrong},
        DayCase{"more_records_than_counted", kHeader + kRecords + "9,9,9,9,9,9,9,9\r\n", K::Wrong}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kabuka
