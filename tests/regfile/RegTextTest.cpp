#include "regfile/RegText.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>

#include "platform/AnsiCodePage.h"
#include "platform/Text.h"
#include "regfile/RegTextDecode.h"
#include "registry/store/MemoryStore.h"
#include "support/Bytes.h"
#include "support/Files.h"
#include "support/NamedRows.h"
#include "support/TreeDump.h"

namespace brindel::regfile {
namespace {

using namespace registry::store;

using platform::FromUtf8;
using platform::ToUtf8;
using Bytes = std::vector<std::uint8_t>;

// How a test text is put into bytes: the header it gets and its encoding.
enum class Form { Regedit4, Version5Utf16, Version5Utf8Bom, Version5Utf8, Version5Utf16BE };

using test::PrintTo;
using test::RowName;

// `text` is UTF-8 in the source; it is written in the encoding of `form`.
Bytes Encode(Form form, std::string_view text) {
  const std::u16string wide = FromUtf8(text);
  Bytes bytes;
  switch (form) {
    case Form::Regedit4: {
      const std::string ansi = platform::ToAnsi(wide);
      return Bytes(ansi.begin(), ansi.end());
    }
    case Form::Version5Utf16:
    case Form::Version5Utf16BE: {
      const bool bigEndian = form == Form::Version5Utf16BE;
      bytes = bigEndian ? Bytes{0xFE, 0xFF} : Bytes{0xFF, 0xFE};
      for (const char16_t unit : wide) {
        const auto low = static_cast<std::uint8_t>(unit & 0xFF);
        const auto high = static_cast<std::uint8_t>(unit >> 8);
        bytes.push_back(bigEndian ? high : low);
        bytes.push_back(bigEndian ? low : high);
      }
      return bytes;
    }
    case Form::Version5Utf8Bom:
      bytes = {0xEF, 0xBB, 0xBF};
      [[fallthrough]];
    case Form::Version5Utf8:
      bytes.insert(bytes.end(), text.begin(), text.end());
      return bytes;
  }
  return bytes;
}

std::string Header(Form form) {
  return form == Form::Regedit4 ? "REGEDIT4" : "Windows Registry Editor Version 5.00";
}

Bytes Raw(std::string_view text) {
  return Bytes(text.begin(), text.end());
}

using test::Utf16Bytes;

using test::Dump;
using test::HexList;
std::optional<RegValue> ReadValue(RegistryStore& store, HKEY root, std::u16string_view path,
                                  std::u16string_view name) {
  HKEY key = 0;
  if (store.OpenKey(root, path, KEY_READ, key) != ERROR_SUCCESS)
    return std::nullopt;
  RegValue value;
  std::uint32_t size = 0;
  const LSTATUS status = store.QueryValue(key, name, value.type, size, &value.data);
  store.CloseKey(key);
  if (status != ERROR_SUCCESS)
    return std::nullopt;
  return value;
}

std::vector<std::u16string> SubKeys(RegistryStore& store, HKEY root, std::u16string_view path) {
  std::vector<std::u16string> names;
  HKEY key = 0;
  if (store.OpenKey(root, path, KEY_READ, key) != ERROR_SUCCESS)
    return names;
  std::u16string name;
  for (std::uint32_t index = 0; store.EnumKey(key, index, name) == ERROR_SUCCESS; ++index) {
    names.push_back(name);
  }
  store.CloseKey(key);
  return names;
}

// --- Values: every data form, in every encoding it comes in -------------------------------

struct ValueCase {
  std::string name;
  Form form;
  std::string lines;  // after the header and the key line [HKEY_CURRENT_USER\T]
  std::u16string valueName;
  std::uint32_t type;
  Bytes data;
};

class RegTextValueTest : public testing::TestWithParam<ValueCase> {};

TEST_P(RegTextValueTest, LoadsValue) {
  const ValueCase& row = GetParam();
  MemoryStore store;
  const std::string text = Header(row.form) + "\r\n\r\n[HKEY_CURRENT_USER\\T]\r\n" + row.lines;
  LoadRegText(Encode(row.form, text), store);

  const auto value = ReadValue(store, HKEY_CURRENT_USER, u"T", row.valueName);
  ASSERT_TRUE(value.has_value()) << "no value " << ToUtf8(row.valueName);
  EXPECT_EQ(row.type, value->type);
  EXPECT_EQ(HexList(row.data), HexList(value->data));
}

const ValueCase kValueCases[] = {
    {"StringWithEscapes", Form::Regedit4, R"("a"="x\\y\"z")", u"a", REG_SZ, Utf16Bytes(u"x\\y\"z")},
    {"EmptyString", Form::Version5Utf16, R"("a"="")", u"a", REG_SZ, {0, 0}},
    {"StringAnsiLetters", Form::Regedit4, "\"a\"=\"Grüße €\"", u"a", REG_SZ,
     Utf16Bytes(u"Grüße €")},
    {"StringUtf16Letters", Form::Version5Utf16, "\"a\"=\"Grüße € ✓\"", u"a", REG_SZ,
     Utf16Bytes(u"Grüße € ✓")},
    {"StringUtf8WithoutMark", Form::Version5Utf8, "\"a\"=\"Grüße\"", u"a", REG_SZ,
     Utf16Bytes(u"Grüße")},
    {"StringUtf16BigEndian", Form::Version5Utf16BE, "\"a\"=\"Grüße\"", u"a", REG_SZ,
     Utf16Bytes(u"Grüße")},
    {"StringLineBreakEscapes", Form::Regedit4, R"("a"="1\r\n2")", u"a", REG_SZ,
     Utf16Bytes(u"1\r\n2")},
    {"StringOtherBackslashKept", Form::Regedit4, R"("a"="C:\temp")", u"a", REG_SZ,
     Utf16Bytes(u"C:\\temp")},
    {"StringThenComment", Form::Regedit4, R"("a"="b" ; note)", u"a", REG_SZ, Utf16Bytes(u"b")},
    {"DefaultValue", Form::Version5Utf16, R"(@="d")", u"", REG_SZ, Utf16Bytes(u"d")},
    {"NameWithEscapes", Form::Regedit4, R"("a\\b\"c"="v")", u"a\\b\"c", REG_SZ, Utf16Bytes(u"v")},
    {"NameWithBracketsAndEquals", Form::Regedit4, R"("[x]=y"="v")", u"[x]=y", REG_SZ,
     Utf16Bytes(u"v")},
    {"BlanksAroundEquals", Form::Regedit4, "\"a\" =\t\"v\"", u"a", REG_SZ, Utf16Bytes(u"v")},
    {"Dword", Form::Regedit4, "\"a\"=dword:0000001a", u"a", REG_DWORD, {0x1a, 0, 0, 0}},
    {"DwordMaximum",
     Form::Version5Utf16,
     "\"a\"=dword:FFFFFFFF",
     u"a",
     REG_DWORD,
     {0xff, 0xff, 0xff, 0xff}},
    {"DwordFewDigits", Form::Regedit4, "\"a\"=dword:201", u"a", REG_DWORD, {0x01, 0x02, 0, 0}},
    {"Binary", Form::Regedit4, "\"a\"=hex:01,02,ff", u"a", REG_BINARY, {1, 2, 0xff}},
    {"BinaryEmpty", Form::Regedit4, "\"a\"=hex:", u"a", REG_BINARY, {}},
    {"BinaryBlanksAndOneDigit",
     Form::Regedit4,
     "\"a\"=hex: 01 , 2,\t0A",
     u"a",
     REG_BINARY,
     {1, 2, 10}},
    {"BinaryThenComment", Form::Regedit4, "\"a\"=hex:01,02 ; two bytes", u"a", REG_BINARY, {1, 2}},
    {"BinaryContinued",
     Form::Regedit4,
     "\"a\"=hex:01,02,\\\r\n  03,04,\\\r\n  05",
     u"a",
     REG_BINARY,
     {1, 2, 3, 4, 5}},
    {"BinaryContinuedWithoutComma",
     Form::Version5Utf16,
     "\"a\"=hex:01,02\\\r\n  ,03",
     u"a",
     REG_BINARY,
     {1, 2, 3}},
    {"BinaryContinuedPastComment",
     Form::Regedit4,
     "\"a\"=hex:01,\\\r\n; aside\r\n  02",
     u"a",
     REG_BINARY,
     {1, 2}},
    {"BinaryBackslashAtEndOfFile", Form::Regedit4, "\"a\"=hex:01,02,\\", u"a", REG_BINARY, {1, 2}},
    {"TypeNone", Form::Version5Utf16, "\"a\"=hex(0):01", u"a", REG_NONE, {1}},
    {"TypeQword",
     Form::Version5Utf16,
     "\"a\"=hex(b):01,00,00,00,00,00,00,80",
     u"a",
     REG_QWORD,
     {1, 0, 0, 0, 0, 0, 0, 0x80}},
    {"TypeNumberIsHex", Form::Regedit4, "\"a\"=hex(bc):00,00", u"a", 188, {0, 0}},
    {"TypeTagUpperCase", Form::Regedit4, "\"a\"=HEX(B):01", u"a", REG_QWORD, {1}},
    {"TypeLargest", Form::Regedit4, "\"a\"=hex(ffffffff):01", u"a", 0xffffffffu, {1}},
    // REGEDIT4 holds the text of these types one byte per character in the ANSI code
    // page: 80 is the euro sign there.
    {"ExpandSzRegedit4", Form::Regedit4, "\"a\"=hex(2):25,54,4d,50,25,80,00", u"a", REG_EXPAND_SZ,
     Utf16Bytes(u"%TMP%€")},
    {"MultiSzRegedit4",
     Form::Regedit4,
     "\"a\"=hex(7):61,00,e4,00,00",
     u"a",
     REG_MULTI_SZ,
     {0x61, 0, 0, 0, 0xe4, 0, 0, 0, 0, 0}},
    {"ExpandSzVersion5",
     Form::Version5Utf16,
     "\"a\"=hex(2):25,00,ac,20,00,00",
     u"a",
     REG_EXPAND_SZ,
     {0x25, 0, 0xac, 0x20, 0, 0}},
    {"MultiSzVersion5",
     Form::Version5Utf8Bom,
     "\"a\"=hex(7):61,00,00,00,00,00",
     u"a",
     REG_MULTI_SZ,
     {0x61, 0, 0, 0, 0, 0}},
    {"BinaryUnchangedInRegedit4", Form::Regedit4, "\"a\"=hex(3):80", u"a", REG_BINARY, {0x80}},
};

INSTANTIATE_TEST_SUITE_P(Forms, RegTextValueTest, testing::ValuesIn(kValueCases),
                         RowName<ValueCase>);

// --- Whole texts: lines, keys, deletions, encodings -------------------------------------

struct DocumentCase {
  std::string name;
  Bytes bytes;
  std::string tree;  // Dump of HKEY_CURRENT_USER after loading into a store holding kBefore
};

// What every document test starts from.
constexpr std::string_view kBefore =
    "REGEDIT4\r\n[HKEY_CURRENT_USER\\Old\\A\\B]\r\n\"x\"=\"1\"\r\n[HKEY_CURRENT_USER\\Old]\r\n"
    "\"v\"=dword:00000001\r\n\"w\"=dword:00000002\r\n";

class RegTextDocumentTest : public testing::TestWithParam<DocumentCase> {};

TEST_P(RegTextDocumentTest, LoadsTree) {
  const DocumentCase& row = GetParam();
  MemoryStore store;
  LoadRegText(Raw(kBefore), store);
  LoadRegText(row.bytes, store);
  EXPECT_EQ(row.tree, Dump(store));
}

constexpr std::string_view kOldTree =
    "[Old]\nv=4:01,00,00,00\nw=4:02,00,00,00\n[Old\\A]\n[Old\\A\\B]\nx=1:31,00,00,00\n";

std::string WithOld(std::string_view rest) {
  return "[]\n" + std::string(kOldTree) + std::string(rest);
}

const DocumentCase kDocumentCases[] = {
    {"LineEndsLf", Raw("REGEDIT4\n[HKEY_CURRENT_USER\\T]\n\"a\"=\"b\"\n"),
     WithOld("[T]\na=1:62,00,00,00\n")},
    {"LineEndsLoneCr", Raw("REGEDIT4\r[HKEY_CURRENT_USER\\T]\r\"a\"=hex:01,\\\r  02\r"),
     WithOld("[T]\na=3:01,02\n")},
    {"NoLineEndAtEnd", Raw("REGEDIT4\r\n[HKEY_CURRENT_USER\\T]\r\n\"a\"=\"b\""),
     WithOld("[T]\na=1:62,00,00,00\n")},
    {"ShortRootNames", Raw("REGEDIT4\r\n[HKCU\\T]\r\n[HKLM\\Ignored]\r\n"), WithOld("[T]\n")},
    {"RootNameInAnyCase", Raw("REGEDIT4\r\n[hkey_current_user\\T\\U]\r\n"),
     WithOld("[T]\n[T\\U]\n")},
    {"ValueOnRoot", Raw("REGEDIT4\r\n[HKEY_CURRENT_USER]\r\n\"r\"=dword:00000007\r\n"),
     "[]\nr=4:07,00,00,00\n" + std::string(kOldTree)},
    {"EmptyKeysCreated", Raw("REGEDIT4\r\n[HKEY_CURRENT_USER\\T\\U\\V]\r\n"),
     WithOld("[T]\n[T\\U]\n[T\\U\\V]\n")},
    {"KeyNameHoldsBracket", Raw("REGEDIT4\r\n[HKEY_CURRENT_USER\\T\\a]b]  \r\n"),
     WithOld("[T]\n[T\\a]b]\n")},
    {"KeyNameCaseOfStoreKept", Raw("REGEDIT4\r\n[HKEY_CURRENT_USER\\OLD]\r\n\"V\"=hex:ff\r\n"),
     "[]\n[Old]\nv=3:ff\nw=4:02,00,00,00\n[Old\\A]\n[Old\\A\\B]\nx=1:31,00,00,00\n"},
    {"CommentsAndUnknownLinesPassed",
     Raw("; made by hand\r\n\r\nREGEDIT4\r\n; comment\r\n# other comment\r\nnonsense\r\n"
         "[HKEY_CURRENT_USER\\T]\r\n  ; indented comment\r\n\"a\"=hex:01\r\n"),
     WithOld("[T]\na=3:01\n")},
    {"CommentWithBackslashDoesNotContinue",
     Raw("REGEDIT4\r\n[HKEY_CURRENT_USER\\T]\r\n; see C:\\\r\n\"a\"=hex:01\r\n"),
     WithOld("[T]\na=3:01\n")},
    {"ContinuationStoppedByNextValue",
     Raw("REGEDIT4\r\n[HKEY_CURRENT_USER\\T]\r\n\"a\"=hex:01,\\\r\n\"b\"=hex:02\r\n"),
     WithOld("[T]\na=3:01\nb=3:02\n")},
    {"ContinuationStoppedByKey",
     Raw("REGEDIT4\r\n[HKEY_CURRENT_USER\\T]\r\n\"a\"=hex:01,\\\r\n[HKEY_CURRENT_USER\\U]\r\n"),
     WithOld("[T]\na=3:01\n[U]\n")},
    {"DeleteValue", Raw("REGEDIT4\r\n[HKEY_CURRENT_USER\\Old]\r\n\"v\"=-\r\n\"missing\"=-\r\n"),
     "[]\n[Old]\nw=4:02,00,00,00\n[Old\\A]\n[Old\\A\\B]\nx=1:31,00,00,00\n"},
    {"DeleteDefaultValue",
     Raw("REGEDIT4\r\n[HKEY_CURRENT_USER\\T]\r\n@=\"d\"\r\n\"a\"=\"b\"\r\n@=-\r\n"),
     WithOld("[T]\na=1:62,00,00,00\n")},
    {"ReplacedValueKeepsPlace", Raw("REGEDIT4\r\n[HKEY_CURRENT_USER\\Old]\r\n\"v\"=\"new\"\r\n"),
     "[]\n[Old]\nv=1:6e,00,65,00,77,00,00,00\nw=4:02,00,00,00\n[Old\\A]\n[Old\\A\\B]\n"
     "x=1:31,00,00,00\n"},
    {"DeleteKeyWithSubKeys", Raw("REGEDIT4\r\n[-HKEY_CURRENT_USER\\Old\\A]\r\n"),
     "[]\n[Old]\nv=4:01,00,00,00\nw=4:02,00,00,00\n"},
    {"DeleteKeyInAnyCase", Raw("REGEDIT4\r\n[-HKCU\\old]\r\n"), "[]\n"},
    {"DeleteMissingKey", Raw("REGEDIT4\r\n[-HKEY_CURRENT_USER\\Nothing\\Here]\r\n"), WithOld("")},
    {"DeleteThenCreate",
     Raw("REGEDIT4\r\n[-HKEY_CURRENT_USER\\Old]\r\n[HKEY_CURRENT_USER\\Old]\r\n\"n\"=hex:\r\n"),
     "[]\n[Old]\nn=3:\n"},
    {"Regedit4WithoutMarkIsAnsiEvenIfUtf8",
     Raw("REGEDIT4\r\n[HKEY_CURRENT_USER\\T]\r\n\"a\"=\"\xC3\xA4\"\r\n"),
     WithOld("[T]\na=1:c3,00,a4,00,00,00\n")},
    {"Version5WithoutMarkAnsiWhenNotUtf8",
     Raw("Windows Registry Editor Version 5.00\r\n[HKEY_CURRENT_USER\\T]\r\n\"a\"=\"\xE4\"\r\n"),
     WithOld("[T]\na=1:e4,00,00,00\n")},
    {"Version5WithoutMarkUtf8KeyName",
     Raw("Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Gr\xC3\xBCn]\n"),
     "[]\n[Gr\xC3\xBCn]\n" + std::string(kOldTree)},
    {"TrailingNulsPassed", Raw(std::string("REGEDIT4\r\n[HKEY_CURRENT_USER\\T]\r\n\0\0", 35)),
     WithOld("[T]\n")},
};

INSTANTIATE_TEST_SUITE_P(Texts, RegTextDocumentTest, testing::ValuesIn(kDocumentCases),
                         RowName<DocumentCase>);

// --- Errors: the line, the German text, and a store left as it was ------------------------

struct ErrorCase {
  std::string name;
  Bytes bytes;
  int line;
  std::string message;  // the complete text
};

class RegTextErrorTest : public testing::TestWithParam<ErrorCase> {};

TEST_P(RegTextErrorTest, NamesLineAndChangesNothing) {
  const ErrorCase& row = GetParam();
  MemoryStore store;
  LoadRegText(Raw(kBefore), store);
  const std::string before = Dump(store);
  try {
    LoadRegText(row.bytes, store);
    FAIL() << "no error";
  } catch (const ERegTextError& error) {
    EXPECT_EQ(row.line, error.Line());
    EXPECT_EQ(row.message, error.what());
  }
  EXPECT_EQ(before, Dump(store));
}

// A text that changes the store before its fault, so that a loader that applies as it
// reads shows.
Bytes Faulty(std::string_view rest) {
  return Raw(
      "REGEDIT4\r\n[HKEY_CURRENT_USER\\New]\r\n\"a\"=\"b\"\r\n[-HKEY_CURRENT_USER\\Old]\r\n"
      "[HKEY_CURRENT_USER\\T]\r\n" +
      std::string(rest));
}

const ErrorCase kErrorCases[] = {
    {"EmptyFile", Raw(""), 0, "Die Datei ist leer: sie enthält keine Registrierungsdaten."},
    {"OnlyComments", Raw("; nothing\r\n\r\n"), 0,
     "Die Datei ist leer: sie enthält keine Registrierungsdaten."},
    {"MissingHeader", Raw("; export\r\n[HKEY_CURRENT_USER\\T]\r\n"), 2,
     "Zeile 2: keine Registrierungsdatei: „REGEDIT4“ oder „Windows Registry Editor Version "
     "5.00“ erwartet"},
    {"Win31Header", Raw("REGEDIT\r\nHKEY_CLASSES_ROOT\\x = y\r\n"), 1,
     "Zeile 1: keine Registrierungsdatei: „REGEDIT4“ oder „Windows Registry Editor Version "
     "5.00“ erwartet"},
    {"KeyWithoutClosingBracket", Faulty("[HKEY_CURRENT_USER\\U\r\n"), 6,
     "Zeile 6: schließende Klammer „]“ fehlt"},
    {"TextAfterKey", Faulty("[HKEY_CURRENT_USER\\U] x\r\n"), 6, "Zeile 6: unerwarteter Text „x“"},
    {"UnknownRoot", Faulty("[HKEY_NOWHERE\\U]\r\n"), 6,
     "Zeile 6: unbekannter Stammschlüssel „HKEY_NOWHERE“"},
    {"NoRootName", Faulty("[\\Software]\r\n"), 6,
     "Zeile 6: Schlüssel „\\Software“ ohne Stammschlüssel wie HKEY_CURRENT_USER"},
    {"EmptyNameInPath", Faulty("[HKEY_CURRENT_USER\\a\\\\b]\r\n"), 6,
     "Zeile 6: ungültiger Schlüsselname „HKEY_CURRENT_USER\\a\\\\b“"},
    {"TrailingBackslashInPath", Faulty("[HKEY_CURRENT_USER\\a\\]\r\n"), 6,
     "Zeile 6: ungültiger Schlüsselname „HKEY_CURRENT_USER\\a\\“"},
    {"KeyNameTooLong", Faulty("[HKEY_CURRENT_USER\\" + std::string(256, 'k') + "]\r\n"), 6,
     "Zeile 6: Schlüsselname länger als 255 Zeichen"},
    {"DeleteRoot", Faulty("[-HKEY_CURRENT_USER]\r\n"), 6,
     "Zeile 6: ein Stammschlüssel kann nicht gelöscht werden"},
    {"ValueBeforeKey", Raw("REGEDIT4\r\n\"a\"=\"b\"\r\n"), 2,
     "Zeile 2: Wert ohne Schlüssel: vor dieser Zeile fehlt eine Zeile „[...]“"},
    {"ValueAfterDeletedKey", Faulty("[-HKEY_CURRENT_USER\\U]\r\n\"a\"=\"b\"\r\n"), 7,
     "Zeile 7: Wert ohne Schlüssel: vor dieser Zeile fehlt eine Zeile „[...]“"},
    {"NameNotClosed", Faulty("\"a=b\r\n"), 6,
     "Zeile 6: schließendes Anführungszeichen des Wertnamens fehlt"},
    {"EqualsMissing", Faulty("\"a\" \"b\"\r\n"), 6, "Zeile 6: „=“ fehlt nach dem Wertnamen"},
    {"DataMissing", Faulty("@=\r\n"), 6, "Zeile 6: Daten fehlen nach „=“"},
    {"StringNotClosed", Faulty("\"a\"=\"b\\\"\r\n"), 6,
     "Zeile 6: schließendes Anführungszeichen der Zeichenkette fehlt"},
    {"TextAfterString", Faulty("\"a\"=\"b\"c\r\n"), 6, "Zeile 6: unerwarteter Text „c“"},
    {"TextAfterDeletion", Faulty("\"a\"=-1\r\n"), 6, "Zeile 6: unerwarteter Text „1“"},
    {"UnknownDataType", Faulty("\"a\"=str(2):\"x\"\r\n"), 6,
     "Zeile 6: unbekannter Datentyp „str(2):“"},
    {"BareWord", Faulty("\"a\"=yes\r\n"), 6, "Zeile 6: unbekannter Datentyp „yes“"},
    {"DwordNotHex", Faulty("\"a\"=dword:xyz\r\n"), 6,
     "Zeile 6: ungültige DWORD-Daten „xyz“ (1 bis 8 Hex-Ziffern erwartet)"},
    {"DwordTooLong", Faulty("\"a\"=dword:123456789\r\n"), 6,
     "Zeile 6: ungültige DWORD-Daten „123456789“ (1 bis 8 Hex-Ziffern erwartet)"},
    {"DwordWithJunk", Faulty("\"a\"=dword:1234x\r\n"), 6, "Zeile 6: unerwarteter Text „x“"},
    {"HexNotADigit", Faulty("\"a\"=hex:01,0g,02\r\n"), 6,
     "Zeile 6: ungültige Hex-Daten „0g“ (zwei Hex-Ziffern je Byte erwartet)"},
    {"HexThreeDigits", Faulty("\"a\"=hex:01,100\r\n"), 6,
     "Zeile 6: ungültige Hex-Daten „100“ (zwei Hex-Ziffern je Byte erwartet)"},
    {"HexDoubleComma", Faulty("\"a\"=hex:01,,02\r\n"), 6,
     "Zeile 6: ungültige Hex-Daten: ein Byte fehlt vor „,“"},
    {"HexNameGivesContinuationLine", Faulty("\"a\"=hex:01,02,\\\r\n  03,04,\\\r\n  05,x6\r\n"), 8,
     "Zeile 8: ungültige Hex-Daten „x6“ (zwei Hex-Ziffern je Byte erwartet)"},
    {"TypeNumberNotHex", Faulty("\"a\"=hex(zz):00\r\n"), 6, "Zeile 6: ungültiger Typ „hex(zz)“"},
    {"TypeNumberEmpty", Faulty("\"a\"=hex():00\r\n"), 6, "Zeile 6: ungültiger Typ „hex()“"},
    {"TypeNumberTooLarge", Faulty("\"a\"=hex(100000000):00\r\n"), 6,
     "Zeile 6: ungültiger Typ „hex(100000000)“"},
    {"NulInLine", Faulty(std::string("\"a\"=\"b\0c\"\r\n", 11)), 6,
     "Zeile 6: unzulässiges NUL-Zeichen"},
};

INSTANTIATE_TEST_SUITE_P(Faults, RegTextErrorTest, testing::ValuesIn(kErrorCases),
                         RowName<ErrorCase>);

// --- A store that refuses a change half-way ---------------------------------------------------

struct RefusalCase {
  std::string name;
  MemoryStore::Operation operation;
  std::string message;
};

class RegTextRefusalTest : public testing::TestWithParam<RefusalCase> {};

TEST_P(RegTextRefusalTest, UndoesWhatWasApplied) {
  const RefusalCase& row = GetParam();
  MemoryStore store;
  LoadRegText(Raw(std::string(kBefore) + "[HKEY_CURRENT_USER\\Locked]\r\n\"k\"=\"1\"\r\n"), store);
  ASSERT_TRUE(store.InjectFault(HKEY_CURRENT_USER, u"Locked", row.operation, ERROR_ACCESS_DENIED));
  const std::string before = Dump(store);

  // Creates keys, replaces, adds and deletes values (the first of its key, so that a
  // value set again at the end would show), deletes a tree, and then meets the refusal.
  const Bytes text = Raw(
      "REGEDIT4\r\n[HKEY_CURRENT_USER\\New\\Sub]\r\n\"a\"=\"b\"\r\n[HKEY_CURRENT_USER\\Old]\r\n"
      "\"w\"=hex:09\r\n\"added\"=hex:0a\r\n\"v\"=-\r\n[-HKEY_CURRENT_USER\\Old\\A]\r\n"
      "[HKEY_CURRENT_USER\\Locked\\Deeper\\Still]\r\n\"k\"=\"2\"\r\n[HKEY_CURRENT_USER\\Locked]\r\n"
      "\"k\"=\"2\"\r\n\"k\"=-\r\n");
  try {
    LoadRegText(text, store);
    FAIL() << "no error";
  } catch (const ERegTextError& error) {
    EXPECT_EQ(row.message, error.what());
  }
  EXPECT_EQ(before, Dump(store));
  EXPECT_EQ(0u, store.OpenHandleCount());
}

const RefusalCase kRefusalCases[] = {
    {"CreateBelow", MemoryStore::Operation::Create,
     "Zeile 9: Schlüssel „HKEY_CURRENT_USER\\Locked\\Deeper\\Still“ kann nicht angelegt werden "
     "(Fehler 5)"},
    {"SetValue", MemoryStore::Operation::SetValue,
     "Zeile 12: Wert „k“ in „HKEY_CURRENT_USER\\Locked“ kann nicht gesetzt werden (Fehler 5)"},
    {"DeleteValue", MemoryStore::Operation::DeleteValue,
     "Zeile 13: Wert „k“ in „HKEY_CURRENT_USER\\Locked“ kann nicht gelöscht werden (Fehler 5)"},
};

INSTANTIATE_TEST_SUITE_P(Operations, RegTextRefusalTest, testing::ValuesIn(kRefusalCases),
                         RowName<RefusalCase>);

// Many values in one key, new and replaced, in runs broken by another key: each run
// is one step of the undo, and the key ends with its values as before, in their order.
TEST(RegTextRefusalTest, UndoesManyNewValuesOfAKey) {
  MemoryStore store;
  std::string setup = "REGEDIT4\r\n[HKEY_CURRENT_USER\\Many]\r\n";
  for (int i = 0; i < 30; ++i)
    setup += "\"old" + std::to_string(i) + "\"=dword:1\r\n";
  setup += "[HKEY_CURRENT_USER\\Locked]\r\n";
  LoadRegText(Raw(setup), store);
  ASSERT_TRUE(store.InjectFault(HKEY_CURRENT_USER, u"Locked", MemoryStore::Operation::SetValue,
                                ERROR_ACCESS_DENIED));
  const std::string before = Dump(store);
  std::string text = "REGEDIT4\r\n";
  for (int run = 0; run < 3; ++run) {
    text += "[HKEY_CURRENT_USER\\Many]\r\n\"old" + std::to_string(run) + "\"=dword:2\r\n";
    for (int i = 0; i < 25; ++i)
      text += "\"new" + std::to_string(run) + "-" + std::to_string(i) + "\"=dword:3\r\n";
    text += "[HKEY_CURRENT_USER\\Other]\r\n\"x\"=dword:4\r\n";
  }
  text += "[HKEY_CURRENT_USER\\Locked]\r\n\"k\"=\"refused\"\r\n";
  EXPECT_THROW(LoadRegText(Raw(text), store), ERegTextError);
  EXPECT_EQ(before, Dump(store));
}

TEST(RegTextRefusalTest, ReadOnlyTreeIsNotDeleted) {
  MemoryStore store;
  LoadRegText(Raw(kBefore), store);
  ASSERT_TRUE(
      store.SetProtection(HKEY_CURRENT_USER, u"Old\\A\\B", MemoryStore::Protection::ReadOnly));
  const std::string before = Dump(store);
  try {
    LoadRegText(Raw("REGEDIT4\r\n[HKEY_CURRENT_USER\\New]\r\n[-HKEY_CURRENT_USER\\Old]\r\n"),
                store);
    FAIL() << "no error";
  } catch (const ERegTextError& error) {
    EXPECT_EQ(3, error.Line());
    EXPECT_EQ("Zeile 3: Schlüssel „HKEY_CURRENT_USER\\Old“ kann nicht gelöscht werden (Fehler 5)",
              std::string(error.what()));
  }
  EXPECT_EQ(before, Dump(store));
}

// --- Decoding ---------------------------------------------------------------------------------

TEST(DecodeRegTextTest, NamesEncodingAndSplitsEveryLineEnd) {
  const Bytes bytes = Encode(Form::Version5Utf16, "a\r\nb\nc\rd\r\n");
  const RegTextDecoded decoded = DecodeRegText(bytes);
  EXPECT_EQ(RegTextEncoding::Utf16LE, decoded.encoding);
  ASSERT_EQ(4u, decoded.lines.size());
  EXPECT_EQ(u"d", decoded.lines[3].text);
  EXPECT_EQ(4, decoded.lines[3].number);
}

// Line ends, byte-order marks and the odd cases of each encoding. The lines are decoded
// one at a time; a line end or a dangling byte misread there shifts every line after it.
TEST(DecodeRegTextTest, DecodesEveryEncodingLineByLine) {
  struct Case {
    const char* name;
    std::string bytes;
    RegTextEncoding encoding;
    std::vector<std::u16string> lines;
  };
  const Case cases[] = {
      {"Empty", "", RegTextEncoding::Ansi, {}},
      {"BreakAtTheEndStartsNoLine", "a\r", RegTextEncoding::Ansi, {u"a"}},
      {"CrCrLf", "a\r\r\nb", RegTextEncoding::Ansi, {u"a", u"", u"b"}},
      {"EmptyLinesKept", "\n\na", RegTextEncoding::Ansi, {u"", u"", u"a"}},
      {"Utf16LeDanglingByte",
       std::string("\xFF\xFE"
                   "a\0\r\0\n\0b",
                   9),
       RegTextEncoding::Utf16LE,
       {u"a", u"\uFFFD"}},
      {"Utf16Be", std::string("\xFE\xFF\0a\0\n\0b", 8), RegTextEncoding::Utf16BE, {u"a", u"b"}},
      {"Utf8MarkInvalidBeforeLineEnd",
       "\xEF\xBB\xBF"
       "a\xE2\r\nb",
       RegTextEncoding::Utf8,
       {u"a\uFFFD", u"b"}},
      {"Version5ValidUtf8AfterComments",
       "\r\n; made by a tool\r\nWindows Registry Editor Version 5.00\r\n\"x\"=\"\xC3\xA4\"",
       RegTextEncoding::Utf8,
       {u"", u"; made by a tool", u"Windows Registry Editor Version 5.00", u"\"x\"=\"\u00e4\""}},
      {"Version5InvalidUtf8StaysAnsi",
       "Windows Registry Editor Version 5.00\n\xE4",
       RegTextEncoding::Ansi,
       {u"Windows Registry Editor Version 5.00", u"\u00e4"}},
      {"Regedit4Utf8BytesStayAnsi",
       "REGEDIT4\n\xC3\xA4",
       RegTextEncoding::Ansi,
       {u"REGEDIT4", u"\u00c3\u00a4"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const RegTextDecoded decoded = DecodeRegText(Raw(c.bytes));
    EXPECT_EQ(c.encoding, decoded.encoding);
    std::vector<std::u16string> lines;
    for (std::size_t i = 0; i < decoded.lines.size(); ++i) {
      lines.push_back(decoded.lines[i].text);
      EXPECT_EQ(static_cast<int>(i + 1), decoded.lines[i].number);
    }
    EXPECT_EQ(c.lines, lines);
  }
}

// --- A real profile's shape, in both formats --------------------------------------------------

constexpr std::u16string_view kProfile =
    u"Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows Messaging "
    u"Subsystem\\Profiles\\Outlook";

std::u16string FixturePath() {
  return FromUtf8(BRINDEL_FIXTURES "/reg/outlook-profile.reg");
}

TEST(RegTextProfileTest, LoadsProfileTree) {
  MemoryStore store;
  LoadRegTextFile(FixturePath(), store);

  const auto defaultProfile = ReadValue(
      store, HKEY_CURRENT_USER,
      u"Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows Messaging Subsystem\\Profiles",
      u"DefaultProfile");
  ASSERT_TRUE(defaultProfile.has_value());
  EXPECT_EQ(REG_SZ, defaultProfile->type);
  EXPECT_EQ(HexList(Utf16Bytes(u"Outlook")), HexList(defaultProfile->data));

  const std::vector<std::u16string> sections = {
      u"0a0d020000000000c000000000000046", u"9207f3e0a3b11019908b08002b2a56c2",
      u"9375CFF0413111d3B88A00104B2A6676", u"a1b2c3d4e5f60718293a4b5c6d7e8f90",
      u"f0e1d2c3b4a5968778695a4b3c2d1e0f"};
  EXPECT_EQ(sections, SubKeys(store, HKEY_CURRENT_USER, kProfile));

  const std::u16string providers = std::u16string(kProfile) + u"\\9207f3e0a3b11019908b08002b2a56c2";
  const auto stores = ReadValue(store, HKEY_CURRENT_USER, providers, u"01023d00");
  ASSERT_TRUE(stores.has_value());
  EXPECT_EQ(REG_BINARY, stores->type);
  EXPECT_EQ(
      "a1,b2,c3,d4,e5,f6,07,18,29,3a,4b,5c,6d,7e,8f,90,5f,60,71,82,93,a4,b5,c6,d7,e8,f9,0a,1b,2c,"
      "3d,4e",
      HexList(stores->data));
  const auto services = ReadValue(store, HKEY_CURRENT_USER, providers, u"01023d0e");
  ASSERT_TRUE(services.has_value());
  EXPECT_EQ(32u, services->data.size());

  const std::u16string accounts = std::u16string(kProfile) + u"\\9375cff0413111d3b88a00104b2a6676";
  const auto accountList =
      ReadValue(store, HKEY_CURRENT_USER, accounts, u"{ED475418-B0D6-11D2-8C3B-00104B2A6676}");
  ASSERT_TRUE(accountList.has_value());
  EXPECT_EQ("01,00,00,00,02,00,00,00", HexList(accountList->data));
  EXPECT_EQ((std::vector<std::u16string>{u"00000001", u"00000002"}),
            SubKeys(store, HKEY_CURRENT_USER, accounts));
  const auto accountName =
      ReadValue(store, HKEY_CURRENT_USER, accounts + u"\\00000002", u"Account Name");
  ASSERT_TRUE(accountName.has_value());
  EXPECT_EQ(REG_BINARY, accountName->type);
  EXPECT_EQ(HexList(Utf16Bytes(u"Jürgen Müller")), HexList(accountName->data));
  const auto clsid = ReadValue(store, HKEY_CURRENT_USER, accounts + u"\\00000001", u"clsid");
  ASSERT_TRUE(clsid.has_value());
  EXPECT_EQ(HexList(Utf16Bytes(u"{ED475411-B0D6-11D2-8C3B-00104B2A6676}")), HexList(clsid->data));

  HKEY empty = 0;
  ASSERT_EQ(ERROR_SUCCESS,
            store.OpenKey(HKEY_CURRENT_USER,
                          std::u16string(kProfile) + u"\\f0e1d2c3b4a5968778695a4b3c2d1e0f",
                          KEY_READ, empty));
  KeyInfo info;
  ASSERT_EQ(ERROR_SUCCESS, store.QueryInfoKey(empty, info));
  EXPECT_EQ(0u, info.values);
  EXPECT_EQ(0u, info.subKeys);
  store.CloseKey(empty);
}

TEST(RegTextProfileTest, Version5InUtf16GivesTheSameTree) {
  const Bytes ansi = test::ReadFileBytes(ToUtf8(FixturePath()));
  std::u16string text = platform::FromAnsi(std::string(ansi.begin(), ansi.end()));
  ASSERT_EQ(0u, text.find(u"REGEDIT4"));
  text.replace(0, 8, u"Windows Registry Editor Version 5.00");

  MemoryStore fromRegedit4;
  LoadRegText(ansi, fromRegedit4);
  MemoryStore fromVersion5;
  LoadRegText(Encode(Form::Version5Utf16, ToUtf8(text)), fromVersion5);
  EXPECT_EQ(Dump(fromRegedit4), Dump(fromVersion5));
}

// --- Files ----------------------------------------------------------------------------------

TEST(RegTextFileTest, MissingFileIsNamed) {
  MemoryStore store;
  try {
    LoadRegTextFile(u"/no/such/folder/profil.reg", store);
    FAIL() << "no error";
  } catch (const ERegTextError& error) {
    EXPECT_EQ(0, error.Line());
    EXPECT_EQ("Die Datei „/no/such/folder/profil.reg“ wurde nicht gefunden.",
              std::string(error.what()));
  }
}

TEST(RegTextFileTest, FaultNamesFileAndLine) {
  const std::filesystem::path path =
      std::filesystem::path(testing::TempDir()) / "RegTextFileTest-Sicherung.reg";
  {
    std::ofstream file(path, std::ios::binary);
    file << "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\T]\r\n\"a\"=hex:zz\r\n";
  }
  MemoryStore store;
  const std::u16string name = FromUtf8(path.string());
  try {
    LoadRegTextFile(name, store);
    FAIL() << "no error";
  } catch (const ERegTextError& error) {
    EXPECT_EQ(4, error.Line());
    EXPECT_EQ(u"Datei „" + name +
                  u"“, Zeile 4: ungültige Hex-Daten „zz“ (zwei Hex-Ziffern je Byte erwartet)",
              error.Message());
  }
  EXPECT_TRUE(SubKeys(store, HKEY_CURRENT_USER, u"").empty());
  std::filesystem::remove(path);
}

}  // namespace
}  // namespace brindel::regfile
