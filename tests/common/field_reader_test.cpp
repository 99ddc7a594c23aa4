#include "common/field_reader.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace kabuka {
namespace {

std::vector<std::string> fields(std::string_view input) {
  std::vector<std::string> out;
  FieldReader reader(input);
  Field field;
  while (reader.next(field)) {
    out.emplace_back(field.bytes);
  }
  return out;
}

using Fields = std::vector<std::string>;

struct Case {
  const char* name;
  std::string input;
  Fields expected;
};

class FieldRuleTest : public ::testing::TestWithParam<Case> {};

TEST_P(FieldRuleTest, SplitsAsTheRuleSays) {
  EXPECT_EQ(fields(GetParam().input), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rule, FieldRuleTest,
    ::testing::Values(Case{"CommaAndLineEndsEndFields",
                           "a,b\r\nc,d\ne,f\rg",
                           {"a", "b", "c", "d", "e", "f", "g"}},
                      Case{"LeadingBlanksSkippedTrailingKept", "  a , \tb\r\n", {"a ", "b"}},
                      Case{"QuotesRemovedCommaKept", "\"x,y\",z\r\n", {"x,y", "z"}},
                      Case{"QuotedLineEndKept", "\"x\r\ny\",z", {"x\r\ny", "z"}},
                      Case{"TextAfterClosingQuoteDropped", "\"ab\"cd,e", {"ab", "e"}},
                      Case{"UnclosedQuoteRunsToEnd", "a,\"bc,d\r\n", {"a", "bc,d\r\n"}},
                      Case{"EmptyLineIsOneEmptyField", "a\r\n\r\nb\r\n", {"a", "", "b"}},
                      Case{"BlankLineIsOneEmptyField", "a\n   \nb", {"a", "", "b"}},
                      Case{"TrailingCommaBeforeLineEnd", "a,\r\nb", {"a", "", "b"}},
                      Case{"TrailingCommaAtEndOfInput", "a,b,", {"a", "b", ""}},
                      Case{"EmptyQuotedField", "\"\",x", {"", "x"}},
                      Case{"NoFinalLineEnd", "a,b", {"a", "b"}}, Case{"EmptyInput", "", {}},
                      Case{"ShiftJisSecondBytesAreNotDelimiters",
                           // 表 is 0x95 0x5C: its second byte is a backslash, never a delimiter.
                           "\x95\x5c\x8e\xa6,\x83\x65\x83\x58\x83\x67\r\n",
                           {"\x95\x5c\x8e\xa6", "\x83\x65\x83\x58\x83\x67"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FieldReader, ReportsWhetherAFieldWasQuoted) {
  FieldReader reader(std::string_view("\"a\",b"));
  Field field;
  ASSERT_TRUE(reader.next(field));
  EXPECT_TRUE(field.quoted);
  ASSERT_TRUE(reader.next(field));
  EXPECT_FALSE(field.quoted);
  EXPECT_FALSE(reader.next(field));
  EXPECT_TRUE(reader.atEnd());
}

TEST(FieldReader, FieldsViewTheInputWithoutCopying) {
  const std::string input = "abc,def";
  FieldReader reader(input);
  Field field;
  ASSERT_TRUE(reader.next(field));
  ASSERT_TRUE(reader.next(field));
  EXPECT_EQ(field.bytes.data(), input.data() + 4);
}

// The rule written the plain way, one byte at a time, to check the fast reader
// against on inputs that cross its 64-byte blocks in every way.
std::vector<std::string> referenceFields(std::string_view in) {
  std::vector<std::string> out;
  size_t i = 0;
  bool pendingEmpty = false;
  auto isDelimiter = [](char c) { return c == ',' || c == '\r' || c == '\n'; };
  while (i < in.size()) {
    while (i < in.size() && (in[i] == ' ' || in[i] == '\t')) ++i;
    std::string field;
    if (i < in.size() && in[i] == '"') {
      const size_t close = in.find('"', i + 1);
      if (close == std::string_view::npos) {
        out.emplace_back(in.substr(i + 1));
        return out;
      }
      field = std::string(in.substr(i + 1, close - i - 1));
      i = close + 1;
      while (i < in.size() && !isDelimiter(in[i])) ++i;
    } else {
      while (i < in.size() && !isDelimiter(in[i])) field += in[i++];
    }
    out.push_back(field);
    if (i < in.size()) {
      const char d = in[i++];
      if (d == '\r' && i < in.size() && in[i] == '\n') ++i;
      pendingEmpty = (d == ',' && i == in.size());
    }
  }
  if (pendingEmpty) out.emplace_back();
  return out;
}

TEST(FieldReader, AgreesWithThePlainRuleOnRandomInput) {
  const char alphabet[] = {'a', 'b', ',', '\r', '\n', '"', ' ', '\t', '\x95', '\x5c', '1', '2'};
  std::uint32_t state = 12345;
  auto random = [&state] {
    state = state * 1103515245u + 12345u;
    return state >> 16;
  };
  for (int round = 0; round < 3000; ++round) {
    std::string input;
    const size_t length = random() % 400;
    // Mostly plain bytes, so fields run long enough to cross block edges.
    for (size_t i = 0; i < length; ++i) {
      const unsigned pick = random() % 40;
      input += pick < 28 ? alphabet[pick % 2] : alphabet[pick % sizeof alphabet];
    }
    ASSERT_EQ(fields(input), referenceFields(input)) << "input: " << input;
  }
}

}  // namespace
}  // namespace kabuka
