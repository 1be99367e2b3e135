// Which backup files count as whole: the first backup is kept only when it is one.

#include <gtest/gtest.h>

#include <string>

#include "profile/Backup.h"

namespace brindel::profile {
namespace {

// An export as the backup writes it: header, key lines, values, an empty line after
// each key.
const std::string kExport =
    "REGEDIT4\r\n\r\n"
    "[HKEY_CURRENT_USER\\Software\\Profiles\\Outlook]\r\n\r\n"
    "[HKEY_CURRENT_USER\\Software\\Profiles\\Outlook\\9207f3e0a3b11019908b08002b2a56c2]\r\n"
    "\"01023d00\"=hex:a1,00,00,00,00,00,00,00,00,00,00,00,00,00,00,01\r\n"
    "\"001e3001\"=\"Zeile eins\\r\\nZeile zwei\"\r\n\r\n";

// The same in UTF-16 with its byte-order mark, as regedit writes Version 5.00.
std::string Utf16(const std::string& ascii) {
  std::string bytes = "\xFF\xFE";
  for (char c : ascii) {
    bytes += c;
    bytes += '\0';
  }
  return bytes;
}

struct TCompleteCase {
  const char* name;
  std::string bytes;
  bool complete;
};

void PrintTo(const TCompleteCase& row, std::ostream* out) {
  *out << row.name;
}

class IsCompleteBackupTest : public ::testing::TestWithParam<TCompleteCase> {};

TEST_P(IsCompleteBackupTest, Decides) {
  EXPECT_EQ(GetParam().complete, IsCompleteBackup(GetParam().bytes));
}

INSTANTIATE_TEST_SUITE_P(
    Files, IsCompleteBackupTest,
    ::testing::Values(
        TCompleteCase{"WholeExport", kExport, true},
        TCompleteCase{"KeyWithoutValues",
                      "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Profiles\\Neu]\r\n\r\n", true},
        // A profile tree other than today's is still a whole backup of that profile.
        TCompleteCase{"AnotherProfileTree",
                      "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Microsoft\\Office\\15.0\\"
                      "Outlook\\Profiles\\Outlook]\r\n\"a\"=dword:00000001\r\n\r\n",
                      true},
        TCompleteCase{
            "Version5InUtf16",
            Utf16("Windows Registry Editor Version 5.00\r\n\r\n"
                  "[HKEY_CURRENT_USER\\Software\\Profiles\\Outlook]\r\n\"a\"=\"b\"\r\n\r\n"),
            true},
        TCompleteCase{"Empty", "", false}, TCompleteCase{"HeaderOnly", "REGEDIT4\r\n\r\n", false},
        TCompleteCase{"CutInTheHeader", "REGED", false},
        TCompleteCase{"CutInTheKeyLine", kExport.substr(0, 30), false},
        TCompleteCase{"CutAfterTheKeyLine", kExport.substr(0, kExport.find("]\r\n") + 3), false},
        TCompleteCase{"CutAfterAValueLine", kExport.substr(0, kExport.find("01\r\n") + 4), false},
        TCompleteCase{"CutInAValue", kExport.substr(0, kExport.size() - 9), false},
        TCompleteCase{"LastLineBreakMissing", kExport.substr(0, kExport.size() - 2), false},
        TCompleteCase{"ZerosWhereTheEndWas",
                      kExport.substr(0, kExport.size() - 20) + std::string(20, '\0'), false},
        TCompleteCase{"NoRegFile", "Hallo\r\n\r\n", false},
        TCompleteCase{"NoKeyLine", "REGEDIT4\r\n\r\n\"a\"=\"b\"\r\n\r\n", false}),
    [](const ::testing::TestParamInfo<TCompleteCase>& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace brindel::profile
