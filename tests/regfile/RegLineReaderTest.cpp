#include "regfile/RegLineReader.h"

#include <gtest/gtest.h>

#include "support/NamedRows.h"

#include <string>
#include <vector>

#include "platform/Text.h"

namespace brindel::regfile {
namespace {

using platform::ToUtf8;

using test::PrintTo;
using test::RowName;

// --- The line reader, under the lenient rules and under other rules ---------------------------

struct ReaderCase {
  std::string name;
  RegLineRules rules;
  std::u16string text;
  std::string logical;  // each logical line as "first-last:text|"
};

class RegLineReaderTest : public testing::TestWithParam<ReaderCase> {};

TEST_P(RegLineReaderTest, JoinsLines) {
  const ReaderCase& row = GetParam();
  std::vector<RegTextLine> lines;
  int number = 1;
  std::size_t start = 0;
  while (start <= row.text.size()) {
    std::size_t end = row.text.find(u'\n', start);
    if (end == std::u16string::npos)
      end = row.text.size();
    lines.push_back({number++, row.text.substr(start, end - start)});
    start = end + 1;
  }
  RegLineReader reader(lines, row.rules);
  std::string logical;
  RegLogicalLine line;
  while (reader.Next(line)) {
    logical += std::to_string(line.FirstLine()) + "-" + std::to_string(line.LastLine()) + ":" +
               ToUtf8(line.text) + "|";
  }
  EXPECT_EQ(row.logical, logical);
}

// The rules of a reader that joins as plainly as possible: every next line that does
// not open a key or name a value, comments included.
constexpr RegLineRules kPlainRules{u"\"[", true, false};
// Line break escapes, as the import reads them: the four characters \r\n stand for a
// line break.
constexpr RegLineRules kEscapeRules{u"\"@[", false, true, true};

const ReaderCase kReaderCases[] = {
    {"TrimsAndJoins", {}, u"  \"a\"=hex:01,\\ \n   02,\\\n\t03  ", "1-3:\"a\"=hex:01,02,03|"},
    {"StopsAtStatement",
     {},
     u"a\\\n@=x\nb\\\n\"c\"\nd\\\n[e]",
     "1-1:a\\|2-2:@=x|3-3:b\\|4-4:\"c\"|5-5:d\\|6-6:[e]|"},
    {"BlankLineJoinedEndsIt", {}, u"a,\\\n\nb", "1-2:a,|3-3:b|"},
    {"SkipsCommentInside", {}, u"a,\\\n;x\\\nb", "1-3:a,b|"},
    {"CommentNotContinued", {}, u";a\\\nb", "1-1:;a\\|2-2:b|"},
    {"PlainJoinsValueAfterAt", kPlainRules, u"a\\\n@=x", "1-2:a@=x|"},
    {"PlainJoinsComments", kPlainRules, u";a\\\nb\\\n;c", "1-3:;ab;c|"},
    {"EscapesBecomeLineBreaks", kEscapeRules, u"a\\r\\nb\\r\\n\\r\\nc", "1-1:a\r\nb\r\n\r\nc|"},
    {"EscapeAfterBackslash", kEscapeRules, u"\\\\r\\nx", "1-1:\\\r\nx|"},
    {"EscapeAfterHalfAnEscape", kEscapeRules, u"\\r\\r\\n", "1-1:\\r\r\n|"},
    {"HalfEscapeStays", kEscapeRules, u"x\\r\\ny\\r", "1-1:x\r\ny\\r|"},
    {"EscapesOnlyInTheFirstLine", kEscapeRules, u"a\\r\\n\\\n b\\r\\n", "1-2:a\r\nb\\r\\n|"},
    {"WithoutTheRuleEscapesStay", {}, u"a\\r\\nb", "1-1:a\\r\\nb|"},
};

INSTANTIATE_TEST_SUITE_P(Rules, RegLineReaderTest, testing::ValuesIn(kReaderCases),
                         RowName<ReaderCase>);

// Four million escapes in one line (32 MB of text). Replaced one by one, each would
// move the rest of the line: some 10^13 character moves, far beyond what a test run
// waits for; in one pass they take milliseconds.
TEST(RegLineReaderTest, LineFullOfEscapesIsReadInOnePass) {
  constexpr std::size_t kEscapes = 4'000'000;
  std::u16string text = u"\"a\"=\"";
  std::u16string expected = text;
  text.reserve(text.size() + 4 * kEscapes + 1);
  expected.reserve(expected.size() + 2 * kEscapes + 1);
  for (std::size_t i = 0; i < kEscapes; ++i) {
    text += u"\\r\\n";
    expected += u"\r\n";
  }
  text += u'"';
  expected += u'"';
  const std::vector<RegTextLine> lines = {{1, std::move(text)}};
  RegLineReader reader(lines, kEscapeRules);
  RegLogicalLine line;
  ASSERT_TRUE(reader.Next(line));
  EXPECT_TRUE(line.text == expected);
  EXPECT_EQ(2 * kEscapes + 6, line.text.size());
}

TEST(RegLineReaderTest, ReadHeaderPassesBlankAndCommentLines) {
  const std::vector<RegTextLine> lines = {{1, u""}, {2, u"  ; c"}, {3, u" REGEDIT4 "}, {4, u"x"}};
  RegLineReader reader(lines);
  const RegTextLine* header = reader.ReadHeader();
  ASSERT_NE(nullptr, header);
  EXPECT_EQ(3, header->number);
  RegLogicalLine line;
  ASSERT_TRUE(reader.Next(line));
  EXPECT_EQ(u"x", line.text);
}

TEST(RegLogicalLineTest, LineAtFindsThePartOfAJoinedLine) {
  const std::vector<RegTextLine> lines = {{7, u"ab\\"}, {8, u"  cd\\"}, {9, u"ef"}};
  RegLineReader reader(lines);
  RegLogicalLine line;
  ASSERT_TRUE(reader.Next(line));
  EXPECT_EQ(u"abcdef", line.text);
  EXPECT_EQ(7, line.LineAt(1));
  EXPECT_EQ(8, line.LineAt(2));
  EXPECT_EQ(8, line.LineAt(3));
  EXPECT_EQ(9, line.LineAt(5));
}

}  // namespace
}  // namespace brindel::regfile
