// brindel-cli.exe on the live registry: a .reg file imported into the registry of the
// logged-on user, then analysed and repaired where it stands. The same file loaded
// with --reg into a registry in memory must give the same log, the same backup and
// the same tree afterwards, so that what the Linux build shows of a profile is what
// the Windows build does to it.

#include "registry/store/Win32Store.h"

namespace {
// Taken before <windows.h> turns the name into its own macro.
constexpr auto kCurrentUser = brindel::registry::store::HKEY_CURRENT_USER;
}  // namespace

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "platform/Text.h"
#include "platform/Wine.h"
#include "support/Process.h"

namespace brindel::cli {
namespace {

namespace fs = std::filesystem;
using registry::store::Win32Store;
using test::ProcessResult;
using test::ReadWholeFile;

const std::string kCli = BRINDEL_CLI;
constexpr const char* kDamaged = "B\xC3\xBCro";  // "Büro" in UTF-8
constexpr const char* kDemoTree = "Software\\Microsoft\\Office\\16.0\\Outlook\\Profiles";

// A .reg text's keys, each with its lines; values in the order the file has them.
using RegSections = std::map<std::string, std::vector<std::string>>;

RegSections Sections(const std::string& text) {
  RegSections sections;
  std::istringstream in(text);
  std::string line;
  std::string key;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r')
      line.pop_back();
    if (!line.empty() && line.front() == '[') {
      key = line;
      sections[key];
    } else if (!line.empty() && !key.empty()) {
      sections[key].push_back(line);
    }
  }
  return sections;
}

// Windows keeps values in the order they were written, Wine sorts them by name. The
// known Wine difference is compared as such: same keys, same value lines, each key's
// lines in Wine's order; on Windows the files must be the same bytes.
void ExpectSameExport(const std::string& memory, const std::string& live) {
  if (!platform::RunningOnWine()) {
    EXPECT_EQ(memory, live);
    return;
  }
  RegSections expected = Sections(memory);
  RegSections actual = Sections(live);
  for (auto& [key, lines] : expected)
    std::sort(lines.begin(), lines.end());
  for (auto& [key, lines] : actual)
    std::sort(lines.begin(), lines.end());
  EXPECT_EQ(expected, actual);
}

std::string Replace(std::string text, const std::string& from, const std::string& to) {
  for (std::size_t at = text.find(from); at != std::string::npos;
       at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

class CliLiveRegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string unique = std::to_string(::GetCurrentProcessId());
    scratch_ = "Software\\BrindelTest\\Cli-" + unique;
    tree_ = scratch_ + "\\Profiles";
    dir_ = fs::temp_directory_path() / ("brindel-live-" + unique);
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "live");
    fs::create_directories(dir_ / "memory");
    // The demo's profiles, moved below a key of this test.
    const ProcessResult exported =
        Run({"--demo", "export", std::string("HKEY_CURRENT_USER\\") + kDemoTree, Path("demo.reg")});
    ASSERT_EQ(0, exported.exitCode) << exported.err;
    std::ofstream(dir_ / "profiles.reg", std::ios::binary)
        << Replace(ReadWholeFile(dir_ / "demo.reg"), kDemoTree, tree_);
  }
  void TearDown() override {
    Win32Store live;
    live.DeleteTree(kCurrentUser, platform::FromUtf8(scratch_));
    fs::remove_all(dir_);
  }

  ProcessResult Run(std::vector<std::string> args) { return test::RunProcess(kCli, args); }
  std::string Path(const std::string& name) const { return (dir_ / name).string(); }
  std::string LiveTree() const { return "HKEY_CURRENT_USER\\" + tree_; }

  std::string scratch_;
  std::string tree_;
  fs::path dir_;
};

TEST_F(CliLiveRegistryTest, ImportAnalyseAndRepairEqualTheRunInMemory) {
  const ProcessResult imported = Run({"import", Path("profiles.reg")});
  ASSERT_EQ(0, imported.exitCode) << imported.err;

  for (const char* command : {"analyse", "repair"}) {
    SCOPED_TRACE(command);
    const ProcessResult memory = Run({"--reg", Path("profiles.reg"), "--profiles-tree", tree_,
                                      "--outlook-version", "16", "--documents", Path("memory"),
                                      "--save-reg", Path("memory-after.reg"), command, kDamaged});
    const ProcessResult live = Run({"--profiles-tree", tree_, "--outlook-version", "16",
                                    "--documents", Path("live"), command, kDamaged});
    ASSERT_EQ(0, memory.exitCode) << memory.err;
    ASSERT_EQ(0, live.exitCode) << live.err;
    EXPECT_EQ(memory.out, live.out) << "the log";
    EXPECT_EQ(memory.err, live.err);
  }

  const fs::path memoryFolder = dir_ / "memory" / "Brindel";
  const fs::path liveFolder = dir_ / "live" / "Brindel";
  for (const std::string& name : {std::string(kDamaged) + ".log"}) {
    const std::u16string wide = platform::FromUtf8(name);
    EXPECT_EQ(ReadWholeFile(memoryFolder / fs::path(wide)),
              ReadWholeFile(liveFolder / fs::path(wide)))
        << name;
  }
  for (const std::string& name :
       {std::string(kDamaged) + ".reg", std::string(kDamaged) + "-original.reg"}) {
    SCOPED_TRACE(name);
    const std::u16string wide = platform::FromUtf8(name);
    const std::string live = ReadWholeFile(liveFolder / fs::path(wide));
    ASSERT_FALSE(live.empty());
    ExpectSameExport(ReadWholeFile(memoryFolder / fs::path(wide)), live);
  }

  // The tree afterwards: the live registry exported next to the memory run's result.
  ASSERT_EQ(0, Run({"export", LiveTree(), Path("live-after.reg")}).exitCode);
  ASSERT_EQ(0,
            Run({"--reg", Path("memory-after.reg"), "export", LiveTree(), Path("memory-tree.reg")})
                .exitCode);
  const std::string after = ReadWholeFile(dir_ / "live-after.reg");
  EXPECT_NE(std::string::npos, after.find("\\Outlook\\0a0d020000000000c000000000000046]"));
  EXPECT_EQ(std::string::npos, after.find("\\B\xFCro\\5a89cc3fa6d8fe64d70c612c73cdcb86]"))
      << "the unused section is gone from the live registry";
  ExpectSameExport(ReadWholeFile(dir_ / "memory-tree.reg"), after);
}

// Hive files open on Windows too; one that is not there is named in a German error.
TEST_F(CliLiveRegistryTest, HiveOptionsNameAMissingFile) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--hive", "HKCU=" + Path("NTUSER.DAT"), "profiles"},
        std::vector<std::string>{"--windows-root", Path("Laufwerk"), "--user", "Anna",
                                 "profiles"}}) {
    SCOPED_TRACE(args.front());
    const ProcessResult result = Run(args);
    EXPECT_EQ(1, result.exitCode);
    EXPECT_EQ(0u, result.err.find("Fehler: ")) << result.err;
    EXPECT_NE(std::string::npos,
              result.err.find(args[0] == "--hive" ? "wurde nicht gefunden" : "gibt es nicht"))
        << result.err;
    EXPECT_EQ("", result.out);
  }
}

}  // namespace
}  // namespace brindel::cli
