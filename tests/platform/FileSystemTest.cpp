#include "platform/FileSystem.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace brindel::platform {
namespace {

namespace fs = std::filesystem;

class FileSystemTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("brindel-fs-" +
            std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override {
    fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add);
    fs::remove_all(dir_);
  }
  std::string Path(const std::string& name) const { return (dir_ / name).string(); }
  static void Write(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
  }
  static std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  fs::path dir_;
};

TEST_F(FileSystemTest, ExistenceFollowsLinks) {
  Write(Path("file"), "x");
  std::error_code error;
  fs::create_symlink(Path("file"), Path("link"), error);
  if (error) {
    // Windows lets only privileged users make links, and Wine cannot make them.
    GTEST_SKIP() << "no symbolic links here: " << error.message();
  }
  fs::create_directory_symlink(dir_, Path("dirlink"));
  EXPECT_TRUE(FileExists(Path("link")));
  EXPECT_FALSE(FileExists(Path("dirlink")));
  EXPECT_TRUE(DirectoryExists(Path("dirlink")));
  EXPECT_FALSE(FileExists(Path("missing")));
}

TEST_F(FileSystemTest, CreateDirectoryMakesOneLevelOnly) {
  EXPECT_FALSE(CreateDirectory(Path("a/b")));
  EXPECT_TRUE(CreateDirectory(Path("a")));
  EXPECT_TRUE(DirectoryExists(Path("a")));
  EXPECT_FALSE(CreateDirectory(Path("a"))) << "it exists already";
}

TEST_F(FileSystemTest, CopyNeverOverwrites) {
  Write(Path("from"), "new");
  Write(Path("to"), "old");
  EXPECT_FALSE(CopyFileNoOverwrite(Path("from"), Path("to")));
  EXPECT_EQ("old", Read(Path("to")));
  EXPECT_TRUE(CopyFileNoOverwrite(Path("from"), Path("fresh")));
  EXPECT_EQ("new", Read(Path("fresh")));
  EXPECT_FALSE(CopyFileNoOverwrite(Path("missing"), Path("other")));
  EXPECT_FALSE(FileExists(Path("other")));
}

TEST_F(FileSystemTest, ReadOnlyFileIsReplacedAfterClearingItsAttribute) {
  Write(Path("backup.reg"), "old");
  ASSERT_TRUE(SetReadOnly(Path("backup.reg"), true));
  EXPECT_TRUE(IsReadOnly(Path("backup.reg")));
  ClearFileAttributes(Path("backup.reg"));
  EXPECT_FALSE(IsReadOnly(Path("backup.reg")));
  EXPECT_TRUE(WriteFileReplacing(Path("backup.reg"), "new"));
  EXPECT_EQ("new", Read(Path("backup.reg")));
  EXPECT_FALSE(FileExists(TemporaryFileOf(Path("backup.reg"))));
}

// The temporary file's name has a fixed length, so that a target whose name just fits
// the system's limit can be written, and it differs from target to target.
TEST_F(FileSystemTest, TemporaryNameDoesNotGrowWithTheTarget) {
  const std::string longName = std::string(251, 'x') + ".reg";  // 255 bytes, the most
  EXPECT_TRUE(WriteFileReplacing(Path(longName), "lang"));
  EXPECT_EQ("lang", Read(Path(longName)));
  EXPECT_EQ(TemporaryFileOf(Path("a.reg")).size(), TemporaryFileOf(Path(longName)).size());
  EXPECT_NE(TemporaryFileOf(Path("a.reg")), TemporaryFileOf(Path("a.log")));
  EXPECT_EQ(0u, TemporaryFileOf(Path("a.reg")).find(Path("")));
}

TEST_F(FileSystemTest, FailedWriteLeavesTheOldFile) {
  Write(Path("log"), "old");
  // The new file cannot be made: a folder stands where it would go.
  fs::create_directory(TemporaryFileOf(Path("log")));
  EXPECT_FALSE(WriteFileReplacing(Path("log"), "new"));
  EXPECT_EQ("old", Read(Path("log")));
}

TEST_F(FileSystemTest, LeftoverOfAKilledWriteIsRemoved) {
  Write(Path("backup.reg"), "old");
  Write(TemporaryFileOf(Path("backup.reg")), "half");
  EXPECT_TRUE(RemoveLeftoverOf(Path("backup.reg")));
  EXPECT_FALSE(FileExists(TemporaryFileOf(Path("backup.reg"))));
  EXPECT_EQ("old", Read(Path("backup.reg")));
  EXPECT_TRUE(RemoveLeftoverOf(Path("backup.reg"))) << "none left is fine";
  // Only a file is removed, never a folder of that name.
  fs::create_directory(TemporaryFileOf(Path("log")));
  EXPECT_FALSE(RemoveLeftoverOf(Path("log")));
  EXPECT_TRUE(DirectoryExists(TemporaryFileOf(Path("log"))));
}

TEST_F(FileSystemTest, ReadFileBytesGivesEveryByte) {
  std::string bytes(200000, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i)
    bytes[i] = static_cast<char>(i * 7);
  Write(Path("big"), bytes);
  EXPECT_EQ(bytes, ReadFileBytes(Path("big")));
  Write(Path("empty"), "");
  EXPECT_EQ(std::string(), ReadFileBytes(Path("empty")));
  EXPECT_EQ(std::nullopt, ReadFileBytes(Path("missing")));
  EXPECT_EQ(std::nullopt, ReadFileBytes(dir_.string())) << "a folder is no file";
}

// Each refusal says why, and the sentence names the file.
TEST_F(FileSystemTest, ReadFileBytesSaysWhyItReadNothing) {
  Write(Path("ten"), "0123456789");
  TReadRefusal why = TReadRefusal::Unreadable;
  EXPECT_EQ("0123456789", ReadFileBytes(Path("ten"), 10, &why));
  EXPECT_EQ(TReadRefusal::None, why);
  EXPECT_EQ(std::nullopt, ReadFileBytes(Path("ten"), 9, &why));
  EXPECT_EQ(TReadRefusal::TooLarge, why);
  EXPECT_EQ(std::nullopt, ReadFileBytes(Path("missing"), kAnyFileSize, &why));
  EXPECT_EQ(TReadRefusal::Missing, why);
  EXPECT_EQ(std::nullopt, ReadFileBytes(dir_.string(), kAnyFileSize, &why));
  EXPECT_EQ(TReadRefusal::NotAFile, why);

  EXPECT_EQ(
      u"„a.reg“ ist keine gewöhnliche Datei, sondern ein Ordner, eine Pipe oder ein "
      u"Gerät, und wird nicht gelesen.",
      ReadRefusalText(TReadRefusal::NotAFile, u"a.reg"));
  EXPECT_EQ(u"Die Datei „a.reg“ wurde nicht gefunden.",
            ReadRefusalText(TReadRefusal::Missing, u"a.reg"));
  EXPECT_EQ(u"Die Datei „a.reg“ ist zu groß.", ReadRefusalText(TReadRefusal::TooLarge, u"a.reg"));
}

struct NameCase {
  const char* name;
  const char16_t* text;
  bool plain;
};

class PlainFileNameTest : public ::testing::TestWithParam<NameCase> {};

TEST_P(PlainFileNameTest, Decides) {
  EXPECT_EQ(GetParam().plain, IsPlainFileName(GetParam().text));
}

const NameCase kNameCases[] = {
    {"ordinary", u"Outlook", true},
    {"umlauts_blanks", u"Büro Müller", true},
    {"brackets", u"Test[pq]", true},
    {"inner_dots", u"a..b", true},
    {"empty", u"", false},
    {"dot", u".", false},
    {"dotdot", u"..", false},
    {"slash", u"../../etc", false},
    {"backslash", u"a\\b", false},
    {"control", u"a\tb", false},
#ifdef _WIN32
    {"device", u"CON", false},
    {"device_extension", u"lpt1.txt", false},
    {"trailing_dot", u"Outlook.", false},
    {"colon", u"C:x", false},
    {"pipe", u"Test[|u1", false},
#else
    {"pipe_allowed_here", u"Test[|u1", true},
#endif
};

INSTANTIATE_TEST_SUITE_P(Names, PlainFileNameTest, ::testing::ValuesIn(kNameCases),
                         [](const auto& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace brindel::platform
