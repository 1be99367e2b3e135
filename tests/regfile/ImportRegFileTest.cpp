// The import reads back what the export writes, byte for byte, and keeps the
// refusals and error texts of its strict reading rules.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "ExportSupport.h"
#include "platform/Errors.h"
#include "regfile/ExRegistry.h"
#include "support/NamedRows.h"
#include "support/StoreFixture.h"
#include "support/TreeDump.h"

namespace brindel::regfile {
namespace {

using namespace registry::store;
using test::Bytes;
using test::DwordBytes;
using test::SameRegText;
using test::Utf16Bytes;

using test::PrintTo;
using test::RowName;

TMemoryStream StreamOf(std::string_view text) {
  TMemoryStream stream;
  stream.Write(text);
  stream.SetPosition(0);
  return stream;
}

// The whole store as the export writes it with no key open: every root that has
// something, one after the other.
std::string ExportRoots(RegistryStore& store) {
  std::string text;
  for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
    TExRegistry reg;
    reg.UseStore(store);
    reg.UseRoot(root);
    text += test::ExportedText(reg);
  }
  return text;
}

// --- Round trip: export, import into an empty store, export again -----------------------

struct Value {
  std::u16string path;
  std::u16string name;
  std::uint32_t type;
  Bytes data;
  HKEY root = HKEY_CURRENT_USER;
};

struct RoundTripRow {
  const char* name;
  std::vector<Value> values;
};

Bytes Sequence(std::size_t count) {
  Bytes bytes(count);
  for (std::size_t i = 0; i < count; ++i)
    bytes[i] = static_cast<std::uint8_t>(i * 37 + 11);
  return bytes;
}

class RoundTripTest : public test::StoreFixture,
                      public ::testing::WithParamInterface<RoundTripRow> {};

TEST_P(RoundTripTest, ExportImportExportIsByteIdenticalAndKeepsEveryValue) {
  const RoundTripRow& row = GetParam();
  for (const Value& value : row.values) {
    if (value.name == u"<key>") {
      MakeKey(value.path, value.root);
    } else {
      Put(value.path, value.name, value.type, value.data, value.root);
    }
  }
  const std::string first = ExportRoots(store_);

  MemoryStore restored;
  for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
    TExRegistry exported;
    exported.UseRoot(root);
    const std::string text = test::ExportedText(exported);
    TExRegistry importer;
    importer.UseStore(restored);
    TMemoryStream stream = StreamOf(text);
    ASSERT_NO_THROW(importer.ImportRegFile(u"backup.reg", &stream)) << text;
  }
  EXPECT_PRED_FORMAT2(SameRegText, first, ExportRoots(restored));
  // Every value comes back with its type and its bytes.
  EXPECT_EQ(test::Dump(store_), test::Dump(restored));
  EXPECT_EQ(test::Dump(store_, HKEY_LOCAL_MACHINE), test::Dump(restored, HKEY_LOCAL_MACHINE));
}

const std::u16string kLongName(74, u'n');  // with quotes, "=" and hex(0): past column 77

const RoundTripRow kRoundTrips[] = {
    {"Strings",
     {{u"Software\\T", u"plain", REG_SZ, Utf16Bytes(u"Outlook")},
      {u"Software\\T", u"quote\"and\\slash", REG_SZ, Utf16Bytes(u"C:\\a \"b\"\\")},
      {u"Software\\T", u"", REG_SZ, Utf16Bytes(u"default")},
      {u"Software\\T", u"lines", REG_SZ, Utf16Bytes(u"1\r\n2\\r\\n3\\\r\n")},
      {u"Software\\T", u"latin1 äöüß €", REG_SZ, Utf16Bytes(u"Grüße €")},
      {u"Software\\T", u"empty", REG_SZ, Utf16Bytes(u"")},
      {u"Software\\T", u" blanks ", REG_SZ, Utf16Bytes(u"  x  ")}}},
    {"Dwords",
     {{u"T", u"d", REG_DWORD, DwordBytes(26)},
      {u"T", u"max", REG_DWORD, DwordBytes(0xffffffffu)},
      {u"T", u"", REG_DWORD, DwordBytes(0)}}},
    {"DwordTooShort", {{u"T", u"short", REG_DWORD, {1, 2, 3}}}},
    {"Binary",
     {{u"T", u"empty", REG_BINARY, {}},
      {u"T", u"one", REG_BINARY, {0xff}},
      {u"T", u"wrapped", REG_BINARY, Sequence(200)},
      {u"T", u"odd", REG_BINARY, Sequence(21)},
      {u"T", kLongName, REG_BINARY, {7}}}},
    {"Qword", {{u"T", u"q", REG_QWORD, {1, 0, 0, 0, 0, 0, 0, 0x80}}}},
    {"ExpandString", {{u"T", u"path", REG_EXPAND_SZ, Utf16Bytes(u"%TEMP%\\Grüße")}}},
    {"ExpandStringBeyondLatin1", {{u"T", u"euro", REG_EXPAND_SZ, Utf16Bytes(u"%X%€")}}},
    {"MultiString",
     {{u"T", u"list", REG_MULTI_SZ, Utf16Bytes(std::u16string(u"a\0bä\0", 5))},
      {u"T", u"odd", REG_MULTI_SZ, {0x61, 0, 0x62}}}},
    {"NoneAnd188",
     {{u"T", u"none", REG_NONE, Utf16Bytes(u"ab")},
      {u"T", u"noneNoNul", REG_NONE, {1, 2, 3}},
      {u"T", u"noneEmpty", REG_NONE, {}},
      {u"T", u"t188", 188, Utf16Bytes(u"x")},
      {u"T", u"t188Empty", 188, {}}}},
    {"DefaultNoneWithoutData", {{u"T", u"", REG_NONE, {}}}},
    // The empty REG_NONE value with a long name ends its line in a backslash; the
    // default value after it must not be joined to it.
    {"ContinuedEmptyNoneBeforeDefault",
     {{u"T", kLongName, REG_NONE, {}}, {u"T", u"", REG_SZ, Utf16Bytes(u"d")}}},
    {"RootValuesAndEmptyKeys",
     {{u"", u"onRoot", REG_SZ, Utf16Bytes(u"r")},
      {u"Empty\\Deeper\\Deepest", u"<key>", 0, {}},
      {u"Key with blanks\\x]y", u"v", REG_DWORD, DwordBytes(1)},
      {u"SOFTWARE\\Vendor", u"m", REG_BINARY, {1, 2}, HKEY_LOCAL_MACHINE}}},
    {"OtherTypesByTheirNumber",
     {{u"T", u"big", REG_DWORD_BIG_ENDIAN, {0, 0, 0, 1}},
      {u"T", u"kept", REG_BINARY, {1}},
      {u"T", u"far", 0xFFFFFFFFu, {1, 2}}}},
    {"StringsAsBytes",
     {{u"T", u"lf", REG_SZ, Utf16Bytes(u"a\nb")},
      {u"T", u"afterNul", REG_SZ, Utf16Bytes(std::u16string(u"a\0b", 3))},
      {u"T", u"odd", REG_SZ, {0x61, 0, 0x62}},
      {u"T", u"omega", REG_SZ, Utf16Bytes(u"\u03A9")}}},
    {"NamesBeyondTheCodePage",
     {{u"\u03A9\\\U0001F600", u"\u4E2D", REG_SZ, Utf16Bytes(u"\u00E4\r\n")},
      {u"\u03A9", u"zwei\nZeilen", REG_DWORD, DwordBytes(5)}}},
};

INSTANTIATE_TEST_SUITE_P(Trees, RoundTripTest, ::testing::ValuesIn(kRoundTrips),
                         RowName<RoundTripRow>);

// --- Reading rules: what a text sets, or the error it raises ---------------------------------

struct ReadRow {
  const char* name;
  std::string text;
  std::string tree;   // Dump of HKEY_CURRENT_USER afterwards
  std::string error;  // the complete message; empty when the import succeeds
};

class ImportReadTest : public test::StoreFixture, public ::testing::WithParamInterface<ReadRow> {};

TEST_P(ImportReadTest, SetsTreeOrRaises) {
  const ReadRow& row = GetParam();
  TExRegistry reg;
  TMemoryStream stream = StreamOf(row.text);
  try {
    reg.ImportRegFile(u"in.reg", &stream);
    EXPECT_EQ("", row.error) << "no error raised";
  } catch (const platform::Exception& error) {
    EXPECT_EQ(row.error, error.what());
  }
  EXPECT_EQ(row.tree, test::Dump(store_));
}

constexpr const char* kHeaderError = "Bad file format.  Missing REGEDIT4 in first line.";

std::string Syntax(int line, const std::string& rest) {
  return "Syntax error in reg file in.reg at line " + std::to_string(line) +
         " with string: " + rest;
}

const ReadRow kReadRows[] = {
    // Headers.
    {"CommentsAndBlanksBeforeHeader",
     "; saved by hand\r\n\r\n  \r\nREGEDIT4\r\n[HKEY_CURRENT_USER\\T]\r\n", "[]\n[T]\n", ""},
    {"HeaderWithLeadingBlank", "; note\r\n REGEDIT4\r\n[HKEY_CURRENT_USER\\T]\r\n", "[]\n",
     kHeaderError},
    {"HeaderWithTrailingBlank", "REGEDIT4 \r\n", "[]\n", kHeaderError},
    {"HeaderInLowerCase", "regedit4\r\n", "[]\n", kHeaderError},
    {"HeaderOfVersion5", "Windows Registry Editor Version 5.00\r\n[HKEY_CURRENT_USER\\T]\r\n",
     "[]\n[T]\n", ""},
    {"HeaderOfVersion5InLowerCase", "windows registry editor version 5.00\r\n", "[]\n",
     kHeaderError},
    {"EmptyText", "", "[]\n", kHeaderError},
    {"OnlyComments", "; a\r\n;b\r\n", "[]\n", kHeaderError},
    // Lines.
    {"LineEndsOfAllKinds", "REGEDIT4\n[HKEY_CURRENT_USER\\T]\r\"a\"=\"b\"\r\n",
     "[]\n[T]\na=1:62,00,00,00\n", ""},
    {"ContinuedHexList",
     "REGEDIT4\r\n[HKEY_CURRENT_USER\\T]\r\n\"a\"=hex:01,02,\\\r\n  03,\\\r\n  04\r\n",
     "[]\n[T]\na=3:01,02,03,04\n", ""},
    {"BackslashBeforeQuoteLineNotJoined",
     "REGEDIT4\r\n[HKEY_CURRENT_USER\\T]\r\n\"a\"=hex:01,\\\r\n\"b\"=hex:02\r\n",
     "[]\n[T]\na=3:01\nb=3:02\n", ""},
    {"BackslashBeforeKeyLineNotJoined",
     "REGEDIT4\r\n[HKEY_CURRENT_USER\\T]\r\n\"a\"=hex:01,\\\r\n[HKEY_CURRENT_USER\\U]\r\n",
     "[]\n[T]\na=3:01\n[U]\n", ""},
    {"CommentsAndBlankLinesBetween",
     "REGEDIT4\r\n\r\n; comment\r\n[HKEY_CURRENT_USER\\T]\r\n   ; indented\r\n\"a\"=dword:1\r\n",
     "[]\n[T]\na=4:01,00,00,00\n", ""},
    {"NulEndsTheText",
     // All 57 characters, the NUL in the middle included, and not the terminator.
     std::string("REGEDIT4\r\n[HKEY_CURRENT_USER\\T]\r\n\0[HKEY_CURRENT_USER\\U]\r\n", 57),
     "[]\n[T]\n", ""},
    // Key lines.
    {"KeyCreatedWithParents", "REGEDIT4\r\n[HKEY_CURRENT_USER\\A\\B\\C]\r\n",
     "[]\n[A]\n[A\\B]\n[A\\B\\C]\n", ""},
    {"RootAloneSelectsRoot",
     "REGEDIT4\r\n[HKEY_CURRENT_USER\\T]\r\n[HKEY_CURRENT_USER]\r\n\"r\"=\"x\"\r\n",
     "[]\nr=1:78,00,00,00\n[T]\n", ""},
    {"RootInLowerCase", "REGEDIT4\r\n[hkey_current_user\\T]\r\n", "[]\n", Syntax(1, "T")},
    {"RootShortName", "REGEDIT4\r\n[HKCU\\T]\r\n", "[]\n", Syntax(1, "T")},
    {"RootUnknownAlone", "REGEDIT4\r\n[HKEY_NOWHERE]\r\n", "[]\n", Syntax(1, "HKEY_NOWHERE")},
    {"KeyPathEmpty", "REGEDIT4\r\n[HKEY_CURRENT_USER\\]\r\n", "[]\n", Syntax(1, "")},
    {"KeyWithoutClosingBracket", "REGEDIT4\r\n[HKEY_CURRENT_USER\\T\r\n", "[]\n",
     Syntax(1, "HKEY_CURRENT_USER\\T")},
    {"KeyWithCommentAfter", "REGEDIT4\r\n[HKEY_CURRENT_USER\\T] ; c\r\n", "[]\n",
     Syntax(1, "HKEY_CURRENT_USER\\T] ; c")},
    {"KeyDeletionRefused", "REGEDIT4\r\n[-HKEY_CURRENT_USER\\T]\r\n", "[]\n", Syntax(1, "T")},
    // The backslashes of a key line join names: "\r\n" there is the key "r" and a
    // key below it, never a line break.
    {"KeyLineHasNoLineBreakEscape", "REGEDIT4\r\n[HKEY_CURRENT_USER\\T\\r\\nx]\r\n",
     "[]\n[T]\n[T\\r]\n[T\\r\\nx]\n", ""},
    // Value lines.
    {"ValueNameEscapes",
     "REGEDIT4\r\n[HKEY_CURRENT_USER\\T]\r\n\"a\\\\b\"=dword:1\r\n\"q\\\"uote\"=dword:2\r\n"
     "\"c\\d\"=dword:3\r\n",
     "[]\n[T]\na\\b=4:01,00,00,00\nq\"uote=4:02,00,00,00\nc\\d=4:03,00,00,00\n", ""},
    {"StringEscapes", "REGEDIT4\r\n[HKEY_CURRENT_USER\\T]\r\n\"s\"=\"x\\\\y\\\"z\\r\\n\"\r\n",
     "[]\n[T]\ns=1:78,00,5c,00,79,00,22,00,7a,00,0d,00,0a,00,00,00\n", ""},
    {"StringBetweenFirstAndLastCharacter", "REGEDIT4\r\n[HKEY_CURRENT_USER\\T]\r\n\"s\"=\"ab\r\n",
     "[]\n[T]\ns=1:61,00,00,00\n", ""},
    {"BlanksAroundEquals", "REGEDIT4\r\n[HKEY_CURRENT_USER\\T]\r\n@ =\t\"d\"\r\n",
     "[]\n[T]\n@=1:64,00,00,00\n", ""},
    {"HexWithoutNumbers", "REGEDIT4\r\n[HKEY_CURRENT_USER\\T]\r\n\"e\"=hex:\r\n", "[]\n[T]\ne=3:\n",
     ""},
    {"HexNumbersModulo256", "REGEDIT4\r\n[HKEY_CURRENT_USER\\T]\r\n\"m\"=hex:1ff 2;3\r\n",
     "[]\n[T]\nm=3:ff,02,03\n", ""},
    {"HexTypeNumberIsHexadecimal",
     "REGEDIT4\r\n[HKEY_CURRENT_USER\\T]\r\n\"q\"=hex(b):01,00,00,00,00,00,00,00\r\n"
     "\"x\"=HEX(BC):05\r\n",
     "[]\n[T]\nq=11:01,00,00,00,00,00,00,00\nx=188:05\n", ""},
    {"ExpandAndMultiStringWidened",
     "REGEDIT4\r\n[HKEY_CURRENT_USER\\T]\r\n\"e\"=hex(2):25,e4,00\r\n\"m\"=hex(7):61,00,62,00,"
     "00\r\n",
     "[]\n[T]\ne=2:25,00,e4,00,00,00\nm=7:61,00,00,00,62,00,00,00,00,00\n", ""},
    // Version 5.00: each line break of a quoted text an escape of its own, texts of
    // REG_EXPAND_SZ and REG_MULTI_SZ as UTF-16 bytes.
    {"Version5LineBreakEscapes",
     test::Version5Lines({u"Windows Registry Editor Version 5.00", u"[HKEY_CURRENT_USER\\T]",
                          u"\"a\\nb\\r\"=\"x\\ry\\r\\nz\\\\n\"", u"\"c\\d\"=dword:1"}),
     "[]\n[T]\na\nb\r=1:78,00,0d,00,79,00,0d,00,0a,00,7a,00,5c,00,6e,00,00,00\nc\\d=4:01,00,00,"
     "00\n",
     ""},
    {"Version5TextsAreUtf16",
     test::Version5Lines({u"Windows Registry Editor Version 5.00", u"[HKEY_CURRENT_USER\\T\u03A9]",
                          u"\"e\"=hex(2):25,00,ac,20,00,00", u"\"m\"=hex(7):61,00,62"}),
     "[]\n[T\xCE\xA9]\ne=2:25,00,ac,20,00,00\nm=7:61,00,62\n", ""},
    {"DwordMaximum", "REGEDIT4\r\n[HKEY_CURRENT_USER\\T]\r\n\"d\"=dword:ffffffff\r\n",
     "[]\n[T]\nd=4:ff,ff,ff,ff\n", ""},
    {"DwordTooLarge", "REGEDIT4\r\n[HKEY_CURRENT_USER\\T]\r\n\"d\"=dword:100000000\r\n",
     "[]\n[T]\n", "'100000000' ist kein gültiger Integerwert (Zeile 2)"},
    {"DwordNoNumber", "REGEDIT4\r\n[HKEY_CURRENT_USER\\T]\r\n\"d\"=dword:1a ; c\r\n", "[]\n[T]\n",
     "'1a ; c' ist kein gültiger Integerwert (Zeile 2)"},
    {"HexRunTooLarge", "REGEDIT4\r\n[HKEY_CURRENT_USER\\T]\r\n\"b\"=hex:123456789\r\n", "[]\n[T]\n",
     "'123456789' ist kein gültiger Integerwert (Zeile 2)"},
    {"HexTypeNoNumber", "REGEDIT4\r\n[HKEY_CURRENT_USER\\T]\r\n\"b\"=hex(x):00\r\n", "[]\n[T]\n",
     "'x' ist kein gültiger Integerwert (Zeile 2)"},
    {"UnknownType", "REGEDIT4\r\n[HKEY_CURRENT_USER\\T]\r\n\"b\"=qword:00\r\n", "[]\n[T]\n",
     Syntax(2, ":00")},
    {"ValueDeletionRefused", "REGEDIT4\r\n[HKEY_CURRENT_USER\\T]\r\n\"b\"=-\r\n", "[]\n[T]\n",
     Syntax(2, "")},
    {"NameWithoutClosingQuote", "REGEDIT4\r\n[HKEY_CURRENT_USER\\T]\r\n\"b=1\r\n", "[]\n[T]\n",
     Syntax(2, "b=1")},
    {"NoEquals", "REGEDIT4\r\n[HKEY_CURRENT_USER\\T]\r\n\"b\" 1\r\n", "[]\n[T]\n", Syntax(2, "1")},
    {"NothingAfterEquals", "REGEDIT4\r\n[HKEY_CURRENT_USER\\T]\r\n\"b\"=\r\n", "[]\n[T]\n",
     Syntax(2, "")},
    {"UnknownLineKind", "REGEDIT4\r\n[HKEY_CURRENT_USER\\T]\r\n# note\r\n", "[]\n[T]\n",
     Syntax(2, "# note")},
    // Line numbers count from the header line as 0, after the lines before it; a
    // joined line is known by its last part. The lines before the fault stay applied.
    {"LineNumberOfJoinedLine",
     "; lead\r\n\r\nREGEDIT4\r\n[HKEY_CURRENT_USER\\T]\r\n\"a\"=\"1\"\r\n\"b\"=hex:01,\\\r\n  "
     "02\r\n"
     "\"c\"=hex:01,\\\r\n  02 zz\r\n",
     "[]\n[T]\na=1:31,00,00,00\nb=3:01,02\nc=3:01,02\n", ""},
    {"LineNumberAfterContinuation",
     "; lead\r\nREGEDIT4\r\n[HKEY_CURRENT_USER\\T]\r\n\"a\"=hex:01,\\\r\n  02\r\nwrong\r\n",
     "[]\n[T]\na=3:01,02\n", Syntax(4, "wrong")},
};

INSTANTIATE_TEST_SUITE_P(Texts, ImportReadTest, ::testing::ValuesIn(kReadRows), RowName<ReadRow>);

// --- The object around the import ------------------------------------------------------------

class ImportRegFileTest : public test::StoreFixture {};

TEST_F(ImportRegFileTest, ValueBeforeAnyKeyLineGoesToTheOpenKey) {
  MakeKey(u"Start");
  TExRegistry reg;
  ASSERT_TRUE(reg.Open(u"Start", false));
  TMemoryStream stream = StreamOf("REGEDIT4\r\n\"early\"=dword:7\r\n[HKEY_LOCAL_MACHINE\\M]\r\n");
  reg.ImportRegFile(u"in.reg", &stream);
  EXPECT_EQ("[]\n[Start]\nearly=4:07,00,00,00\n", test::Dump(store_));
  // The object keeps the root and key of the last key line.
  EXPECT_EQ(HKEY_LOCAL_MACHINE, reg.RootKey());
  EXPECT_EQ(u"M", reg.CurrentPath());
}

TEST_F(ImportRegFileTest, RootAloneLeavesThePathEmpty) {
  TExRegistry reg;
  TMemoryStream stream =
      StreamOf("REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\A]\r\n[HKEY_LOCAL_MACHINE]\r\n");
  reg.ImportRegFile(u"in.reg", &stream);
  EXPECT_EQ(HKEY_LOCAL_MACHINE, reg.RootKey());
  EXPECT_EQ(u"", reg.CurrentPath());
}

TEST_F(ImportRegFileTest, ReadsFilesAndNamesAMissingOne) {
  const auto dir = std::filesystem::temp_directory_path() / "brindel-import-file";
  std::filesystem::create_directories(dir);
  const auto file = dir / "in.reg";
  std::ofstream(file, std::ios::binary) << "REGEDIT4\r\n[HKEY_CURRENT_USER\\F]\r\n\"v\"=\"1\"\r\n";
  TExRegistry reg;
  reg.ImportRegFile(file.u16string());
  EXPECT_EQ((std::pair<std::int64_t, Bytes>{REG_SZ, Utf16Bytes(u"1")}), Get(u"F", u"v"));

  const std::u16string missing = (dir / "missing.reg").u16string();
  try {
    reg.ImportRegFile(missing);
    ADD_FAILURE() << "no error";
  } catch (const platform::Exception& error) {
    EXPECT_EQ(u"Die Datei „" + missing + u"“ wurde nicht gefunden.", error.Message());
  }
  std::filesystem::remove_all(dir);
}

TEST_F(ImportRegFileTest, StreamIsReadFromItsPosition) {
  TMemoryStream stream;
  stream.Write("garbage");
  stream.Write("REGEDIT4\r\n[HKEY_CURRENT_USER\\S]\r\n");
  stream.SetPosition(7);
  TExRegistry reg;
  reg.ImportRegFile(u"", &stream);
  EXPECT_TRUE(KeyExists(u"S"));
}

TEST_F(ImportRegFileTest, KeyThatCannotBeCreatedStopsTheImport) {
  MakeKey(u"Locked");
  store_.SetProtection(HKEY_CURRENT_USER, u"Locked", MemoryStore::Protection::ReadOnly);
  TExRegistry reg;
  TMemoryStream stream = StreamOf(
      "REGEDIT4\r\n[HKEY_CURRENT_USER\\Before]\r\n[HKEY_CURRENT_USER\\Locked\\New]\r\n"
      "\"v\"=dword:1\r\n");
  try {
    reg.ImportRegFile(u"in.reg", &stream);
    ADD_FAILURE() << "no error";
  } catch (const EExRegistryException& error) {
    EXPECT_EQ(ERROR_ACCESS_DENIED, error.Code());
    EXPECT_NE(
        std::string::npos,
        std::string(error.what()).find(":Unable to create key HKEY_CURRENT_USER\\Locked\\New"))
        << error.what();
  }
  // No transaction: the key line before the fault stays; the value went nowhere.
  EXPECT_EQ("[]\n[Before]\n[Locked]\n", test::Dump(store_));
}

TEST_F(ImportRegFileTest, RefusedValuesRaiseTheirWriteErrors) {
  MakeKey(u"T");
  store_.InjectFault(HKEY_CURRENT_USER, u"T", MemoryStore::Operation::SetValue,
                     ERROR_ACCESS_DENIED);
  const std::vector<std::pair<std::string, std::u16string>> rows = {
      {"\"s\"=\"x\"", u"Fehler beim Setzen der Daten für 's'"},
      {"\"d\"=dword:1", u"Fehler beim Setzen der Daten für 'd'"},
      {"\"b\"=hex:01", u"Unable to set registry data for b"},
  };
  for (const auto& [line, message] : rows) {
    TExRegistry reg;
    TMemoryStream stream = StreamOf("REGEDIT4\r\n[HKEY_CURRENT_USER\\T]\r\n" + line + "\r\n");
    try {
      reg.ImportRegFile(u"in.reg", &stream);
      ADD_FAILURE() << line << ": no error";
    } catch (const platform::ERegistryException& error) {
      EXPECT_EQ(message, error.Message());
    }
  }
}

TEST_F(ImportRegFileTest, CheckRegFileRaisesWithoutChanging) {
  TMemoryStream stream = StreamOf("REGEDIT4\r\n[HKEY_CURRENT_USER\\T]\r\n\"a\"=hex:01\r\nbad\r\n");
  EXPECT_THROW(TExRegistry::CheckRegFile(u"in.reg", &stream), platform::Exception);
  EXPECT_EQ("[]\n", test::Dump(store_));
  EXPECT_EQ(0u, stream.Position()) << "the stream is left for the import";
  TMemoryStream good = StreamOf("REGEDIT4\r\n[HKEY_CURRENT_USER\\T]\r\n");
  EXPECT_NO_THROW(TExRegistry::CheckRegFile(u"in.reg", &good));
  EXPECT_EQ("[]\n", test::Dump(store_));
}

TEST_F(ImportRegFileTest, WriteTypedBinaryDataSetsAnyTypeAndNeverReadsPastData) {
  MakeKey(u"T");
  TExRegistry reg;
  ASSERT_TRUE(reg.Open(u"T", false));
  const Bytes data = {1, 2, 3, 4};
  reg.WriteTypedBinaryData(u"x", 0x1234, data, 2);
  EXPECT_EQ((std::pair<std::int64_t, Bytes>{0x1234, {1, 2}}), Get(u"T", u"x"));
  EXPECT_THROW(reg.WriteTypedBinaryData(u"y", 3, data, 5), platform::ERegistryException);
  EXPECT_THROW(reg.WriteTypedBinaryData(u"y", 3, data, -1), platform::ERegistryException);
  EXPECT_EQ(-1, Get(u"T", u"y").first);
}

}  // namespace
}  // namespace brindel::regfile
