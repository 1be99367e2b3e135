// What no .reg text holds: brindel-cli export writes everything else, names on
// standard error what it left out, and fails.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "registry/store/hive/EmptyHive.h"
#include "registry/store/hive/HiveStore.h"
#include "support/CliRun.h"

namespace brindel::cli {
namespace {

namespace fs = std::filesystem;
using namespace registry::store;
using test::ProcessResult;
using test::ReadWholeFile;

class CliExportLeftOutTest : public test::CliRunFixture {
 protected:
  CliExportLeftOutTest() : CliRunFixture("brindel-cli-leftout-") {}
};

// A hive may hold a key whose name has a line break, as Windows' own hives at times
// do; no key line can write it.
TEST_F(CliExportLeftOutTest, AKeyNameWithALineBreakIsNamedAndTheExportFails) {
  const fs::path hive = Path("NTUSER.DAT");
  hive::WriteEmptyHive(hive);
  {
    HiveStore store;
    store.Mount(HiveStore::MountPoint::CurrentUser, hive);
    for (const std::u16string path : {u"Software\\T\\A", u"Software\\T\\zwei\r\nZeilen\\B"}) {
      HKEY key = 0;
      ASSERT_EQ(ERROR_SUCCESS, store.CreateKey(HKEY_CURRENT_USER, path, KEY_ALL_ACCESS, key));
      const std::uint8_t data[] = {1, 0, 0, 0};
      ASSERT_EQ(ERROR_SUCCESS, store.SetValue(key, u"v", REG_DWORD, data));
      store.CloseKey(key);
    }
    ASSERT_EQ(ERROR_SUCCESS, store.Close());
  }
  const ProcessResult result = Run({"--hive", "HKCU=" + hive.string(), "export",
                                    "HKEY_CURRENT_USER\\Software\\T", Path("out.reg")});
  EXPECT_EQ(1, result.exitCode);
  EXPECT_EQ(
      "Fehler: Der Schlüssel „HKEY_CURRENT_USER\\Software\\T\\zwei\\r\\nZeilen“ fehlt mit allem "
      "darunter: eine .reg-Datei kann keinen Schlüsselnamen mit Zeilenumbruch, NUL-Zeichen oder "
      "„\\“ halten.\n"
      "Fehler: Der Export nach „" +
          Path("out.reg") + "“ ist unvollständig: 1 Eintrag fehlt.\n",
      result.err);
  EXPECT_EQ(
      "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\T]\r\n\r\n"
      "[HKEY_CURRENT_USER\\Software\\T\\A]\r\n\"v\"=dword:00000001\r\n\r\n",
      ReadWholeFile(Path("out.reg")));

  // --save-reg the same: the file holds the rest, the key is named, the run fails.
  const ProcessResult saved = Run({"--hive", "HKCU=" + hive.string(), "--profiles-tree",
                                   "Software\\T", "--save-reg", Path("saved.reg"), "profiles"});
  EXPECT_EQ(1, saved.exitCode);
  EXPECT_NE(std::string::npos,
            saved.err.find("Fehler: Der Schlüssel „HKEY_CURRENT_USER\\Software\\T\\zwei\\r\\n"
                           "Zeilen“ fehlt mit allem darunter"))
      << saved.err;
  EXPECT_NE(std::string::npos,
            ReadWholeFile(Path("saved.reg"))
                .find("[HKEY_CURRENT_USER\\Software\\T\\A]\r\n\"v\"=dword:00000001"));
}

}  // namespace
}  // namespace brindel::cli
