// Reading a backup back before anything is deleted: the export of a profile, read with
// the import's reader, compared with the registry key by key and value by value.

#include "profile/BackupProof.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/FileSystem.h"
#include "platform/Path.h"
#include "platform/Text.h"
#include "profile/Backup.h"
#include "profile/ProfileAnalysis.h"
#include "profile/Repair.h"
#include "profile/Restore.h"
#include "regfile/ExRegistry.h"
#include "regfile/RegText.h"
#include "regfile/RegTextDecode.h"
#include "registry/StringList.h"
#include "support/HostileTree.h"
#include "support/RecordingLog.h"
#include "support/SameLog.h"
#include "support/StoreFixture.h"

namespace brindel::profile {
namespace {

namespace fs = std::filesystem;
using namespace registry::store;
using test::Bytes;
using test::DwordBytes;
using test::Utf16Bytes;

constexpr std::u16string_view kTree = u"Software\\Microsoft\\Office\\16.0\\Outlook\\Profiles\\Büro";

class BackupProofTest : public test::StoreFixture {
 protected:
  void SetUp() override {
    folder_ = fs::path(platform::FromUtf8(*platform::MakeTemporaryFolder("brindel-proof-")));
    file_ = (folder_ / "Büro.reg").u16string();
    // A small profile: two sections, one of them nested, values of several kinds.
    const std::u16string tree(kTree);
    Put(tree + u"\\9207f3e0a3b11019908b08002b2a56c2", u"01023d00", REG_BINARY, Bytes(16, 0xAB));
    Put(tree + u"\\9207f3e0a3b11019908b08002b2a56c2", u"001f3001", REG_SZ,
        Utf16Bytes(u"Outlook-Datendatei"));
    Put(tree + u"\\0a0d020000000000c000000000000046\\Sub", u"00036601", REG_DWORD, DwordBytes(4));
    Put(tree + u"\\0a0d020000000000c000000000000046", u"", REG_EXPAND_SZ,
        Utf16Bytes(u"%USERPROFILE%"));
  }
  void TearDown() override { fs::remove_all(folder_); }

  // The backup as the program writes it.
  void Export() {
    regfile::TExRegistry registry;
    ASSERT_TRUE(registry.Open(kTree, false));
    ASSERT_TRUE(registry.ExportKey(file_));
  }
  TBackupProof Prove() { return ProveBackup(file_, kTree, store_); }

  fs::path folder_;
  std::u16string file_;
};

TEST_F(BackupProofTest, AnExportOfAHealthyProfileIsProvenAndCounted) {
  Export();
  const TBackupProof proof = Prove();
  EXPECT_TRUE(proof.Proven) << platform::ToUtf8(proof.Difference);
  EXPECT_EQ(u"", proof.Difference);
  EXPECT_EQ(4u, proof.Keys) << "the profile key and its three sub keys";
  EXPECT_EQ(4u, proof.Values);
  EXPECT_EQ(u"Sicherung geprüft: 4 Schlüssel, 4 Werte", ProvenBackupNote(proof));
}

TEST_F(BackupProofTest, AStringWithoutItsTerminatorCountsAsEqual) {
  const std::u16string tree(kTree);
  Put(tree, u"ohne Null", REG_SZ, Bytes{'a', 0, 'b', 0});
  Export();
  EXPECT_TRUE(Prove().Proven);
}

// What the text format cannot hold, or holds otherwise than the registry does: each
// must stop the repair, and the message names the first such place.
class BackupLossTest;

struct LossCase {
  const char* name;
  void (*damage)(BackupLossTest&);
  std::u16string expected;  // how the message begins
};

void PrintTo(const LossCase& row, std::ostream* out) {
  *out << row.name;
}

class BackupLossTest : public BackupProofTest, public ::testing::WithParamInterface<LossCase> {
 public:
  void PutInTree(std::u16string_view name, std::uint32_t type, const Bytes& data) {
    Put(kTree, name, type, data);
  }
  void MakeKeyInTree(std::u16string_view name) {
    MakeKey(std::u16string(kTree) + u"\\" + std::u16string(name));
  }
  void MakeUnreadable(std::u16string_view section) {
    const std::u16string path = std::u16string(kTree) + u"\\" + std::u16string(section);
    MakeKey(path);
    store_.SetProtection(HKEY_CURRENT_USER, path, MemoryStore::Protection::Unreadable);
  }
};

TEST_P(BackupLossTest, StopsWithTheFirstDifference) {
  GetParam().damage(*this);
  Export();
  const TBackupProof proof = Prove();
  EXPECT_FALSE(proof.Proven);
  EXPECT_EQ(0u, proof.Difference.find(GetParam().expected)) << platform::ToUtf8(proof.Difference);
  EXPECT_EQ(0u, proof.Keys);
}

const std::u16string kPath = u"„HKEY_CURRENT_USER\\" + std::u16string(kTree);

INSTANTIATE_TEST_SUITE_P(
    Losses, BackupLossTest,
    ::testing::Values(
        // What no .reg text holds is left out of it; the proof says why.
        LossCase{"key_name_with_line_break",
                 [](BackupLossTest& fixture) { fixture.MakeKeyInTree(u"zwei\r\nZeilen"); },
                 u"Der Schlüssel " + kPath +
                     u"\\zwei\\r\\nZeilen“ fehlt in der Sicherung: eine .reg-Datei kann keinen "
                     u"Schlüsselnamen mit Zeilenumbruch, NUL-Zeichen oder „\\“ halten."},
        LossCase{"value_name_with_nul",
                 [](BackupLossTest& fixture) {
                   fixture.PutInTree(std::u16string(u"a\0b", 3), REG_DWORD, DwordBytes(1));
                 },
                 u"Der Wert „a\\0b“ im Schlüssel " + kPath +
                     u"“ fehlt in der Sicherung: eine .reg-Datei kann keinen Wertnamen mit "
                     u"NUL-Zeichen halten."},
        // The export leaves out what it cannot read and still reports success.
        LossCase{"unreadable_section",
                 [](BackupLossTest& fixture) { fixture.MakeUnreadable(u"gesperrt"); },
                 u"Der Schlüssel " + kPath + u"\\gesperrt“ kann nicht gelesen werden."}),
    [](const auto& row) { return std::string(row.param.name); });

TEST_F(BackupProofTest, AFileThatDiffersFromTheRegistryNamesTheDifference) {
  Export();
  std::string text;
  {
    std::ifstream in(fs::path(file_), std::ios::binary);
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  // A key that the registry does not have, appended to the file.
  std::ofstream(fs::path(file_), std::ios::binary | std::ios::app)
      << "[HKEY_CURRENT_USER\\Software\\Microsoft\\Office\\16.0\\Outlook\\Profiles\\B\xFCro\\neu]"
         "\r\n\r\n";
  EXPECT_EQ(u"Die Sicherung hält den Schlüssel " + kPath + u"\\neu“, den die Registry nicht hat.",
            Prove().Difference);
  // A value the file has lost.
  const std::string without = text.substr(0, text.find("\"001f3001\"")) +
                              text.substr(text.find("\r\n", text.find("\"001f3001\"")) + 2);
  std::ofstream(fs::path(file_), std::ios::binary | std::ios::trunc) << without;
  EXPECT_EQ(u"Der Wert „001f3001“ im Schlüssel " + kPath +
                u"\\9207f3e0a3b11019908b08002b2a56c2“ fehlt in der Sicherung.",
            Prove().Difference);
}

TEST_F(BackupProofTest, AMissingOrBrokenFileIsNoBackup) {
  TBackupProof proof = Prove();
  EXPECT_FALSE(proof.Proven);
  EXPECT_EQ(u"Die Sicherung „" + file_ + u"“ lässt sich nicht lesen.", proof.Difference);
  std::ofstream(fs::path(file_), std::ios::binary) << "kein REGEDIT4\r\n";
  proof = ProveBackup(file_, kTree, store_, u"Büro.reg");
  EXPECT_FALSE(proof.Proven);
  EXPECT_EQ(0u, proof.Difference.find(u"Die Sicherung „Büro.reg“ lässt sich nicht wieder einlesen"))
      << platform::ToUtf8(proof.Difference);
}

// A restore would refuse a file beyond the import's size limit, so the proof refuses it
// too, before reading it. The file is sparse: its size costs no disk.
TEST_F(BackupProofTest, AFileTooLargeToRestoreIsNoBackup) {
  Export();
  fs::resize_file(fs::path(file_), regfile::kMaxRegTextFileSize + 1);
  const TBackupProof proof = ProveBackup(file_, kTree, store_, u"Büro.reg");
  EXPECT_FALSE(proof.Proven);
  EXPECT_EQ(u"Die Sicherung „Büro.reg“ ist zu groß, um wieder eingelesen zu werden.",
            proof.Difference);
}

// --- Every profile is backed up, proven, repaired and restored -------------------------

constexpr std::u16string_view kProfiles =
    u"Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows Messaging Subsystem\\Profiles";
// A section nothing refers to, made of hostile keys and values; the restore deletes
// the profile and reads it back from the backup, this section included.
constexpr std::u16string_view kHostileSection = u"0123456789abcdef0123456789abcdef";

// The damaged profile of the fixtures with a section of hostile names and values.
void MakeHostileProfile(MemoryStore& store, std::uint32_t seed, test::HostileTreeShape shape) {
  regfile::LoadRegTextFile(platform::FromUtf8(test::ProfileFixture("damaged.reg")), store);
  test::HostileTree(seed, shape)
      .Fill(store, HKEY_CURRENT_USER,
            std::u16string(kProfiles) + u"\\Kaputt\\" + std::u16string(kHostileSection));
}

class HostileProfileTest : public ::testing::Test {
 protected:
  static ::testing::AssertionResult SameProfile(MemoryStore& expected, MemoryStore& actual) {
    return SameTree(expected, actual, std::u16string(kProfiles) + u"\\Kaputt");
  }
  static ::testing::AssertionResult SameTree(MemoryStore& expected, MemoryStore& actual,
                                             const std::u16string& tree) {
    HKEY a = 0;
    HKEY b = 0;
    if (expected.OpenKey(HKEY_CURRENT_USER, tree, KEY_READ, a) != ERROR_SUCCESS ||
        actual.OpenKey(HKEY_CURRENT_USER, tree, KEY_READ, b) != ERROR_SUCCESS) {
      return ::testing::AssertionFailure() << "no profile";
    }
    auto result = test::SameTree(expected, a, actual, b, tree);
    expected.CloseKey(a);
    actual.CloseKey(b);
    return result;
  }

  void SetUp() override {
    folder_ = platform::FromUtf8(*platform::MakeTemporaryFolder("brindel-hostile-")) +
              platform::kPathDelimiter;
  }
  void TearDown() override { fs::remove_all(fs::path(folder_)); }
  std::u16string folder_;
};

TEST_F(HostileProfileTest, EveryHostileProfileIsBackedUpRepairedAndRestoredExactly) {
  const std::u16string tree = std::u16string(kProfiles) + u"\\Kaputt";
  for (std::uint32_t seed = 1; seed <= 40; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    const test::HostileTreeShape shape{.regedit4 = seed % 3 == 0};
    MemoryStore before;
    MakeHostileProfile(before, seed, shape);
    MemoryStore live;
    MakeHostileProfile(live, seed, shape);
    ScopedCurrentStore current(live);
    fs::remove_all(fs::path(folder_));
    fs::create_directories(fs::path(folder_));

    test::TRecordingLog log;
    TProfileAnalysis analysis(log);
    analysis.Analyse(kProfiles, u"Kaputt");
    const TBackupResult backup = MakeBackup(tree, u"Kaputt", folder_, nullptr);
    ASSERT_TRUE(backup.Ok) << platform::ToUtf8(backup.Reason);
    ASSERT_TRUE(backup.Proof.Proven);
    // A first backup in either format stands as whole for the next repair.
    const auto first = platform::ReadFileBytes(platform::ToUtf8(backup.FirstFile));
    ASSERT_TRUE(first.has_value());
    EXPECT_TRUE(IsCompleteBackup(*first));
    RepairProfile(analysis);
    EXPECT_FALSE(SameProfile(before, live)) << "the repair changed the profile";

    const TRestoreResult restored = RestoreProfile(
        tree, u"Kaputt", folder_, FirstBackupName(folder_, u"Kaputt"), live, nullptr);
    ASSERT_TRUE(restored.Restored) << platform::ToUtf8(restored.Message);
    EXPECT_TRUE(SameProfile(before, live));
  }
}

// A profile whose name the ANSI code page lacks: its backups are Version 5.00 files,
// which the proof and the restore read.
TEST_F(HostileProfileTest, AProfileNamedBeyondTheCodePageIsBackedUpRepairedAndRestored) {
  const std::u16string name = u"A\u03A9X";
  const std::u16string tree = std::u16string(kProfiles) + u"\\" + name;
  MemoryStore before;
  MemoryStore live;
  // The damaged profile of the fixtures, moved to the new name.
  for (MemoryStore* store : {&before, &live}) {
    regfile::LoadRegTextFile(platform::FromUtf8(test::ProfileFixture("damaged.reg")), *store);
    regfile::TExRegistry source;
    source.UseStore(*store);
    ASSERT_TRUE(source.Open(std::u16string(kProfiles) + u"\\Kaputt", false));
    regfile::TExRegistry target;
    target.UseStore(*store);
    ASSERT_TRUE(target.Open(tree, true));
    registry::TStringList names;
    source.GetValueNames(names);
    for (const std::u16string& value : names.Items())
      target.CopyValueFromReg(value, source, true);
    source.GetSubKeyNames(names);
    for (const std::u16string& key : names.Items())
      target.CopyKeyFromReg(key, source, true);
  }
  ScopedCurrentStore current(live);
  test::TRecordingLog log;
  TProfileAnalysis analysis(log);
  analysis.Analyse(kProfiles, name);
  const TBackupResult backup = MakeBackup(tree, name, folder_, nullptr);
  ASSERT_TRUE(backup.Ok) << platform::ToUtf8(backup.Reason);
  const auto bytes = platform::ReadFileBytes(platform::ToUtf8(backup.CurrentFile));
  ASSERT_TRUE(bytes.has_value());
  EXPECT_EQ(0u, bytes->find("\xFF\xFEW\0i\0n\0d\0o\0w\0s\0")) << "Version 5.00 in UTF-16LE";
  RepairProfile(analysis);
  EXPECT_FALSE(SameTree(before, live, tree));
  const TRestoreResult restored =
      RestoreProfile(tree, name, folder_, FirstBackupName(folder_, name), live, nullptr);
  ASSERT_TRUE(restored.Restored) << platform::ToUtf8(restored.Message);
  EXPECT_TRUE(SameTree(before, live, tree));
}

// A profile with a name no text holds is not backed up, and so not repaired: the
// reason names it, and nothing is deleted.
TEST_F(HostileProfileTest, AProfileWithANameNoTextHoldsIsNotRepaired) {
  const std::u16string tree = std::u16string(kProfiles) + u"\\Kaputt";
  MemoryStore live;
  regfile::LoadRegTextFile(platform::FromUtf8(test::ProfileFixture("damaged.reg")), live);
  HKEY key = 0;
  ASSERT_EQ(
      ERROR_SUCCESS,
      live.CreateKey(HKEY_CURRENT_USER, tree + u"\\" + std::u16string(kHostileSection) + u"\\a\nb",
                     KEY_ALL_ACCESS, key));
  live.CloseKey(key);
  ScopedCurrentStore current(live);
  const TBackupResult backup = MakeBackup(tree, u"Kaputt", folder_, nullptr);
  EXPECT_FALSE(backup.Ok);
  EXPECT_NE(std::u16string::npos,
            backup.Reason.find(u"\\a\\nb“ fehlt in der Sicherung: eine .reg-Datei kann keinen "
                               u"Schlüsselnamen mit Zeilenumbruch"))
      << platform::ToUtf8(backup.Reason);
  EXPECT_FALSE(fs::exists(fs::path(CurrentBackupName(folder_, u"Kaputt"))));
}

}  // namespace
}  // namespace brindel::profile
