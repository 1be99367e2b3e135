// Where the documents folder is found off Windows: the XDG rules.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/DocumentsFolder.h"
#include "support/Environment.h"
#include "support/Fifo.h"

namespace brindel::platform {
namespace {

using test::ScopedEnv;

class DocumentsFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("brindel-docs-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
            "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir_ / "config");
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  void UserDirs(const std::string& text) {
    std::ofstream(dir_ / "config" / "user-dirs.dirs") << text;
  }

  std::filesystem::path dir_;
  ScopedEnv direct_{"XDG_DOCUMENTS_DIR", nullptr};
  ScopedEnv home_{"HOME", "/home/anna"};
};

TEST_F(DocumentsFolderTest, EnvironmentVariableComesFirst) {
  ScopedEnv direct("XDG_DOCUMENTS_DIR", "/daten/Dokumente");
  EXPECT_EQ(u"/daten/Dokumente", DocumentsFolder());
}

TEST_F(DocumentsFolderTest, UserDirsRelativeToHome) {
  ScopedEnv configDir("XDG_CONFIG_HOME", (dir_ / "config").c_str());
  UserDirs(
      "# written by xdg-user-dirs-update\nXDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n"
      "XDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n");
  EXPECT_EQ(u"/home/anna/Dokumente", DocumentsFolder());
}

TEST_F(DocumentsFolderTest, HomeDocumentsWithoutUserDirs) {
  ScopedEnv configDir("XDG_CONFIG_HOME", (dir_ / "config").c_str());
  EXPECT_EQ(u"/home/anna/Documents", DocumentsFolder());
}

// Read at every start: a FIFO in its place would hold the program for ever.
TEST_F(DocumentsFolderTest, UserDirsThatAreAFifoAreNotRead) {
  ScopedEnv configDir("XDG_CONFIG_HOME", (dir_ / "config").c_str());
  ASSERT_TRUE(test::MakeFifo(dir_ / "config" / "user-dirs.dirs"));
  test::FifoGuard guard(dir_ / "config" / "user-dirs.dirs");
  EXPECT_EQ(u"/home/anna/Documents", DocumentsFolder());
  EXPECT_FALSE(guard.Freed()) << "the FIFO was opened";
}

TEST_F(DocumentsFolderTest, UnknownWithoutHome) {
  ScopedEnv configDir("XDG_CONFIG_HOME", (dir_ / "config").c_str());
  ScopedEnv home("HOME", nullptr);
  EXPECT_EQ(u"", DocumentsFolder());
}

}  // namespace
}  // namespace brindel::platform
