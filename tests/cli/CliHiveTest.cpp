// brindel-cli on offline hive files, as a technician runs it from a rescue system or
// on Windows: hives made with the project's own writer and filled from the demo
// registry, checked afterwards with readers that share no code with the store
// (hivexregedit, regfexport; under Wine through the shell of the system below).

#include <gtest/gtest.h>
#ifndef _WIN32
// hivex writes hives that the project's own writer refuses to make; the Windows build
// has no hivex.
#include <hivex.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "app/MainDlg.h"
#include "app/RegistrySource.h"
#include "app/RunOptions.h"
#include "platform/HeldFile.h"
#include "platform/Text.h"
#include "regfile/RegText.h"
#include "registry/store/hive/EmptyHive.h"
#include "registry/store/hive/HiveFormat.h"
#include "registry/store/hive/HiveStore.h"
#ifndef _WIN32
// A RAM disk of the test's own, to run out of room on purpose; Linux only.
#include "support/OwnMounts.h"
#endif
#include "tests/app/FakeMainView.h"
#ifdef _WIN32
#include "tests/cli/LinuxBuild.h"
#endif
#include "tests/registry/store/hive/HiveTestSupport.h"

namespace brindel::cli {
namespace {

namespace fs = std::filesystem;
using registry::store::HiveStore;
using registry::store::testing::HivexExport;
using registry::store::testing::RegfExport;
using ProcessResult = registry::store::testing::RunResult;
using test::ReadWholeFile;

const std::string kCli = BRINDEL_CLI;
constexpr const char* kDamaged = "B\xC3\xBCro";  // "Büro" in UTF-8, as a shell passes it
// A section of the damaged profile that nothing uses: the repair deletes it.
constexpr char16_t kUnusedSection[] =
    u"Software\\Microsoft\\Office\\16."
    u"0\\Outlook\\Profiles\\B\u00fcro\\5a89cc3fa6d8fe64d70c612c73cdcb86";

// A path as the program takes it on the command line: UTF-8 on every system.
std::string Arg(const fs::path& path) {
  return platform::ToUtf8(path.u16string());
}

// Every file and folder below `root` with its contents (folders: empty), to see that
// a run changed nothing, or only what it should.
std::map<std::string, std::string> Snapshot(const fs::path& root) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    const std::string name = fs::relative(entry.path(), root).generic_string();
    files[name] = entry.is_regular_file() ? ReadWholeFile(entry.path()) : std::string("<folder>");
  }
  return files;
}

// The names of the files that differ between two snapshots, for a message that does
// not print whole hives.
std::vector<std::string> Changed(const std::map<std::string, std::string>& before,
                                 const std::map<std::string, std::string>& after) {
  std::vector<std::string> names;
  for (const auto& [name, bytes] : before) {
    const auto now = after.find(name);
    if (now == after.end() || now->second != bytes)
      names.push_back(name);
  }
  for (const auto& [name, bytes] : after) {
    if (!before.contains(name))
      names.push_back(name);
  }
  return names;
}

std::vector<std::string> Names(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// A user hive and a SOFTWARE hive holding the demo registry: a healthy profile and
// the damaged one, and the Outlook 2016 installation.
void MakeDemoHives(const fs::path& user, const fs::path& software) {
  registry::store::hive::WriteEmptyHive(user);
  registry::store::hive::WriteEmptyHive(software);
  HiveStore store;
  store.Mount(HiveStore::MountPoint::CurrentUser, user);
  store.Mount(HiveStore::MountPoint::MachineSoftware, software);
  const std::string_view demo = app::DemoRegistryText();
  regfile::LoadRegText(std::span(reinterpret_cast<const std::uint8_t*>(demo.data()), demo.size()),
                       store);
  ASSERT_EQ(registry::store::ERROR_SUCCESS, store.Close())
      << platform::ToUtf8(store.LastWriteError());
}

// A hive holding exactly the keys and values of a .reg file, for the expected state.
void MakeHiveFromReg(const fs::path& hive, const fs::path& reg) {
  registry::store::hive::WriteEmptyHive(hive);
  HiveStore store;
  store.Mount(HiveStore::MountPoint::CurrentUser, hive);
  regfile::LoadRegTextFile(reg.u16string(), store);
  ASSERT_EQ(registry::store::ERROR_SUCCESS, store.Close());
}

class CliHiveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = folder_.Path();
    user_ = dir_ / "hives" / "NTUSER.DAT";
    software_ = dir_ / "hives" / "SOFTWARE";
    fs::create_directories(dir_ / "hives");
    fs::create_directories(dir_ / "docs");
    MakeDemoHives(user_, software_);
  }

  ProcessResult Run(std::vector<std::string> args) {
    return registry::store::testing::RunProgram(kCli, args);
  }
  // The options that mount the two hives; the version is given because the fake disk
  // has no OUTLOOK.EXE to detect it from.
  std::vector<std::string> Hives(std::vector<std::string> command) const {
    std::vector<std::string> args{"--hive",
                                  "HKCU=" + Arg(user_),
                                  "--hive",
                                  "HKLM\\SOFTWARE=" + Arg(software_),
                                  "--outlook-version",
                                  "16",
                                  "--documents",
                                  Arg(dir_ / "docs")};
    args.insert(args.end(), command.begin(), command.end());
    return args;
  }

  registry::store::testing::TempFolder folder_{"brindel-clihive-"};
  fs::path dir_;
  fs::path user_;
  fs::path software_;
};

TEST_F(CliHiveTest, RepairLeavesWhatTheSameRepairLeavesInMemory) {
  // The same repair on the demo registry in memory says what the hive should hold.
  const ProcessResult memory = Run({"--demo", "--documents", Arg(dir_ / "docs"), "--save-reg",
                                    Arg(dir_ / "expected.reg"), "repair", kDamaged});
  ASSERT_EQ(0, memory.exitCode) << memory.err;
  fs::rename(dir_ / "docs" / "Brindel", dir_ / "memory-backups");
  MakeHiveFromReg(dir_ / "expected.dat", dir_ / "expected.reg");

  const std::string softwareBefore = ReadWholeFile(software_);
  const auto userBefore = platform::IdentityOf(user_);
  const ProcessResult result = Run(Hives({"repair", kDamaged}));
  ASSERT_EQ(0, result.exitCode) << result.err;
  EXPECT_EQ(memory.err, result.err) << "the same backup, proven the same";
  EXPECT_EQ(0u, result.err.find("Information: Sicherung geprüft: ")) << result.err;
  EXPECT_EQ(memory.out, result.out) << "the same log";

  const auto exported = HivexExport(user_);
  ASSERT_EQ(0, exported.exitCode) << exported.output;
  EXPECT_EQ(HivexExport(dir_ / "expected.dat").output, exported.output);
  EXPECT_EQ(std::string::npos, exported.output.find("5a89cc3fa6d8fe64d70c612c73cdcb86"));
  const auto regf = RegfExport(user_);
  EXPECT_EQ(0, regf.exitCode) << regf.output;
  EXPECT_EQ(RegfExport(dir_ / "expected.dat").output, regf.output) << "values in stored order";

  // The hive was replaced by a new file, not rewritten; nothing else is left behind.
  EXPECT_NE(userBefore, platform::IdentityOf(user_));
  EXPECT_EQ((std::vector<std::string>{"NTUSER.DAT", "SOFTWARE"}), Names(dir_ / "hives"));
  EXPECT_EQ(softwareBefore, ReadWholeFile(software_)) << "read only, never written";
  // The backups and the log are those of the run in memory.
  EXPECT_EQ(Snapshot(dir_ / "memory-backups"), Snapshot(dir_ / "docs" / "Brindel"));
}

// restore on a hive: one commit, all or nothing. A repaired profile comes back as the
// first backup holds it; a file that does not belong to the profile changes no byte.
TEST_F(CliHiveTest, RestoreIsOneCommitOrNone) {
  const auto exported = HivexExport(user_);
  ASSERT_EQ(0, exported.exitCode) << exported.output;
  ASSERT_EQ(0, Run(Hives({"repair", kDamaged})).exitCode);
  ASSERT_NE(exported.output, HivexExport(user_).output);

  std::ofstream(dir_ / "fremd.reg", std::ios::binary)
      << "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Anderes]\r\n";
  const std::string repaired = ReadWholeFile(user_);
  const ProcessResult refused = Run(Hives({"restore", kDamaged, Arg(dir_ / "fremd.reg")}));
  EXPECT_EQ(1, refused.exitCode);
  EXPECT_EQ(repaired, ReadWholeFile(user_)) << "not one byte written";

  const ProcessResult result = Run(Hives({"restore", kDamaged}));
  ASSERT_EQ(0, result.exitCode) << result.err;
  EXPECT_EQ(exported.output, HivexExport(user_).output) << "as it was before the repair";
}

#ifndef _WIN32
// A documents folder with room for the two backups and not for the log: the log is
// written before the hive takes the repair, so the hive is left as it was and the
// message says so.
TEST_F(CliHiveTest, ALogThatCannotBeWrittenLeavesTheHiveAsItWas) {
  if (!test::CanMountOwnDisks((dir_ / "docs").string()))
    GTEST_SKIP() << "no user namespace here to mount a small file system in";
  const std::string hive = ReadWholeFile(user_);
  ASSERT_EQ(0, Run(Hives({"export",
                          "HKEY_CURRENT_USER\\Software\\Microsoft\\Office\\16.0\\Outlook\\"
                          "Profiles\\B\xC3\xBCro",
                          (dir_ / "profile.reg").string()}))
                   .exitCode);
  const std::size_t pages = (fs::file_size(dir_ / "profile.reg") + 4095) / 4096;
  std::vector<std::string> args{(dir_ / "docs").string(), kCli, std::to_string(2 * pages * 4096)};
  for (const std::string& arg : Hives({"repair", kDamaged}))
    args.push_back(arg);
  const test::ProcessResult result = test::RunWithOwnMounts(
      "mount -t tmpfs -o size=$3 none \"$1\" || exit 90\n"
      "cli=$2\nshift 3\n\"$cli\" \"$@\"",
      args);
  EXPECT_EQ(1, result.exitCode) << result.err;
  const std::string log = (dir_ / "docs" / "Brindel").string() + "/" + kDamaged + ".log";
  EXPECT_NE(std::string::npos,
            result.err.find("Fehler: Die Protokolldatei „" + log +
                            "“ kann nicht geschrieben werden: Auf dem Datenträger ist kein "
                            "Platz mehr. Die Reparatur wurde deshalb verworfen; die Registry ist "
                            "unverändert.\n"))
      << result.err;
  EXPECT_EQ(hive, ReadWholeFile(user_)) << "not one byte of the hive written";
}
#endif

#ifndef _WIN32
// A hive on a disk without room for its new file: the restore is not taken, and the
// message, the exit status and both results of the report say so.
TEST_F(CliHiveTest, ARestoreTheHiveCannotTakeIsReportedAsFailed) {
  ASSERT_EQ(0, Run(Hives({"repair", kDamaged})).exitCode);
  fs::create_directories(dir_ / "small");
  if (!test::CanMountOwnDisks((dir_ / "small").string()))
    GTEST_SKIP() << "no user namespace here to mount a small file system in";
  const std::string repaired = ReadWholeFile(user_);
  const std::size_t pages = (repaired.size() + 4095) / 4096;
  // Room for the hive and one page more: its new file does not fit beside it.
  const std::vector<std::string> args{(dir_ / "small").string(),
                                      kCli,
                                      std::to_string((pages + 1) * 4096),
                                      user_.string(),
                                      software_.string(),
                                      (dir_ / "docs").string(),
                                      kDamaged,
                                      (dir_ / "report.json").string(),
                                      (dir_ / "after.dat").string()};
  const test::ProcessResult result = test::RunWithOwnMounts(
      "mount -t tmpfs -o size=$3 none \"$1\" || exit 90\n"
      "cp \"$4\" \"$1/NTUSER.DAT\" || exit 91\n"
      "\"$2\" --hive \"HKCU=$1/NTUSER.DAT\" --hive \"HKLM\\SOFTWARE=$5\" --outlook-version 16 "
      "--documents \"$6\" --json restore \"$7\" > \"$8\"\n"
      "code=$?\n"
      "cp \"$1/NTUSER.DAT\" \"$9\" && exit $code",
      args);
  EXPECT_EQ(1, result.exitCode) << result.err;
  EXPECT_EQ(std::string::npos, result.err.find("“ wiederhergestellt")) << result.err;
  const nlohmann::json report =
      nlohmann::json::parse(ReadWholeFile(dir_ / "report.json"), nullptr, false);
  ASSERT_FALSE(report.is_discarded()) << ReadWholeFile(dir_ / "report.json");
  const std::string message = report["runs"][0]["result"]["message"];
  EXPECT_FALSE(report["runs"][0]["result"]["ok"].get<bool>());
  EXPECT_FALSE(report["result"]["ok"].get<bool>());
  EXPECT_EQ(message, report["result"]["message"]);
  EXPECT_EQ(0u, message.find("Die Wiederherstellung aus „")) << message;
  EXPECT_TRUE(message.ends_with(" Es wurde nichts geändert.")) << message;
  EXPECT_NE(std::string::npos, result.err.find("Fehler: " + message + "\n")) << result.err;
  EXPECT_EQ(repaired, ReadWholeFile(dir_ / "after.dat")) << "the hive as it was";
}
#endif

TEST_F(CliHiveTest, ReadingCommandsLeaveEveryFileAsItWas) {
  const auto before = Snapshot(dir_);
  ProcessResult result = Run(Hives({"profiles"}));
  EXPECT_EQ(0, result.exitCode) << result.err;
  EXPECT_EQ(std::string(kDamaged) + "\nOutlook (Standard)\n", result.out);
  result = Run(Hives({"analyse", kDamaged}));
  EXPECT_EQ(0, result.exitCode) << result.err;
  EXPECT_NE(std::string::npos, result.out.find("5a89cc3fa6d8fe64d70c612c73cdcb86"));
  result = Run(Hives({"export", "HKEY_CURRENT_USER\\Software", Arg(dir_ / "out.reg")}));
  EXPECT_EQ(0, result.exitCode) << result.err;
  fs::remove(dir_ / "out.reg");
  EXPECT_EQ(before, Snapshot(dir_));
}

// --save-reg writes the whole HKEY_CURRENT_USER of the hive, as the run leaves it:
// the same text as the same command on the same registry in memory.
TEST_F(CliHiveTest, SaveRegHoldsTheWholeTreeAsTheRunLeavesIt) {
  for (const std::vector<std::string>& command :
       {std::vector<std::string>{"profiles"}, std::vector<std::string>{"repair", kDamaged}}) {
    SCOPED_TRACE(command[0]);
    const fs::path expected = dir_ / ("memory-" + command[0] + ".reg");
    const fs::path saved = dir_ / ("hive-" + command[0] + ".reg");
    fs::create_directories(dir_ / "memory-docs");
    std::vector<std::string> memory{"--demo", "--documents", Arg(dir_ / "memory-docs"),
                                    "--save-reg", Arg(expected)};
    memory.insert(memory.end(), command.begin(), command.end());
    ASSERT_EQ(0, Run(memory).exitCode);
    std::vector<std::string> hive{"--save-reg", Arg(saved)};
    hive.insert(hive.end(), command.begin(), command.end());
    const ProcessResult result = Run(Hives(hive));
    EXPECT_EQ(0, result.exitCode) << result.err;
    EXPECT_EQ(ReadWholeFile(expected), ReadWholeFile(saved));
  }
}

// Stands in for the hive store and dies as a killed process would, at the moment the
// repair asks for its changes to be written.
class KilledAtFlush : public registry::store::RegistryStore {
 public:
  explicit KilledAtFlush(HiveStore& store) : store_(store) {}
  using HKEY = registry::store::HKEY;
  using LSTATUS = registry::store::LSTATUS;
  using REGSAM = registry::store::REGSAM;

  LSTATUS OpenKey(HKEY parent, std::u16string_view subKey, REGSAM access, HKEY& result) override {
    return store_.OpenKey(parent, subKey, access, result);
  }
  LSTATUS CreateKey(HKEY parent, std::u16string_view subKey, REGSAM access, HKEY& result,
                    bool* created) override {
    return store_.CreateKey(parent, subKey, access, result, created);
  }
  LSTATUS CloseKey(HKEY key) override { return store_.CloseKey(key); }
  LSTATUS QueryInfoKey(HKEY key, registry::store::KeyInfo& info) override {
    return store_.QueryInfoKey(key, info);
  }
  LSTATUS EnumKey(HKEY key, std::uint32_t index, std::u16string& name) override {
    return store_.EnumKey(key, index, name);
  }
  LSTATUS EnumValue(HKEY key, std::uint32_t index, std::u16string& name,
                    registry::store::RegValue* value) override {
    return store_.EnumValue(key, index, name, value);
  }
  LSTATUS QueryValue(HKEY key, std::u16string_view name, std::uint32_t& type, std::uint32_t& size,
                     std::vector<std::uint8_t>* data) override {
    return store_.QueryValue(key, name, type, size, data);
  }
  LSTATUS SetValue(HKEY key, std::u16string_view name, std::uint32_t type,
                   std::span<const std::uint8_t> data) override {
    return store_.SetValue(key, name, type, data);
  }
  LSTATUS DeleteKey(HKEY key, std::u16string_view subKey, REGSAM viewFlags) override {
    return store_.DeleteKey(key, subKey, viewFlags);
  }
  LSTATUS DeleteValue(HKEY key, std::u16string_view name) override {
    return store_.DeleteValue(key, name);
  }
  LSTATUS ConnectRegistry(std::u16string_view machine, HKEY root, HKEY& result) override {
    return store_.ConnectRegistry(machine, root, result);
  }
  LSTATUS FlushKey(HKEY) override {
    // Only a repair that has deleted in memory is a run killed half-way.
    HKEY key = 0;
    if (store_.OpenKey(registry::store::HKEY_CURRENT_USER, kUnusedSection,
                       registry::store::KEY_READ, key) == registry::store::ERROR_FILE_NOT_FOUND) {
      registry::store::testing::KillThisProcess();
    }
    std::exit(kNotDeleted);
  }

  static constexpr int kNotDeleted = 3;

 private:
  HiveStore& store_;
};

// The child's part of the test below: the flow of brindel-cli's repair on the hives
// of BRINDEL_TEST_DIR, killed at the flush. Run by RunChildTest, never on its own.
TEST(CliHiveKilledRepair, DISABLED_Child) {
  const fs::path dir(
      platform::FromUtf8(registry::store::testing::ChildVariable("BRINDEL_TEST_DIR")));
  try {
    HiveStore hives;
    hives.Mount(HiveStore::MountPoint::CurrentUser, dir / "hives" / "NTUSER.DAT");
    hives.Mount(HiveStore::MountPoint::MachineSoftware, dir / "hives" / "SOFTWARE");
    KilledAtFlush dying(hives);
    registry::store::ScopedCurrentStore current(dying);
    test::FakeMainView view;
    app::TMainDlg dlg(view);
    dlg.cOutlookVersion = u"16";
    dlg.FormCreate((dir / "docs").u16string());
    dlg.FormShow();
    view.RunPosted();
    for (int i = 0; i < dlg.StrList.Count(); ++i) {
      if (dlg.StrList[i].ProfilName == u"B\u00fcro")
        view.SelectProfile(i);
    }
    dlg.cbProfilesChange();
    dlg.btnStartClick();
    dlg.btnDeleteClick();
  } catch (...) {
  }
  std::exit(4);  // the repair never reached the flush
}

TEST_F(CliHiveTest, RepairKilledBeforeTheFlushLeavesTheHiveByteIdentical) {
  const auto before = Snapshot(dir_ / "hives");
  const int status = registry::store::testing::RunChildTest("CliHiveKilledRepair.DISABLED_Child",
                                                            {{"BRINDEL_TEST_DIR", Arg(dir_)}});
  ASSERT_EQ(registry::store::testing::kKilled, status) << "not killed at the flush";

  EXPECT_TRUE(fs::exists(dir_ / "docs" / "Brindel" /
                         fs::path(platform::FromUtf8(std::string(kDamaged) + ".reg"))))
      << "the backup was written before the repair";
  EXPECT_EQ(before, Snapshot(dir_ / "hives")) << "no byte of either hive, no new file";
  // And the hive still holds the profile as it was.
  const ProcessResult analysed = Run(Hives({"analyse", kDamaged}));
  EXPECT_NE(std::string::npos, analysed.out.find("5a89cc3fa6d8fe64d70c612c73cdcb86"));
}

TEST_F(CliHiveTest, WindowsRootFindsTheHivesWhateverTheirLetterCase) {
  // A Windows disk as a rescue system mounts it, the names in the case Windows left.
  const fs::path root = dir_ / "mnt";
  fs::create_directories(root / "users" / "Tech" / "documents");
  fs::create_directories(root / "WINDOWS" / "system32" / "Config");
  fs::rename(user_, root / "users" / "Tech" / "ntuser.dat");
  fs::rename(software_, root / "WINDOWS" / "system32" / "Config" / "software");

  const ProcessResult result = Run({"--windows-root", Arg(root), "--user", "TECH",
                                    "--outlook-version", "16", "repair", kDamaged});
  ASSERT_EQ(0, result.exitCode) << result.err;
  const fs::path backups = root / "users" / "Tech" / "documents" / "Brindel";
  EXPECT_TRUE(fs::exists(backups / fs::path(platform::FromUtf8(std::string(kDamaged) + ".reg"))));
  EXPECT_TRUE(
      fs::exists(backups / fs::path(platform::FromUtf8(std::string(kDamaged) + "-original.reg"))));
  EXPECT_TRUE(fs::exists(backups / fs::path(platform::FromUtf8(std::string(kDamaged) + ".log"))));
  EXPECT_FALSE(fs::exists(dir_ / "docs" / "Brindel"));
  EXPECT_EQ(std::string::npos, HivexExport(root / "users" / "Tech" / "ntuser.dat")
                                   .output.find("5a89cc3fa6d8fe64d70c612c73cdcb86"));
}

// Runs for different users of one mounted Windows read its SOFTWARE hive side by side:
// a run writes only the user's hive, so that one alone is held for a writer.
TEST_F(CliHiveTest, RunsForDifferentUsersShareTheMachineHives) {
  const fs::path other = dir_ / "hives" / "OTHER.DAT";
  fs::copy_file(user_, other);
  app::TRunOptions first;
  first.Hives = {"HKCU=" + Arg(user_), "HKLM\\SOFTWARE=" + Arg(software_)};
  app::TRunOptions second = first;
  second.Hives[0] = "HKCU=" + Arg(other);

  app::TRegistrySource one = app::OpenRegistrySource(first, false);
  app::TRegistrySource two;
  try {
    two = app::OpenRegistrySource(second, false);
  } catch (const platform::Exception& error) {
    ADD_FAILURE() << "the second user's run was refused: " << error.what();
  }
  // A user hive stays one writing run's at a time.
  try {
    app::OpenRegistrySource(first, false);
    ADD_FAILURE() << "a second run took the first user's hive for writing";
  } catch (const platform::Exception& error) {
    EXPECT_NE(std::string::npos,
              std::string(error.what()).find("von einem anderen Brindel-Lauf verwendet"))
        << error.what();
  }
}

#ifndef _WIN32
// A hive that another program shortens under the run ends the run with the German
// error, never with a signal. (Windows lets no one shorten a held hive: see
// HiveShortenedTest.)
TEST_F(CliHiveTest, AHiveShortenedUnderTheRunFailsTheRun) {
  app::TRunOptions options;
  options.Hives = {"HKCU=" + Arg(user_)};
  app::TRegistrySource source = app::OpenRegistrySource(options, false);
  fs::resize_file(user_, 0x2000);
  registry::store::HKEY key = 0;
  EXPECT_NE(registry::store::ERROR_SUCCESS,
            source.Store->OpenKey(registry::store::HKEY_CURRENT_USER, kUnusedSection,
                                  registry::store::KEY_READ, key));
  const std::string failure = platform::ToUtf8(source.Session->Commit());
  EXPECT_NE(std::string::npos, failure.find("von einem anderen Programm verkürzt")) << failure;
}
#endif

// export, --save-reg and --log onto a file that the run has open as a hive would
// replace the hive by text: refused, whatever path names the file, and the hives keep
// every byte.
TEST_F(CliHiveTest, WritingOntoAnOpenHiveIsRefused) {
  std::vector<std::pair<std::string, fs::path>> targets = {
      {"the same path", user_},
      {"another spelling", dir_ / "docs" / ".." / "hives" / "NTUSER.DAT"},
      {"the SOFTWARE hive", software_},
  };
#ifdef _WIN32
  // Windows finds names without regard to letter case; Wine makes no links.
  targets.emplace_back("another letter case", dir_ / "hives" / "ntuser.dat");
#else
  fs::create_symlink(user_, dir_ / "link.dat");
  targets.emplace_back("a link", dir_ / "link.dat");
#endif
  const auto before = Snapshot(dir_ / "hives");
  for (const auto& [how, target] : targets) {
    SCOPED_TRACE(how);
    for (const std::vector<std::string>& command :
         {std::vector<std::string>{"export", "HKEY_CURRENT_USER", Arg(target)},
          std::vector<std::string>{"--save-reg", Arg(target), "profiles"},
          std::vector<std::string>{"--log", Arg(target), "analyse", kDamaged},
          std::vector<std::string>{"--log", Arg(target), "--json", "repair", kDamaged}}) {
      SCOPED_TRACE(command[0]);
      const ProcessResult result = Run(Hives(command));
      EXPECT_EQ(1, result.exitCode) << result.err;
      EXPECT_NE(std::string::npos,
                result.err.find("ist eine Hive-Datei, die dieser Lauf geöffnet hat"))
          << result.err;
      EXPECT_EQ(std::vector<std::string>{}, Changed(before, Snapshot(dir_ / "hives")));
    }
  }
}

// The file of --log is emptied only once the run has its registry: a run that cannot
// open its hives leaves an earlier log as it was.
TEST_F(CliHiveTest, ALogFileIsLeftAsItWasWhenTheRunCannotStart) {
  const fs::path log = dir_ / "lauf.log";
  std::ofstream(log, std::ios::binary) << "das Protokoll des letzten Laufs\n";
  const ProcessResult result =
      Run({"--hive", "HKCU=" + Arg(dir_ / "hives" / "FEHLT.DAT"), "--log", Arg(log), "profiles"});
  EXPECT_EQ(1, result.exitCode) << result.err;
  EXPECT_EQ("das Protokoll des letzten Laufs\n", ReadWholeFile(log));

  const ProcessResult done = Run(Hives({"--log", Arg(log), "analyse", kDamaged}));
  EXPECT_EQ(0, done.exitCode) << done.err;
  EXPECT_NE(std::string::npos, ReadWholeFile(log).find("5a89cc3fa6d8fe64d70c612c73cdcb86"));
  EXPECT_EQ("", done.out) << "the log went into the file";
}

#ifdef _WIN32
// The way Windows holds a hive it has loaded, a logged-on user's NTUSER.DAT: no one
// else may open it. The run is refused with what to do instead.
TEST_F(CliHiveTest, AHiveWindowsHasLoadedIsRefusedWithWhatToDoInstead) {
  ProcessResult result;
  {
    const registry::store::testing::HeldWithoutSharing windows(user_);
    ASSERT_TRUE(windows.Held());
    result = Run(Hives({"repair", kDamaged}));
  }
  EXPECT_EQ(1, result.exitCode) << result.err;
  EXPECT_EQ(0u, result.err.find("Fehler: Die Hive-Datei ")) << result.err;
  EXPECT_NE(std::string::npos, result.err.find("hält ein anderes Programm geöffnet")) << result.err;
  EXPECT_NE(std::string::npos, result.err.find("als dieser Benutzer ohne --hive")) << result.err;
  EXPECT_NE(std::string::npos, result.err.find("als Administrator mit --user NAME statt --hive"))
      << result.err;
  EXPECT_FALSE(
      fs::exists(dir_ / "docs" / "Brindel" / fs::path(platform::FromUtf8(kDamaged) + u".reg")));
}

// brindel-cli.exe and the Linux build's brindel-cli (run under Wine as the Linux
// program it is), each on its own copy of the same hives that the project's writer
// made: the same log, the same backups and log file, the same tree afterwards.
TEST_F(CliHiveTest, RepairEqualsTheLinuxBuildsOnTheSameHives) {
  using registry::store::testing::UnixPath;
  const std::string linuxCli = test::LinuxCli();
  ASSERT_TRUE(test::LinuxCliRuns());
  const fs::path other = dir_ / "linux";
  fs::create_directories(other / "hives");
  fs::create_directories(other / "docs");
  fs::copy_file(user_, other / "hives" / "NTUSER.DAT");
  fs::copy_file(software_, other / "hives" / "SOFTWARE");

  const ProcessResult windows = Run(Hives({"repair", kDamaged}));
  const ProcessResult linux = registry::store::testing::RunUnixProgram(
      linuxCli, {"--hive", "HKCU=" + UnixPath(other / "hives" / "NTUSER.DAT"), "--hive",
                 "HKLM\\SOFTWARE=" + UnixPath(other / "hives" / "SOFTWARE"), "--outlook-version",
                 "16", "--documents", UnixPath(other / "docs"), "repair", kDamaged});
  ASSERT_EQ(0, windows.exitCode) << windows.err;
  ASSERT_EQ(0, linux.exitCode) << linux.err;
  EXPECT_EQ(test::Normal(linux.out, UnixPath(other)), test::Normal(windows.out, Arg(dir_)))
      << "the log";
  EXPECT_EQ(test::Normal(linux.err, UnixPath(other)), test::Normal(windows.err, Arg(dir_)));
  EXPECT_EQ(4u, Snapshot(dir_ / "docs").size()) << "Brindel, the two backups and the log";
  EXPECT_EQ(Snapshot(other / "docs"), Snapshot(dir_ / "docs")) << "the backups and the log file";

  const auto linuxTree = HivexExport(other / "hives" / "NTUSER.DAT");
  ASSERT_EQ(0, linuxTree.exitCode) << linuxTree.output;
  EXPECT_EQ(linuxTree.output, HivexExport(user_).output) << "the tree afterwards";
  EXPECT_EQ(RegfExport(other / "hives" / "NTUSER.DAT").output, RegfExport(user_).output)
      << "values in stored order";
  EXPECT_EQ(std::string::npos, linuxTree.output.find("5a89cc3fa6d8fe64d70c612c73cdcb86"));
}
#endif

// Ways a user hive can be unusable, each made from a good one.
using Bytes = std::vector<std::uint8_t>;

void SetLE32(Bytes& bytes, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i)
    bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint32_t GetLE32(const Bytes& bytes, std::size_t at) {
  return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 |
         static_cast<std::uint32_t>(bytes[at + 3]) << 24;
}

// The base block's checksum: XOR of its first 127 double words.
void FixChecksum(Bytes& bytes) {
  std::uint32_t sum = 0;
  for (std::size_t at = 0; at < 0x1FC; at += 4)
    sum ^= GetLE32(bytes, at);
  SetLE32(bytes, 0x1FC, sum);
}

// The file offset of the damaged profile's key record in a hive.
std::size_t ProfileKey(const fs::path& file) {
  const registry::store::testing::RawHive raw(file);
  return raw.Find(
      {u"Software", u"Microsoft", u"Office", u"16.0", u"Outlook", u"Profiles", u"B\u00fcro"});
}

struct BadHiveCase {
  const char* name;
  std::function<void(const fs::path&)> spoil;
  const char* command;
  const char* error;  // what the message on standard error says
};

void Patch(const fs::path& file, const std::function<void(Bytes&)>& change) {
  Bytes bytes = registry::store::testing::ReadBytes(file);
  change(bytes);
  registry::store::testing::WriteBytes(file, bytes);
}

const BadHiveCase kBadHives[] = {
    {"dirty_repair",
     [](const fs::path& file) {
       // Windows raises the first sequence number before it writes, the second after.
       Patch(file, [](Bytes& bytes) {
         SetLE32(bytes, 4, GetLE32(bytes, 4) + 1);
         FixChecksum(bytes);
       });
     },
     "repair", "nicht sauber geschlossen"},
    {"corrupt_bin",
     [](const fs::path& file) { Patch(file, [](Bytes& bytes) { bytes[0x1000] = 'X'; }); }, "repair",
     "ist beschädigt und kann nicht gelesen werden"},
    {"bad_checksum",
     [](const fs::path& file) { Patch(file, [](Bytes& bytes) { bytes[0x1FC] ^= 1; }); }, "analyse",
     "die Prüfsumme ihres Kopfblocks stimmt nicht"},
    {"truncated", [](const fs::path& file) { fs::resize_file(file, 0x2000); }, "repair",
     "unvollständig (abgeschnitten)"},
    {"not_a_hive",
     [](const fs::path& file) { std::ofstream(file, std::ios::trunc) << "REGEDIT4\r\n"; },
     "analyse", "ist keine Hive-Datei"},
    {"damaged_section_list",
     [](const fs::path& file) {
       // The damage lies inside the profile: the hive opens, the profile's key does not.
       const std::size_t key = ProfileKey(file);
       const std::size_t list =
           0x1000 + GetLE32(registry::store::testing::ReadBytes(file),
                            registry::store::testing::RawHive::Field(key, 0x1C));
       Patch(file, [list](Bytes& bytes) { bytes[list + 4] = 'z'; });
     },
     "repair", "ist beschädigt: mindestens ein Schlüssel lässt sich nicht lesen"},
#ifndef _WIN32
    {"over_long_key_name",
     [](const fs::path& file) {
       // hivex writes names longer than the registry's 255 characters; Windows takes
       // such a hive for damaged.
       hive_h* h = hivex_open(file.c_str(), HIVEX_OPEN_WRITE);
       hive_node_h node = hivex_root(h);
       for (const char* part :
            {"Software", "Microsoft", "Office", "16.0", "Outlook", "Profiles", kDamaged}) {
         node = hivex_node_get_child(h, node, part);
       }
       ASSERT_NE(0u, hivex_node_add_child(h, node, std::string(300, 'L').c_str()));
       ASSERT_EQ(0, hivex_commit(h, nullptr, 0));
       hivex_close(h);
     },
     "repair", "ein Name, länger als die Registry erlaubt"},
#endif
};

class CliBadHiveTest : public CliHiveTest, public ::testing::WithParamInterface<BadHiveCase> {};

TEST_P(CliBadHiveTest, GivesItsGermanErrorAndChangesNoFile) {
  GetParam().spoil(user_);
  const auto before = Snapshot(dir_);
  const ProcessResult result = Run(Hives({GetParam().command, kDamaged}));
  EXPECT_EQ(1, result.exitCode) << result.err;
  EXPECT_NE(std::string::npos, result.err.find("Fehler: Die ")) << result.err;
  EXPECT_NE(std::string::npos, result.err.find(GetParam().error)) << result.err;
  EXPECT_NE(std::string::npos, result.err.find("NTUSER.DAT")) << "names the file: " << result.err;
  // An empty Brindel folder may be left from a backup that could not start.
  auto after = Snapshot(dir_);
  after.erase("docs/Brindel");
  EXPECT_EQ(before, after);
}

INSTANTIATE_TEST_SUITE_P(Files, CliBadHiveTest, ::testing::ValuesIn(kBadHives),
                         [](const auto& row) { return std::string(row.param.name); });

TEST_F(CliHiveTest, DirtyHiveStillReadsWithANotice) {
  Patch(user_, [](Bytes& bytes) {
    SetLE32(bytes, 4, GetLE32(bytes, 4) + 1);
    FixChecksum(bytes);
  });
  const auto before = Snapshot(dir_);
  const ProcessResult result = Run(Hives({"analyse", kDamaged}));
  EXPECT_EQ(0, result.exitCode) << result.err;
  EXPECT_EQ(0u, result.err.find("Information: Die Hive-Datei ")) << result.err;
  EXPECT_NE(std::string::npos, result.err.find("nur zum Lesen")) << result.err;
  EXPECT_NE(std::string::npos, result.out.find("5a89cc3fa6d8fe64d70c612c73cdcb86"));
  EXPECT_EQ(before, Snapshot(dir_));
}

}  // namespace
}  // namespace brindel::cli
