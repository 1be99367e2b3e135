// Links on a mounted Windows disk are followed as that Windows would follow them: the
// root is "/", an absolute link starts there and ".." stops there. Each case runs both
// ways the program resolves: by the kernel (openat2 with RESOLVE_IN_ROOT) and by its
// own walk, one name at a time.

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "platform/FileError.h"
#include "platform/FileSystem.h"
#include "platform/HeldFile.h"
#include "platform/InRoot.h"
#include "platform/NewFile.h"
#include "platform/Text.h"
#include "platform/WindowsPath.h"
#include "support/Files.h"

namespace brindel::platform {
namespace {

namespace fs = std::filesystem;
using test::ReadWholeFile;

enum class Way { System, Walk };

// Every file below a folder with its bytes, to see that nothing outside the root
// changed.
std::map<std::string, std::string> Contents(const fs::path& folder) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    files[fs::relative(entry.path(), folder).string()] =
        entry.is_regular_file() ? ReadWholeFile(entry.path()) : "<folder>";
  }
  return files;
}

// A disk mounted at root/ and, beside it, the rescue system's own files in outside/.
// The disk's links point every way a hostile or an odd disk could make them.
class InRootTest : public ::testing::TestWithParam<Way> {
 protected:
  void SetUp() override {
    dir_ = MakeTemporaryFolder("brindel-inroot-").value();
    root_ = dir_ / "root";
    outside_ = dir_ / "outside";
    fs::create_directories(root_ / "sub");
    fs::create_directories(root_ / "real");
    fs::create_directories(outside_ / "folder");
    Write(outside_ / "secret.txt", "geheim");
    Write(root_ / "inside.txt", "drinnen");
    Write(root_ / "real" / "file.txt", "echt");
    const std::string secret = (outside_ / "secret.txt").string();
    Link(secret, "abs-out");
    Link("../outside/secret.txt", "rel-out");
    Link("../../../../../../../../../../.." + secret, "deep-out");
    Link("chain-2", "chain");
    Link(secret, "chain-2");
    Link("loop-b", "loop-a");
    Link("loop-a", "loop-b");
    Link("/inside.txt", "abs-in");
    Link("../../inside.txt", "sub/rel-in");
    Link("/sub/../../../real", "dir-in");
    Link(outside_ / "folder", "dir-out");
    Link("../outside/folder", "dir-rel-out");
    before_ = Contents(outside_);
    SetWindowsRoot(root_.string());
    detail::UseSystemResolution(GetParam() == Way::System);
  }
  void TearDown() override {
    SetWindowsRoot("");
    detail::UseSystemResolution(true);
    EXPECT_EQ(before_, Contents(outside_)) << "the rescue system's files are as they were";
    fs::remove_all(dir_);
  }
  static void Write(const fs::path& file, const std::string& text) {
    std::ofstream(file, std::ios::binary) << text;
  }
  void Link(const fs::path& target, const std::string& name) const {
    fs::create_symlink(target, root_ / name);
  }
  std::string In(const std::string& name) const { return (root_ / name).string(); }

  fs::path dir_;
  fs::path root_;
  fs::path outside_;
  std::map<std::string, std::string> before_;
};

struct ReadCase {
  const char* name;
  const char* path;      // below the root
  const char* expected;  // what reading it gives; null: nothing
};

const ReadCase kReads[] = {
    {"absolute_link_out", "abs-out", nullptr},
    {"relative_link_out", "rel-out", nullptr},
    {"many_dots_out", "deep-out", nullptr},
    {"chain_out", "chain", nullptr},
    {"loop", "loop-a", nullptr},
    {"folder_link_out", "dir-out/../secret.txt", nullptr},
    {"relative_folder_link_out", "dir-rel-out/../secret.txt", nullptr},
    {"dots_in_the_path", "sub/../../../outside/secret.txt", nullptr},
    {"absolute_link_in", "abs-in", "drinnen"},
    {"relative_link_in", "sub/rel-in", "drinnen"},
    {"folder_link_in", "dir-in/file.txt", "echt"},
    {"dots_stop_at_the_root", "../../inside.txt", "drinnen"},
};

class InRootReadTest : public InRootTest {};

TEST_P(InRootReadTest, EveryReadStaysInTheRoot) {
  for (const ReadCase& read : kReads) {
    SCOPED_TRACE(read.name);
    const std::string path = In(read.path);
    const auto bytes = ReadFileBytes(path);
    const auto size = FileSize(path);
    if (read.expected == nullptr) {
      EXPECT_FALSE(bytes.has_value()) << *bytes;
      EXPECT_FALSE(size.has_value());
      EXPECT_FALSE(FileExists(path));
      EXPECT_FALSE(IdentityOf(path).has_value());
      HeldFile::Refusal refusal = HeldFile::Refusal::None;
      EXPECT_EQ(nullptr, HeldFile::Open(path, HeldFile::Use::Read, refusal));
    } else {
      ASSERT_TRUE(bytes.has_value()) << ToUtf8(LastFileErrorText());
      EXPECT_EQ(read.expected, *bytes);
      EXPECT_EQ(std::string(read.expected).size(), size.value_or(0));
      EXPECT_TRUE(FileExists(path));
    }
  }
}

TEST_P(InRootReadTest, ALoopIsNamedAsSuch) {
  errno = 0;
  EXPECT_FALSE(ReadFileBytes(In("loop-a")).has_value());
  EXPECT_EQ(ELOOP, errno);
}

TEST_P(InRootReadTest, TheRegistrysPathsAreFoundThroughLinksWithinTheRoot) {
  EXPECT_EQ(In("real/file.txt"), LocalPathOf(u"C:\\DIR-IN\\File.TXT").value_or(""));
  EXPECT_EQ(In("inside.txt"), LocalPathOf(u"C:\\Sub\\REL-IN").value_or(""));
  EXPECT_EQ(std::nullopt, LocalPathOf(u"C:\\abs-out"));
  EXPECT_EQ(std::nullopt, LocalPathOf(u"C:\\dir-out\\..\\secret.txt"));
  EXPECT_EQ(std::nullopt, LocalPathOf(u"C:\\..\\outside\\secret.txt"));
  EXPECT_EQ(std::nullopt, LocalPathOf(u"C:\\loop-a"));
}

INSTANTIATE_TEST_SUITE_P(Ways, InRootReadTest, ::testing::Values(Way::System, Way::Walk),
                         [](const auto& row) {
                           return std::string(row.param == Way::System ? "System" : "Walk");
                         });

class InRootWriteTest : public InRootTest {};

// The backup folder, the backups and the log are written below the root: through a
// link that leads out of it nothing is written outside.
TEST_P(InRootWriteTest, NothingIsWrittenOutsideTheRoot) {
  for (const char* folder : {"dir-out", "dir-rel-out"}) {
    SCOPED_TRACE(folder);
    const std::string brindel = In(std::string(folder) + "/Brindel");
    EXPECT_FALSE(DirectoryExists(In(folder)));
    EXPECT_FALSE(CreateDirectory(brindel));
    EXPECT_FALSE(WriteFileReplacing(In(std::string(folder) + "/neu.reg"), "REGEDIT4\r\n"));
    EXPECT_FALSE(CopyFileNoOverwrite(In("inside.txt"), In(std::string(folder) + "/kopie.txt")));
    EXPECT_FALSE(CopyFileReplacing(In("inside.txt"), In(std::string(folder) + "/kopie.txt")));
    EXPECT_EQ(nullptr, NewFile::CreateUnique(In(folder), ".brindel-", nullptr));
    EXPECT_EQ(nullptr, NewFile::Create(In(std::string(folder) + "/neu.tmp")));
  }
  // Marking read-only or deleting through a link changes only what is in the root.
  EXPECT_FALSE(SetReadOnly(In("abs-out"), true));
  EXPECT_TRUE(DeleteFile(In("chain-2"))) << "the link itself goes";
  EXPECT_FALSE(fs::is_symlink(root_ / "chain-2"));
}

// A file in the place of a link to a file outside takes the link's place; the file it
// pointed to stays as it was.
TEST_P(InRootWriteTest, ALinkInTheTargetsPlaceIsReplacedNotFollowed) {
  EXPECT_TRUE(WriteFileReplacing(In("abs-out"), "neu"));
  EXPECT_FALSE(fs::is_symlink(root_ / "abs-out"));
  EXPECT_EQ("neu", ReadWholeFile(root_ / "abs-out"));
  EXPECT_TRUE(CopyFileReplacing(In("inside.txt"), In("rel-out")));
  EXPECT_EQ("drinnen", ReadWholeFile(root_ / "rel-out"));
  EXPECT_TRUE(ReplaceFile(In("real/file.txt"), In("deep-out")));
  EXPECT_EQ("echt", ReadWholeFile(root_ / "deep-out"));
}

TEST_P(InRootWriteTest, LinksWithinTheRootAreFollowed) {
  EXPECT_TRUE(CreateDirectory(In("dir-in/Brindel")));
  EXPECT_TRUE(fs::is_directory(root_ / "real" / "Brindel"));
  EXPECT_TRUE(WriteFileReplacing(In("dir-in/Brindel/Outlook.reg"), "REGEDIT4\r\n"));
  EXPECT_EQ("REGEDIT4\r\n", ReadWholeFile(root_ / "real" / "Brindel" / "Outlook.reg"));
  const auto unique = NewFile::CreateUnique(In("dir-in"), ".brindel-", nullptr);
  ASSERT_NE(nullptr, unique);
  EXPECT_TRUE(fs::is_regular_file(root_ / "real" / unique->Path().filename()));
}

INSTANTIATE_TEST_SUITE_P(Ways, InRootWriteTest, ::testing::Values(Way::System, Way::Walk),
                         [](const auto& row) {
                           return std::string(row.param == Way::System ? "System" : "Walk");
                         });

// Outside the root a link is what it always was.
TEST(InRootOutsideTest, PathsOutsideTheRootFollowTheSystem) {
  const fs::path dir = MakeTemporaryFolder("brindel-inroot-").value();
  fs::create_directories(dir / "root");
  std::ofstream(dir / "file.txt") << "x";
  fs::create_symlink(dir / "file.txt", dir / "link");
  SetWindowsRoot((dir / "root").string());
  EXPECT_EQ("x", ReadFileBytes((dir / "link").string()).value_or(""));
  EXPECT_FALSE(BelowWindowsRoot((dir / "link").string()));
  EXPECT_FALSE(BelowWindowsRoot((dir / "rootless").string()));
  EXPECT_TRUE(BelowWindowsRoot((dir / "root").string()));
  EXPECT_TRUE(BelowWindowsRoot((dir / "root" / "x").string()));
  SetWindowsRoot("");
  fs::remove_all(dir);
}

}  // namespace
}  // namespace brindel::platform
