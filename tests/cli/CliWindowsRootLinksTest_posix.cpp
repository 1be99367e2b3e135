// A mounted Windows disk whose links point out of it, as a hostile or an odd disk
// could make them: brindel-cli reads nothing outside the root and writes nothing
// there. Each link is taken as that Windows would take it, with the root as "/". (The
// loops end in "not found" with or without the root: they guard the program's own
// walk, which must stop as the kernel stops.)

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/Text.h"
#include "support/Files.h"
#include "tests/cli/WindowsDisk.h"
#include "tests/registry/store/hive/HiveTestSupport.h"

namespace brindel::cli {
namespace {

namespace fs = std::filesystem;
using ProcessResult = registry::store::testing::RunResult;
using test::ReadWholeFile;

const std::string kCli = BRINDEL_CLI;
constexpr const char* kDamaged = "B\xC3\xBCro";

std::map<std::string, std::string> Snapshot(const fs::path& folder) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    files[fs::relative(entry.path(), folder).string()] = entry.is_symlink() ? "<link>"
                                                         : entry.is_regular_file()
                                                             ? ReadWholeFile(entry.path())
                                                             : "<folder>";
  }
  return files;
}

// The disk at root/, and beside it the rescue system's own files: a real OUTLOOK.EXE,
// a SOFTWARE hive with an installation and a folder the user's files could land in.
class CliWindowsRootLinksTest : public ::testing::Test {
 public:
  void SetUp() override {
    test::MakeWindowsDisk(root_, {{"anna", true, "S-1-5-21-7-7-7-1001"}});
    test::MakeWindowsDisk(outside_ / "disk", {{"anna", true, "S-1-5-21-7-7-7-1001"}});
    fs::create_directories(outside_ / "documents");
    before_ = Snapshot(outside_);
  }
  void TearDown() override {
    EXPECT_EQ(before_, Snapshot(outside_)) << "nothing outside the root was written";
  }
  ProcessResult Run(std::vector<std::string> command) {
    std::vector<std::string> args{"--windows-root", root_.string(), "--user", "anna"};
    args.insert(args.end(), command.begin(), command.end());
    return registry::store::testing::RunProgram(kCli, args);
  }
  // Puts a link at `place` below the root; the target as written.
  void Link(const std::string& place, const fs::path& target) {
    fs::remove_all(root_ / place);
    fs::create_symlink(target, root_ / place);
  }
  fs::path Outside(const std::string& name) const { return outside_ / name; }
  // A relative target that climbs far enough to leave the root on this system.
  std::string Climbing(const fs::path& target) const {
    std::string up;
    for (int i = 0; i < 30; ++i)
      up += "../";
    return up + target.relative_path().string();
  }

  registry::store::testing::TempFolder folder_{"brindel-links-"};
  fs::path root_ = folder_.Path() / "mnt";
  fs::path outside_ = folder_.Path() / "host";
  std::map<std::string, std::string> before_;
};

constexpr const char* kExe = "Program Files/Microsoft Office/root/Office16/OUTLOOK.EXE";
constexpr const char* kSoftware = "Windows/System32/config/SOFTWARE";

struct LinkCase {
  const char* name;
  // Makes the links of the case, in the disk under test.
  std::function<void(CliWindowsRootLinksTest&)> make;
};

void PrintTo(const LinkCase& row, std::ostream* out) {
  *out << row.name;
}

class CliReadLinksTest : public CliWindowsRootLinksTest,
                         public ::testing::WithParamInterface<LinkCase> {};

// OUTLOOK.EXE and the SOFTWARE hive are read only where the disk has them: a link to
// the rescue system's copies finds no installation.
TEST_P(CliReadLinksTest, TheInstallationIsNotReadFromOutsideTheRoot) {
  GetParam().make(*this);
  const ProcessResult result = Run({"versions"});
  EXPECT_EQ(1, result.exitCode) << result.out;
  EXPECT_EQ("", result.out);
  EXPECT_NE(std::string::npos, result.err.find("Fehler: ")) << result.err;
}

INSTANTIATE_TEST_SUITE_P(
    Links, CliReadLinksTest,
    ::testing::Values(
        LinkCase{
            "exe_absolute",
            [](CliWindowsRootLinksTest& disk) { disk.Link(kExe, disk.Outside("disk") / kExe); }},
        LinkCase{"exe_relative",
                 [](CliWindowsRootLinksTest& disk) {
                   disk.Link(kExe, disk.Climbing(disk.Outside("disk") / kExe));
                 }},
        LinkCase{"exe_chain",
                 [](CliWindowsRootLinksTest& disk) {
                   disk.Link("Program Files/Microsoft Office/root/Office16/outlook-2.exe",
                             disk.Outside("disk") / kExe);
                   disk.Link(kExe, "outlook-2.exe");
                 }},
        LinkCase{"exe_loop",
                 [](CliWindowsRootLinksTest& disk) {
                   disk.Link("loop", "/Program Files/Microsoft Office/root/Office16/OUTLOOK.EXE");
                   disk.Link(kExe, "/loop");
                 }},
        LinkCase{"office_folder_absolute",
                 [](CliWindowsRootLinksTest& disk) {
                   disk.Link("Program Files", disk.Outside("disk") / "Program Files");
                 }},
        LinkCase{"software_hive_absolute",
                 [](CliWindowsRootLinksTest& disk) {
                   disk.Link(kSoftware, disk.Outside("disk") / kSoftware);
                 }},
        LinkCase{"config_folder_relative",
                 [](CliWindowsRootLinksTest& disk) {
                   disk.Link(
                       "Windows/System32/config",
                       "../../" + disk.Climbing(disk.Outside("disk") / "Windows/System32/config"));
                 }}),
    [](const auto& row) { return std::string(row.param.name); });

class CliWriteLinksTest : public CliWindowsRootLinksTest,
                          public ::testing::WithParamInterface<LinkCase> {};

// The backups and the log go below the root or nowhere: a documents folder that leads
// out of it fails the backup, and the hive keeps every byte.
TEST_P(CliWriteLinksTest, TheBackupsAreNotWrittenOutsideTheRoot) {
  GetParam().make(*this);
  const std::string hive = ReadWholeFile(root_ / "Users" / "anna" / "NTUSER.DAT");
  const ProcessResult result = Run({"repair", kDamaged});
  EXPECT_EQ(1, result.exitCode) << result.err;
  EXPECT_NE(std::string::npos, result.err.find("Daten können NICHT gelöscht werden")) << result.err;
  EXPECT_EQ(hive, ReadWholeFile(root_ / "Users" / "anna" / "NTUSER.DAT"));
}

INSTANTIATE_TEST_SUITE_P(
    Links, CliWriteLinksTest,
    ::testing::Values(LinkCase{"documents_absolute",
                               [](CliWindowsRootLinksTest& disk) {
                                 disk.Link("Users/anna/Documents", disk.Outside("documents"));
                               }},
                      LinkCase{"documents_relative",
                               [](CliWindowsRootLinksTest& disk) {
                                 disk.Link("Users/anna/Documents",
                                           disk.Climbing(disk.Outside("documents")));
                               }},
                      LinkCase{"documents_chain",
                               [](CliWindowsRootLinksTest& disk) {
                                 disk.Link("Users/anna/Documents", "Dokumente");
                                 disk.Link("Users/anna/Dokumente", disk.Outside("documents"));
                               }},
                      LinkCase{"documents_loop",
                               [](CliWindowsRootLinksTest& disk) {
                                 disk.Link("Users/anna/Documents", "Dokumente");
                                 disk.Link("Users/anna/Dokumente", "/Users/anna/Documents");
                               }},
                      LinkCase{"backup_folder_absolute",
                               [](CliWindowsRootLinksTest& disk) {
                                 disk.Link("Users/anna/Documents/Brindel",
                                           disk.Outside("documents"));
                               }}),
    [](const auto& row) { return std::string(row.param.name); });

// A link within the root leads where it leads on that Windows: an absolute one from
// the root.
TEST_F(CliWindowsRootLinksTest, LinksWithinTheRootAreFollowedFromTheRoot) {
  fs::create_directories(root_ / "Daten" / "anna");
  Link("Users/anna/Documents", "/Daten/anna");
  const ProcessResult result = Run({"repair", kDamaged});
  ASSERT_EQ(0, result.exitCode) << result.err;
  EXPECT_TRUE(fs::exists(root_ / "Daten" / "anna" / "Brindel" /
                         fs::path(platform::FromUtf8(std::string(kDamaged) + ".log"))));
}

// restore reads the first backup below the root: one that is a link to a file outside
// is not there.
TEST_F(CliWindowsRootLinksTest, RestoreReadsNoBackupFromOutsideTheRoot) {
  // A real first backup of the profile, on the rescue system.
  fs::create_directories(Outside("backups"));
  const ProcessResult made = registry::store::testing::RunProgram(
      kCli, {"--windows-root", Outside("disk").string(), "--user", "anna", "--documents",
             Outside("backups").string(), "repair", kDamaged});
  ASSERT_EQ(0, made.exitCode) << made.err;
  before_ = Snapshot(outside_);
  fs::create_directories(root_ / "Users" / "anna" / "Documents" / "Brindel");
  const std::string first = std::string(kDamaged) + "-original.reg";
  Link("Users/anna/Documents/Brindel/" + first, Outside("backups") / "Brindel" / first);
  const std::string hive = ReadWholeFile(root_ / "Users" / "anna" / "NTUSER.DAT");
  const ProcessResult result = Run({"restore", kDamaged});
  EXPECT_EQ(1, result.exitCode) << result.err;
  EXPECT_NE(std::string::npos, result.err.find("wurde nicht gefunden")) << result.err;
  EXPECT_EQ(hive, ReadWholeFile(root_ / "Users" / "anna" / "NTUSER.DAT"));
}

// What the technician writes below the root (export, --save-reg) stays in it: a link
// in the file's place is replaced, a folder that leads out is not written through.
TEST_F(CliWindowsRootLinksTest, ExportsBelowTheRootStayInIt) {
  Link("Users/anna/Documents", Outside("documents"));
  fs::create_directories(root_ / "Daten");
  Link("Daten/profil.reg", Outside("disk") / kExe);
  const ProcessResult through = Run(
      {"export", "HKEY_CURRENT_USER\\Software", (root_ / "Users/anna/Documents/x.reg").string()});
  EXPECT_EQ(1, through.exitCode) << through.err;
  const ProcessResult onto = Run({"--save-reg", (root_ / "Daten/profil.reg").string(), "profiles"});
  EXPECT_EQ(0, onto.exitCode) << onto.err;
  EXPECT_FALSE(fs::is_symlink(root_ / "Daten/profil.reg"));
  EXPECT_EQ(0u, ReadWholeFile(root_ / "Daten/profil.reg").find("REGEDIT4"));
}

// A user folder that is a link out of the root is not that user's: the NTUSER.DAT
// there is not opened.
TEST_F(CliWindowsRootLinksTest, AUserFolderOutsideTheRootIsNoUser) {
  Link("Users/anna", Outside("disk") / "Users" / "anna");
  const ProcessResult result = Run({"profiles"});
  EXPECT_EQ(1, result.exitCode) << result.out;
  EXPECT_NE(std::string::npos, result.err.find("Einen Benutzer „anna“")) << result.err;
}

}  // namespace
}  // namespace brindel::cli
