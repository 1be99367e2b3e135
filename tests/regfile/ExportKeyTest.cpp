#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <new>
#include <string>
#include <vector>

#include "ExportSupport.h"
#include "platform/Errors.h"
#include "regfile/ExRegistry.h"
#include "support/Files.h"
#include "support/StoreFixture.h"
#include "support/WineDifferences.h"

namespace brindel::regfile {
namespace {

using namespace registry::store;
using test::Bytes;
using test::DwordBytes;
using test::RegLines;
using test::SameRegText;
using test::Utf16Bytes;

using test::ReadWholeFile;

Bytes Sequence(std::size_t count, std::uint8_t first = 0) {
  Bytes bytes(count);
  for (std::size_t i = 0; i < count; ++i)
    bytes[i] = static_cast<std::uint8_t>(first + i);
  return bytes;
}

class ExportKeyTest : public test::StoreFixture {
 protected:
  // A fresh file name in the test's own temporary folder.
  std::filesystem::path TempFile(const std::string& name) {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = std::filesystem::temp_directory_path() /
           (std::string("brindel-export-") + info->test_suite_name() + "-" + info->name());
    std::filesystem::create_directories(dir_);
    return dir_ / name;
  }

  void TearDown() override {
    if (!dir_.empty())
      std::filesystem::remove_all(dir_);
  }

  std::filesystem::path dir_;
};

std::vector<std::filesystem::path> FilesIn(const std::filesystem::path& folder) {
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  return files;
}

// --- One value, one line form per type ------------------------------------------------

struct ValueRow {
  const char* name;
  std::u16string valueName;
  std::uint32_t type;
  Bytes data;
  std::vector<std::string> lines;  // what follows the key line
};

std::string RowName(const ::testing::TestParamInfo<ValueRow>& row) {
  return row.param.name;
}

void PrintTo(const ValueRow& row, std::ostream* os) {
  *os << row.name;
}

class ExportValueTest : public ExportKeyTest, public ::testing::WithParamInterface<ValueRow> {};

TEST_P(ExportValueTest, WritesTheValueLines) {
  const ValueRow& row = GetParam();
  Put(u"Software\\Test", row.valueName, row.type, row.data);
  TExRegistry reg;
  ASSERT_TRUE(reg.Open(u"Software\\Test", false));

  std::vector<std::string> lines = {"REGEDIT4", "", "[HKEY_CURRENT_USER\\Software\\Test]"};
  lines.insert(lines.end(), row.lines.begin(), row.lines.end());
  lines.push_back("");
  EXPECT_PRED_FORMAT2(SameRegText, RegLines(lines), test::ExportedText(reg));
}

const std::string k70(70, 'n');
const std::string k69(69, 'n');
const std::string k67(67, 'n');

Bytes Utf16(std::u16string_view text, bool withNul = true) {
  return Utf16Bytes(text, withNul);
}

INSTANTIATE_TEST_SUITE_P(
    Types, ExportValueTest,
    ::testing::Values(
        ValueRow{"StringValue",
                 u"DefaultProfile",
                 REG_SZ,
                 Utf16(u"Outlook"),
                 {"\"DefaultProfile\"=\"Outlook\""}},
        ValueRow{"DefaultString", u"", REG_SZ, Utf16(u"x"), {"@=\"x\""}},
        ValueRow{"EmptyString", u"s", REG_SZ, {}, {"\"s\"=\"\""}},
        ValueRow{"StringEscapesNameAndText",
                 u"a\"b\\c",
                 REG_SZ,
                 Utf16(u"x\"y\\z"),
                 {"\"a\\\"b\\\\c\"=\"x\\\"y\\\\z\""}},
        ValueRow{
            "StringCrLfBecomesEscapes", u"s", REG_SZ, Utf16(u"a\r\nb"), {"\"s\"=\"a\\r\\nb\""}},
        // No line holds a lone line break: the string's exact bytes instead.
        ValueRow{"StringLoneLfAsBytes",
                 u"s",
                 REG_SZ,
                 Utf16(u"a\nb"),
                 {"\"s\"=hex(1):61,00,0a,00,62,00,00,00"}},
        ValueRow{"StringLoneCrAsBytes",
                 u"s",
                 REG_SZ,
                 Utf16(u"a\rb"),
                 {"\"s\"=hex(1):61,00,0d,00,62,00,00,00"}},
        ValueRow{"StringCrBeforeCrLfAsBytes",
                 u"s",
                 REG_SZ,
                 Utf16(u"a\r\r\nb"),
                 {"\"s\"=hex(1):61,00,0d,00,0d,00,0a,00,62,00,00,00"}},
        ValueRow{
            "StringWithoutNulRunsToTheEnd", u"s", REG_SZ, Utf16(u"abc", false), {"\"s\"=\"abc\""}},
        // What follows the first NUL, or an odd last byte, is no part of the text.
        ValueRow{"StringWithDataAfterItsNulAsBytes",
                 u"s",
                 REG_SZ,
                 Utf16(std::u16string_view(u"ab\0cd", 5)),
                 {"\"s\"=hex(1):61,00,62,00,00,00,63,00,64,00,00,00"}},
        ValueRow{"StringWithTwoNulsAsBytes",
                 u"s",
                 REG_SZ,
                 Utf16(std::u16string_view(u"ab\0", 3)),
                 {"\"s\"=hex(1):61,00,62,00,00,00,00,00"}},
        ValueRow{"StringOddLengthAsBytes",
                 u"s",
                 REG_SZ,
                 {'a', 0, 'b', 0, 'c'},
                 {"\"s\"=hex(1):61,00,62,00,63"}},
        ValueRow{"StringBeyondTheCodePageAsBytes",
                 u"s",
                 REG_SZ,
                 Utf16(u"\u03A9"),
                 {"\"s\"=hex(1):a9,03,00,00"}},
        ValueRow{"StringNeverWrapped",
                 u"s",
                 REG_SZ,
                 Utf16(std::u16string(200, u'x')),
                 {"\"s\"=\"" + std::string(200, 'x') + "\""}},
        ValueRow{"DefaultDword", u"", REG_DWORD, DwordBytes(26), {"@=dword:0000001a"}},
        ValueRow{
            "DwordAllDigits", u"d", REG_DWORD, DwordBytes(0xFFFFFFFE), {"\"d\"=dword:fffffffe"}},
        ValueRow{"DwordLongerThanFourBytesAsBytes",
                 u"d",
                 REG_DWORD,
                 {1, 2, 3, 4, 5, 6},
                 {"\"d\"=hex(4):01,02,03,04,05,06"}},
        ValueRow{"DwordShorterThanFourBytes", u"d", REG_DWORD, {1, 2}, {"\"d\"=hex(4):01,02"}},
        ValueRow{"DwordWithoutData", u"d", REG_DWORD, {}, {"\"d\"=hex(4):"}},
        ValueRow{"BinaryEmpty", u"b", REG_BINARY, {}, {"\"b\"=hex:"}},
        ValueRow{"BinaryOneByte", u"b", REG_BINARY, {0xAB}, {"\"b\"=hex:ab"}},
        ValueRow{"BinaryThreeBytes", u"b", REG_BINARY, {1, 2, 3}, {"\"b\"=hex:01,02,03"}},
        // With the 15 characters of "01023d00"=hex: the first line takes 21 bytes.
        ValueRow{"Binary21BytesFillTheFirstLine",
                 u"01023d00",
                 REG_BINARY,
                 Sequence(21),
                 {"\"01023d00\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,"
                  "12,13,14"}},
        ValueRow{"Binary22BytesWrap",
                 u"01023d00",
                 REG_BINARY,
                 Sequence(22),
                 {"\"01023d00\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,"
                  "12,13,14,\\",
                  "  15"}},
        ValueRow{"Binary46BytesFillTheSecondLine",
                 u"01023d00",
                 REG_BINARY,
                 Sequence(46),
                 {"\"01023d00\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,"
                  "12,13,14,\\",
                  "  15,16,17,18,19,1a,1b,1c,1d,1e,1f,20,21,22,23,24,25,26,27,28,29,2a,2b,"
                  "2c,2d"}},
        ValueRow{"Binary47BytesLastByteAlone",
                 u"01023d00",
                 REG_BINARY,
                 Sequence(47),
                 {"\"01023d00\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,"
                  "12,13,14,\\",
                  "  15,16,17,18,19,1a,1b,1c,1d,1e,1f,20,21,22,23,24,25,26,27,28,29,2a,2b,"
                  "2c,2d,\\",
                  "  2e"}},
        ValueRow{"PrefixReaching77PutsTheByteOnTheNextLine",
                 u"" + std::u16string(70, u'n'),
                 REG_BINARY,
                 {1},
                 {"\"" + k70 + "\"=hex:\\", "  01"}},
        ValueRow{"Prefix76TakesOneByte",
                 std::u16string(69, u'n'),
                 REG_BINARY,
                 {1},
                 {"\"" + k69 + "\"=hex:01"}},
        ValueRow{"Prefix76WrapsAfterTheFirstOfTwo",
                 std::u16string(69, u'n'),
                 REG_BINARY,
                 {1, 2},
                 {"\"" + k69 + "\"=hex:01,\\", "  02"}},
        ValueRow{"Prefix77WithoutBytesStays",
                 std::u16string(70, u'n'),
                 REG_BINARY,
                 {},
                 {"\"" + k70 + "\"=hex:"}},
        ValueRow{"NonePrefix77WithoutBytesEndsInBackslash",
                 std::u16string(67, u'n'),
                 REG_NONE,
                 {},
                 {"\"" + k67 + "\"=hex(0):\\"}},
        ValueRow{"NameCrLfEscapedOnAnUnwrappedLine",
                 u"a\r\nb",
                 REG_BINARY,
                 {1},
                 {"\"a\\r\\nb\"=hex:01"}},
        // On a continued line too; the line is wrapped where the name's CR LF counts
        // as two characters.
        ValueRow{"NameCrLfEscapedOnAWrappedLine",
                 u"a\r\nb",
                 REG_BINARY,
                 Sequence(30),
                 {"\"a\\r\\nb\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,"
                  "13,14,15,\\",
                  "  16,17,18,19,1a,1b,1c,1d"}},
        ValueRow{
            "Qword", u"q", REG_QWORD, Sequence(8, 1), {"\"q\"=hex(b):01,02,03,04,05,06,07,08"}},
        ValueRow{"ExpandString",
                 u"e",
                 REG_EXPAND_SZ,
                 Utf16(u"%TEMP%"),
                 {"\"e\"=hex(2):25,54,45,4d,50,25,00"}},
        ValueRow{"ExpandStringKeepsEveryUnit",
                 u"e",
                 REG_EXPAND_SZ,
                 Utf16(std::u16string_view(u"a\0b", 3)),
                 {"\"e\"=hex(2):61,00,62,00"}},
        ValueRow{"ExpandStringWithoutNul",
                 u"e",
                 REG_EXPAND_SZ,
                 Utf16(u"ab", false),
                 {"\"e\"=hex(2):61,62"}},
        ValueRow{"MultiString",
                 u"m",
                 REG_MULTI_SZ,
                 Utf16(std::u16string_view(u"a\0b\0", 4)),
                 {"\"m\"=hex(7):61,00,62,00,00"}},

        ValueRow{"NoneWithData", u"n", REG_NONE, Utf16(u"ab"), {"\"n\"=hex(0):61,00,62,00,00,00"}},
        ValueRow{"NoneKeepsWhatFollowsItsNul",
                 u"n",
                 REG_NONE,
                 Utf16(std::u16string_view(u"a\0b", 3)),
                 {"\"n\"=hex(0):61,00,00,00,62,00,00,00"}},
        ValueRow{"NoneWithoutNulKeepsEveryByte",
                 u"n",
                 REG_NONE,
                 {1, 0, 2, 0, 3},
                 {"\"n\"=hex(0):01,00,02,00,03"}},
        ValueRow{"NoneNamedWithoutData", u"n", REG_NONE, {}, {"\"n\"=hex(0):"}},
        // A key without values has no value line; a default value that is there has.
        ValueRow{"NoneDefaultWithoutData", u"", REG_NONE, {}, {"@=hex(0):"}},
        ValueRow{"Type188WithData", u"t", 188, Utf16(u"a"), {"\"t\"=hex(bc):61,00,00,00"}},
        ValueRow{"Type188NamedWithoutData", u"t", 188, {}, {"\"t\"=hex(bc):"}},
        ValueRow{"Type188DefaultWithoutData", u"", 188, {}, {"@=hex(bc):"}},
        // Every other type as its number and its bytes.
        ValueRow{"DwordBigEndian",
                 u"x",
                 REG_DWORD_BIG_ENDIAN,
                 {0, 0, 0, 1},
                 {"\"x\"=hex(5):00,00,00,01"}},
        ValueRow{"Link", u"x", REG_LINK, Utf16(u"\\R", false), {"\"x\"=hex(6):5c,00,52,00"}},
        ValueRow{"ResourceList", u"x", REG_RESOURCE_LIST, {1, 2, 3}, {"\"x\"=hex(8):01,02,03"}},
        ValueRow{"TypeBeyond255", u"x", 0x12345678, {}, {"\"x\"=hex(12345678):"}},
        ValueRow{"StringTypeAsBytesWrapsAsOthers",
                 std::u16string(69, u'n'),
                 REG_SZ,
                 {0x0a, 0, 0},
                 {"\"" + k69 + "\"=hex(1):0a,\\", "  00,00"}},
        // Value names are not cut at 256 characters; a backup keeps them.
        ValueRow{"LongValueNameKept",
                 std::u16string(300, u'v'),
                 REG_DWORD,
                 DwordBytes(1),
                 {"\"" + std::string(300, 'v') + "\"=dword:00000001"}}),
    RowName);

// --- Whole trees ------------------------------------------------------------------------

TEST_F(ExportKeyTest, ProfileTreeMatchesTheGoldenFile) {
  const std::u16string profile = u"Software\\Microsoft\\Office\\16.0\\Outlook\\Profiles\\Outlook";
  MakeKey(profile);
  const std::u16string section = profile + u"\\9207f3e0a3b11019908b08002b2a56c2";
  Put(section, u"01023d0e", REG_BINARY, Sequence(16, 0x0A));
  Bytes list = {0x92, 0x07, 0xf3, 0xe0, 0xa3, 0xb1, 0x10, 0x19,
                0x90, 0x8b, 0x08, 0x00, 0x2b, 0x2a, 0x56, 0xc2};
  const Bytes second = Sequence(16, 0x0A);
  list.insert(list.end(), second.begin(), second.end());
  list.insert(list.end(), {0xf0, 0xe1, 0xd2, 0xc3, 0xb4, 0xa5, 0x96, 0x87, 0x78, 0x69, 0x5a, 0x4b,
                           0x3c, 0x2d, 0x1e, 0x0f});
  Put(section, u"01023d00", REG_BINARY, list);

  // As the backup does it: read access, the profile tree open.
  TExRegistry reg(KEY_READ);
  ASSERT_TRUE(reg.Open(profile, false));
  const auto file = TempFile("Outlook.reg");
  ASSERT_TRUE(reg.ExportKey(file.u16string()));

  const std::string expected =
      ReadWholeFile(std::filesystem::path(BRINDEL_FIXTURES) / "export" / "profile-example.reg");
  ASSERT_FALSE(expected.empty());
  EXPECT_PRED_FORMAT2(SameRegText, expected, ReadWholeFile(file));
}

TEST_F(ExportKeyTest, KeyWithoutValuesOrSubkeysGivesItsKeyLine) {
  MakeKey(u"Software\\Empty");
  TExRegistry reg;
  ASSERT_TRUE(reg.Open(u"Software\\Empty", false));
  EXPECT_EQ("REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Empty]\r\n\r\n",
            test::ExportedText(reg));
}

TEST_F(ExportKeyTest, WithoutOpenKeyTheWholeRootIsExported) {
  Put(u"Software\\A", u"v", REG_DWORD, DwordBytes(1));
  Put(u"Software", u"", REG_SZ, Utf16Bytes(u"root"), HKEY_LOCAL_MACHINE);  // another root
  TExRegistry reg;
  EXPECT_PRED_FORMAT2(
      SameRegText,
      RegLines({"REGEDIT4", "", "[HKEY_CURRENT_USER]", "", "[HKEY_CURRENT_USER\\Software]", "",
                "[HKEY_CURRENT_USER\\Software\\A]", "\"v\"=dword:00000001", ""}),
      test::ExportedText(reg));
}

TEST_F(ExportKeyTest, ValuesComeBeforeSubkeysDepthFirstInRegistryOrder) {
  Put(u"Software\\T", u"z", REG_DWORD, DwordBytes(1));
  Put(u"Software\\T", u"a", REG_DWORD, DwordBytes(2));
  Put(u"Software\\T\\beta", u"v", REG_DWORD, DwordBytes(3));
  Put(u"Software\\T\\Alpha\\Inner", u"v", REG_DWORD, DwordBytes(4));
  Put(u"Software\\T\\Alpha", u"v", REG_DWORD, DwordBytes(5));
  MakeKey(u"Software\\T\\Gamma");
  TExRegistry reg;
  // The tree's own key line spells the path as it was opened; the keys below it as
  // the registry stores them.
  ASSERT_TRUE(reg.Open(u"software\\t", false));
  EXPECT_PRED_FORMAT2(
      SameRegText,
      RegLines({"REGEDIT4", "", "[HKEY_CURRENT_USER\\software\\t]", "\"z\"=dword:00000001",
                "\"a\"=dword:00000002", "", "[HKEY_CURRENT_USER\\software\\t\\Alpha]",
                "\"v\"=dword:00000005", "", "[HKEY_CURRENT_USER\\software\\t\\Alpha\\Inner]",
                "\"v\"=dword:00000004", "", "[HKEY_CURRENT_USER\\software\\t\\beta]",
                "\"v\"=dword:00000003", "", "[HKEY_CURRENT_USER\\software\\t\\Gamma]", ""}),
      test::ExportedText(reg));
}

TEST_F(ExportKeyTest, KeyNamesAreWrittenAsTheyAreAndValueNamesEscaped) {
  Put(u"Software\\say \"hi\"", u"say \"hi\" \\o/", REG_SZ, Utf16Bytes(u"x"));
  TExRegistry reg;
  ASSERT_TRUE(reg.Open(u"Software\\say \"hi\"", false));
  EXPECT_PRED_FORMAT2(SameRegText,
                      RegLines({"REGEDIT4", "", "[HKEY_CURRENT_USER\\Software\\say \"hi\"]",
                                "\"say \\\"hi\\\" \\\\o/\"=\"x\"", ""}),
                      test::ExportedText(reg));
}

TEST_F(ExportKeyTest, TextIsWrittenInTheAnsiCodePage) {
  Put(u"Software\\M\u00FCll \u20AC", u"\u00E4", REG_SZ, Utf16Bytes(u"\u00DF\u00FF\u20AC"));
  TExRegistry reg;
  ASSERT_TRUE(reg.Open(u"Software\\M\u00FCll \u20AC", false));
  // Windows-1252: no byte-order mark, umlauts and the euro sign in one byte each.
  EXPECT_PRED_FORMAT2(SameRegText,
                      RegLines({"REGEDIT4", "", "[HKEY_CURRENT_USER\\Software\\M\xFCll \x80]",
                                "\"\xE4\"=\"\xDF\xFF\x80\"", ""}),
                      test::ExportedText(reg));
}

// --- Names and texts beyond REGEDIT4: the whole text in Version 5.00 ------------------

struct Version5Row {
  const char* name;
  std::u16string key;  // below Software
  std::u16string valueName;
  std::uint32_t type;
  Bytes data;
  std::u16string line;  // the value line
};

void PrintTo(const Version5Row& row, std::ostream* os) {
  *os << row.name;
}

class ExportVersion5Test : public ExportKeyTest,
                           public ::testing::WithParamInterface<Version5Row> {};

TEST_P(ExportVersion5Test, WritesTheWholeTextInUtf16) {
  const Version5Row& row = GetParam();
  Put(u"Software\\" + row.key, u"before", REG_SZ, Utf16Bytes(u"Gr\u00FC\u00DFe"));
  Put(u"Software\\" + row.key, row.valueName, row.type, row.data);
  Put(u"Software\\" + row.key + u"\\Sub", u"after", REG_DWORD, DwordBytes(1));
  TExRegistry reg;
  ASSERT_TRUE(reg.Open(u"Software", false));
  const std::string expected = test::Version5Lines(
      {u"Windows Registry Editor Version 5.00", u"", u"[HKEY_CURRENT_USER\\Software]", u"",
       u"[HKEY_CURRENT_USER\\Software\\" + row.key + u"]", u"\"before\"=\"Gr\u00FC\u00DFe\"",
       row.line, u"", u"[HKEY_CURRENT_USER\\Software\\" + row.key + u"\\Sub]",
       u"\"after\"=dword:00000001", u""});
  EXPECT_PRED_FORMAT2(SameRegText, expected, test::ExportedText(reg));
  // The file form writes the same bytes, however far its REGEDIT4 text had come.
  const auto file = TempFile("T.reg");
  ASSERT_TRUE(reg.ExportKey(file.u16string()));
  EXPECT_PRED_FORMAT2(SameRegText, expected, ReadWholeFile(file));
  EXPECT_EQ(std::vector<std::filesystem::path>{file}, FilesIn(file.parent_path()));
}

INSTANTIATE_TEST_SUITE_P(
    Needs, ExportVersion5Test,
    ::testing::Values(Version5Row{"KeyNameBeyondTheCodePage", u"\u03A9\u4E2D", u"v", REG_DWORD,
                                  DwordBytes(2), u"\"v\"=dword:00000002"},
                      Version5Row{"ValueNameBeyondTheCodePage", u"K", u"\U0001F600", REG_SZ,
                                  Utf16Bytes(u"\u03A9"), u"\"\U0001F600\"=\"\u03A9\""},
                      Version5Row{"ValueNameWithALoneSurrogate",
                                  u"K",
                                  u"a\xD800",
                                  REG_BINARY,
                                  {1},
                                  u"\"a\xD800\"=hex:01"},
                      // Each line break of a name as an escape of its own.
                      Version5Row{"ValueNameWithLoneLineBreaks", u"K", u"a\nb\rc\r\nd", REG_SZ,
                                  Utf16Bytes(u"x"), u"\"a\\nb\\rc\\r\\nd\"=\"x\""},
                      // REGEDIT4 holds these texts one byte per character, Version 5.00 as UTF-16.
                      Version5Row{"ExpandStringBeyondOneByte", u"K", u"e", REG_EXPAND_SZ,
                                  Utf16Bytes(u"%X%\u20AC"),
                                  u"\"e\"=hex(2):25,00,58,00,25,00,ac,20,00,00"},
                      Version5Row{"MultiStringOfOddLength",
                                  u"K",
                                  u"m",
                                  REG_MULTI_SZ,
                                  {'a', 0, 'b'},
                                  u"\"m\"=hex(7):61,00,62"},
                      // What REGEDIT4 held as bytes is a string here.
                      Version5Row{"StringBeyondTheCodePage", u"\u03A9", u"s", REG_SZ,
                                  Utf16Bytes(u"\u4E2D\r\n"), u"\"s\"=\"\u4E2D\\r\\n\""},
                      Version5Row{"StringWithALoneLineBreakStillAsBytes", u"\u03A9", u"s", REG_SZ,
                                  Utf16Bytes(u"\n"), u"\"s\"=hex(1):0a,00,00,00"}),
    [](const ::testing::TestParamInfo<Version5Row>& row) { return row.param.name; });

// Long texts are converted piece by piece: in REGEDIT4 each piece's characters in the
// code page, in Version 5.00 each code unit, a surrogate pair whole wherever a piece
// ends.
TEST_F(ExportKeyTest, LongStringsAreTheSameWhereverTheyWereCut) {
  constexpr int kRepeats = 20000;  // 100,000 code units
  for (int shift = 0; shift < 5; ++shift) {
    std::u16string ansiText(static_cast<std::size_t>(shift), u'x');
    std::string ansi(static_cast<std::size_t>(shift), 'x');
    std::u16string wideText(static_cast<std::size_t>(shift), u'x');
    for (int i = 0; i < kRepeats; ++i) {
      ansiText += u"\u00E4\u20ACyz";
      ansi += "\xE4\x80yz";
      wideText += u"\u00E4\u20AC\U0001F600y";
    }
    Put(u"Software\\Long", u"s", REG_SZ, Utf16Bytes(ansiText));
    TExRegistry reg;
    ASSERT_TRUE(reg.Open(u"Software\\Long", false));
    EXPECT_PRED_FORMAT2(SameRegText,
                        RegLines({"REGEDIT4", "", "[HKEY_CURRENT_USER\\Software\\Long]",
                                  "\"s\"=\"" + ansi + "\"", ""}),
                        test::ExportedText(reg))
        << "shift " << shift;
    Put(u"Software\\Long", u"s", REG_SZ, Utf16Bytes(wideText));
    Put(u"Software\\Long", u"\u03A9", REG_DWORD, DwordBytes(1));
    EXPECT_PRED_FORMAT2(
        SameRegText,
        test::Version5Lines({u"Windows Registry Editor Version 5.00", u"",
                             u"[HKEY_CURRENT_USER\\Software\\Long]", u"\"s\"=\"" + wideText + u"\"",
                             u"\"\u03A9\"=dword:00000001", u""}),
        test::ExportedText(reg))
        << "shift " << shift;
    store_.DeleteKey(HKEY_CURRENT_USER, u"Software\\Long", 0);
  }
}

// --- What no .reg text holds: left out, and named ---------------------------------------

TEST_F(ExportKeyTest, KeyAndValueNamesNoTextHoldsAreLeftOutAndNamed) {
  Put(u"Software\\T", u"v", REG_DWORD, DwordBytes(1));
  Put(u"Software\\T", std::u16string(u"a\0b", 3), REG_DWORD, DwordBytes(2));
  Put(u"Software\\T\\zwei\r\nZeilen\\Below", u"v", REG_DWORD, DwordBytes(3));
  Put(u"Software\\T\\Z", u"v", REG_DWORD, DwordBytes(4));
  TExRegistry reg;
  ASSERT_TRUE(reg.Open(u"Software\\T", false));
  EXPECT_PRED_FORMAT2(
      SameRegText,
      RegLines({"REGEDIT4", "", "[HKEY_CURRENT_USER\\Software\\T]", "\"v\"=dword:00000001", "",
                "[HKEY_CURRENT_USER\\Software\\T\\Z]", "\"v\"=dword:00000004", ""}),
      test::ExportedText(reg));
  EXPECT_EQ((std::vector<std::u16string>{
                u"Der Wert „a\\0b“ des Schlüssels „HKEY_CURRENT_USER\\Software\\T“ fehlt: "
                u"eine .reg-Datei kann keinen Wertnamen mit NUL-Zeichen halten.",
                u"Der Schlüssel „HKEY_CURRENT_USER\\Software\\T\\zwei\\r\\nZeilen“ fehlt mit "
                u"allem darunter: eine .reg-Datei kann keinen Schlüsselnamen mit Zeilenumbruch, "
                u"NUL-Zeichen oder „\\“ halten."}),
            reg.ExportLeftOut());
  // A tree that holds nothing of that kind leaves nothing out.
  ASSERT_TRUE(reg.Open(u"\\Software\\T\\Z", false));
  test::ExportedText(reg);
  EXPECT_EQ(std::vector<std::u16string>{}, reg.ExportLeftOut());
}

// --- Keys and values that cannot be read ------------------------------------------------

enum class Refusal { Unreadable, KeyInfoAccessDenied };

class ExportRefusedKeyTest : public ExportKeyTest, public ::testing::WithParamInterface<Refusal> {};

TEST_P(ExportRefusedKeyTest, RefusedKeyIsLeftOutWithEverythingBelowIt) {
  Put(u"Software\\T\\A", u"v", REG_DWORD, DwordBytes(1));
  Put(u"Software\\T\\B", u"v", REG_DWORD, DwordBytes(2));
  Put(u"Software\\T\\B\\Below", u"v", REG_DWORD, DwordBytes(3));
  Put(u"Software\\T\\C", u"v", REG_DWORD, DwordBytes(4));
  if (GetParam() == Refusal::Unreadable) {
    ASSERT_TRUE(store_.SetProtection(HKEY_CURRENT_USER, u"Software\\T\\B",
                                     MemoryStore::Protection::Unreadable));
  } else {
    ASSERT_TRUE(store_.InjectFault(HKEY_CURRENT_USER, u"Software\\T\\B",
                                   MemoryStore::Operation::QueryInfo, ERROR_ACCESS_DENIED));
  }
  TExRegistry reg;
  ASSERT_TRUE(reg.Open(u"Software\\T", false));
  EXPECT_PRED_FORMAT2(SameRegText,
                      RegLines({"REGEDIT4", "", "[HKEY_CURRENT_USER\\Software\\T]", "",
                                "[HKEY_CURRENT_USER\\Software\\T\\A]", "\"v\"=dword:00000001", "",
                                "[HKEY_CURRENT_USER\\Software\\T\\C]", "\"v\"=dword:00000004", ""}),
                      test::ExportedText(reg));
  EXPECT_EQ(1u, store_.OpenHandleCount());  // only the object's own key
  EXPECT_EQ(std::vector<std::u16string>{u"Der Schlüssel „HKEY_CURRENT_USER\\Software\\T\\B“ "
                                        u"lässt sich nicht lesen; er fehlt mit allem darunter."},
            reg.ExportLeftOut());
}

INSTANTIATE_TEST_SUITE_P(Refusals, ExportRefusedKeyTest,
                         ::testing::Values(Refusal::Unreadable, Refusal::KeyInfoAccessDenied),
                         [](const ::testing::TestParamInfo<Refusal>& row) {
                           return row.param == Refusal::Unreadable ? "KeyDoesNotOpen"
                                                                   : "KeyInfoAccessDenied";
                         });

TEST_F(ExportKeyTest, OtherKeyInfoFailureFailsTheExportAndWritesNothing) {
  Put(u"Software\\T\\A", u"v", REG_DWORD, DwordBytes(1));
  Put(u"Software\\T\\B", u"v", REG_DWORD, DwordBytes(2));
  ASSERT_TRUE(store_.InjectFault(HKEY_CURRENT_USER, u"Software\\T\\B",
                                 MemoryStore::Operation::QueryInfo, ERROR_BADKEY));
  TExRegistry reg;
  ASSERT_TRUE(reg.Open(u"Software\\T", false));

  const auto file = TempFile("T.reg");
  EXPECT_FALSE(reg.ExportKey(file.u16string()));
  EXPECT_FALSE(std::filesystem::exists(file));

  // The stream is handed over only once the tree was read.
  auto previous = std::make_unique<TMemoryStream>();
  TMemoryStream* const sentinel = previous.get();
  EXPECT_FALSE(reg.ExportKey(u"", true, previous));
  EXPECT_EQ(sentinel, previous.get());
  EXPECT_EQ(1u, store_.OpenHandleCount());
}

TEST_F(ExportKeyTest, FailedExportLeavesTheFileAsItWas) {
  Put(u"Software\\T\\A", u"v", REG_DWORD, DwordBytes(1));
  Put(u"Software\\T\\B", u"v", REG_DWORD, DwordBytes(2));
  ASSERT_TRUE(store_.InjectFault(HKEY_CURRENT_USER, u"Software\\T\\B",
                                 MemoryStore::Operation::QueryInfo, ERROR_BADKEY));
  TExRegistry reg;
  ASSERT_TRUE(reg.Open(u"Software\\T", false));
  const auto file = TempFile("T.reg");
  std::ofstream(file, std::ios::binary) << "the previous backup";

  // The walk fails after the key A was already written.
  EXPECT_FALSE(reg.ExportKey(file.u16string()));
  EXPECT_EQ("the previous backup", ReadWholeFile(file));
  EXPECT_EQ(std::vector<std::filesystem::path>{file}, FilesIn(file.parent_path()));
}

TEST_F(ExportKeyTest, ExportLeavesNoOtherFileBehind) {
  Put(u"Software\\T", u"v", REG_DWORD, DwordBytes(1));
  TExRegistry reg;
  ASSERT_TRUE(reg.Open(u"Software\\T", false));
  const auto file = TempFile("T.reg");
  ASSERT_TRUE(reg.ExportKey(file.u16string()));
  ASSERT_TRUE(reg.ExportKey(file.u16string()));  // replacing the first
  EXPECT_EQ(std::vector<std::filesystem::path>{file}, FilesIn(file.parent_path()));
}

TEST_F(ExportKeyTest, ValuesThatCannotBeEnumeratedAreLeftOut) {
  Put(u"Software\\T", u"v", REG_DWORD, DwordBytes(1));
  Put(u"Software\\T\\Below", u"v", REG_DWORD, DwordBytes(2));
  ASSERT_TRUE(store_.InjectFault(HKEY_CURRENT_USER, u"Software\\T",
                                 MemoryStore::Operation::EnumValue, ERROR_BADKEY));
  TExRegistry reg;
  ASSERT_TRUE(reg.Open(u"Software\\T", false));
  // No value of the key came through, so the key has no line of its own either.
  EXPECT_PRED_FORMAT2(SameRegText,
                      RegLines({"REGEDIT4", "", "[HKEY_CURRENT_USER\\Software\\T\\Below]",
                                "\"v\"=dword:00000002", ""}),
                      test::ExportedText(reg));
  EXPECT_EQ(std::vector<std::u16string>{u"Ein Wert des Schlüssels „HKEY_CURRENT_USER\\Software\\T“ "
                                        u"lässt sich nicht lesen und fehlt."},
            reg.ExportLeftOut());
}

TEST_F(ExportKeyTest, ValuesOfEveryTypeKeepTheirPlaceAmongTheOthers) {
  Put(u"Software\\T", u"before", REG_DWORD, DwordBytes(1));
  Put(u"Software\\T", u"link", REG_LINK, Utf16Bytes(u"x"));
  Put(u"Software\\T", u"after", REG_DWORD, DwordBytes(2));
  Put(u"Software\\U", u"link", REG_LINK, Utf16Bytes(u"x"));
  TExRegistry reg;
  ASSERT_TRUE(reg.Open(u"Software", false));
  EXPECT_PRED_FORMAT2(
      SameRegText,
      RegLines({"REGEDIT4", "", "[HKEY_CURRENT_USER\\Software]", "",
                "[HKEY_CURRENT_USER\\Software\\T]", "\"before\"=dword:00000001",
                "\"link\"=hex(6):78,00,00,00", "\"after\"=dword:00000002", "",
                "[HKEY_CURRENT_USER\\Software\\U]", "\"link\"=hex(6):78,00,00,00", ""}),
      test::ExportedText(reg));
  EXPECT_EQ(std::vector<std::u16string>{}, reg.ExportLeftOut());
}

// --- File and stream --------------------------------------------------------------------

TEST_F(ExportKeyTest, StreamHoldsTheBytesOfTheFile) {
  Put(u"Software\\T", u"s", REG_SZ, Utf16Bytes(u"Gr\u00FC\u00DFe\r\n"));
  Put(u"Software\\T", u"b", REG_BINARY, Sequence(100));
  Put(u"Software\\T\\Sub", u"", REG_EXPAND_SZ, Utf16Bytes(u"%USERPROFILE%"));
  TExRegistry reg;
  ASSERT_TRUE(reg.Open(u"Software\\T", false));

  const auto file = TempFile("T.reg");
  ASSERT_TRUE(reg.ExportKey(file.u16string()));
  std::unique_ptr<TMemoryStream> stream;
  ASSERT_TRUE(reg.ExportKey(u"", true, stream));
  ASSERT_NE(nullptr, stream);
  EXPECT_EQ(ReadWholeFile(file), std::string(stream->Bytes()));
  EXPECT_EQ(stream->Size(), stream->Position());
}

TEST_F(ExportKeyTest, FileFormReplacesTheFileAndLeavesTheStreamAlone) {
  Put(u"Software\\T", u"v", REG_DWORD, DwordBytes(1));
  TExRegistry reg;
  ASSERT_TRUE(reg.Open(u"Software\\T", false));
  const auto file = TempFile("T.reg");
  std::ofstream(file, std::ios::binary) << std::string(1000, 'x');

  std::unique_ptr<TMemoryStream> stream;
  ASSERT_TRUE(reg.ExportKey(file.u16string(), false, stream));
  EXPECT_EQ(nullptr, stream);
  EXPECT_EQ(
      RegLines({"REGEDIT4", "", "[HKEY_CURRENT_USER\\Software\\T]", "\"v\"=dword:00000001", ""}),
      ReadWholeFile(file));
}

TEST_F(ExportKeyTest, FileThatCannotBeCreatedFailsTheExport) {
  Put(u"Software\\T", u"v", REG_DWORD, DwordBytes(1));
  TExRegistry reg;
  ASSERT_TRUE(reg.Open(u"Software\\T", false));
  const auto file = TempFile("T.reg");
  EXPECT_FALSE(reg.ExportKey((file.parent_path() / "missing" / "T.reg").u16string()));
  EXPECT_FALSE(reg.ExportKey(file.parent_path().u16string()));  // a folder
  EXPECT_FALSE(reg.ExportKey(u""));
  // The object is still usable afterwards.
  EXPECT_TRUE(reg.ExportKey(file.u16string()));
}

// --- Texts larger than the writer's buffer -----------------------------------------------

// Many keys with the same values: the text is the block of one key, repeated with each
// key's line, however the bytes were cut into pieces on their way to the file.
TEST_F(ExportKeyTest, LongTextIsTheSameWhereverItWasCut) {
  const auto fill = [&](const std::u16string& path) {
    Put(path, u"01023d00", REG_BINARY, Sequence(300));
    Put(path, u"Name \"\u00E4\"", REG_SZ, Utf16Bytes(u"Gr\u00FC\u00DFe \u20AC\r\nZeile"));
    Put(path, u"", REG_DWORD, DwordBytes(0x1234));
    Put(path, u"m", REG_MULTI_SZ, Utf16Bytes(std::u16string_view(u"a\0b\0", 4)));
  };
  fill(u"Software\\One");
  TExRegistry one;
  ASSERT_TRUE(one.Open(u"Software\\One", false));
  const std::string single = test::ExportedText(one);
  const std::string header = "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\One]\r\n";
  ASSERT_TRUE(single.starts_with(header));
  const std::string block = single.substr(header.size(), single.size() - header.size() - 2);

  constexpr int kKeys = 3000;  // about 4 MB of text
  std::string expected = "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Many]\r\n";
  for (int i = 0; i < kKeys; ++i) {
    const std::string name = "k" + std::to_string(10000 + i);
    fill(u"Software\\Many\\" + platform::Widen(name));
    expected += "\r\n[HKEY_CURRENT_USER\\Software\\Many\\" + name + "]\r\n" + block;
  }
  expected += "\r\n";

  TExRegistry reg;
  ASSERT_TRUE(reg.Open(u"Software\\Many", false));
  const auto file = TempFile("Many.reg");
  ASSERT_TRUE(reg.ExportKey(file.u16string()));
  EXPECT_PRED_FORMAT2(SameRegText, expected, ReadWholeFile(file));
  EXPECT_PRED_FORMAT2(SameRegText, expected, test::ExportedText(reg));
}

// --- The lines alone, to a sink ---------------------------------------------------------

TEST_F(ExportKeyTest, LinesGoToTheSinkWithoutHeaderAndFinalLine) {
  Put(u"Software\\T", u"v", REG_DWORD, DwordBytes(1));
  Put(u"Software\\T\\Sub", u"b", REG_BINARY, Sequence(40));
  TExRegistry reg;
  ASSERT_TRUE(reg.Open(u"Software\\T", false));
  std::string lines;
  ASSERT_TRUE(reg.ExportKeyLines([&lines](std::string_view bytes) {
    lines.append(bytes);
    return true;
  }));
  EXPECT_EQ("REGEDIT4\r\n" + lines + "\r\n", test::ExportedText(reg));
}

// A sink that fails ends the export at once, even inside the walk, which otherwise
// goes on after a value it could not handle.
struct SinkFailure {
  const char* name;
  std::function<bool()> fail;
};

class ExportSinkFailureTest : public ExportKeyTest,
                              public ::testing::WithParamInterface<SinkFailure> {};

TEST_P(ExportSinkFailureTest, FailingSinkEndsTheExport) {
  for (int i = 0; i < 2000; ++i)  // more than one buffer of text
    Put(u"Software\\T\\k" + platform::Widen(std::to_string(i)), u"b", REG_BINARY, Sequence(200));
  TExRegistry reg;
  ASSERT_TRUE(reg.Open(u"Software\\T", false));
  int calls = 0;
  EXPECT_FALSE(reg.ExportKeyLines([&](std::string_view) {
    ++calls;
    return GetParam().fail();
  }));
  EXPECT_EQ(1, calls);
  EXPECT_EQ(1u, store_.OpenHandleCount());  // only the object's own key
  // The object exports again afterwards.
  EXPECT_TRUE(reg.ExportKeyLines([](std::string_view) { return true; }));
}

INSTANTIATE_TEST_SUITE_P(
    Failures, ExportSinkFailureTest,
    ::testing::Values(SinkFailure{"ReturnsFalse", [] { return false; }},
                      SinkFailure{"ThrowsTheProgramsError",
                                  []() -> bool {
                                    throw platform::Exception(u"Der Datenträger ist voll.");
                                  }},
                      SinkFailure{"ThrowsAnyError", []() -> bool { throw std::bad_alloc(); }}),
    [](const ::testing::TestParamInfo<SinkFailure>& row) { return row.param.name; });

}  // namespace
}  // namespace brindel::regfile
