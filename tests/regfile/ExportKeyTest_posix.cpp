#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <future>
#include <string>

#include "ExportSupport.h"
#include "regfile/ExRegistry.h"
#include "support/Files.h"
#include "support/StoreFixture.h"

namespace brindel::regfile {
namespace {

namespace fs = std::filesystem;
using namespace registry::store;
using test::DwordBytes;
using test::ReadWholeFile;
using test::RegLines;

// Targets that are not plain files: the export must neither replace them nor fail.
class ExportKeyTargetTest : public test::StoreFixture {
 protected:
  void SetUp() override {
    Put(u"Software\\T", u"v", REG_DWORD, DwordBytes(1));
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = fs::temp_directory_path() / (std::string("brindel-export-target-") + info->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  const std::string expected_ =
      RegLines({"REGEDIT4", "", "[HKEY_CURRENT_USER\\Software\\T]", "\"v\"=dword:00000001", ""});
  fs::path dir_;
};

TEST_F(ExportKeyTargetTest, LinkStaysALinkAndItsFileIsReplaced) {
  const fs::path file = dir_ / "backup.reg";
  const fs::path link = dir_ / "latest.reg";
  std::ofstream(file, std::ios::binary) << "the previous backup";
  fs::create_symlink(file.filename(), link);
  TExRegistry reg;
  ASSERT_TRUE(reg.Open(u"Software\\T", false));

  ASSERT_TRUE(reg.ExportKey(link.u16string()));
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(expected_, ReadWholeFile(file));
  EXPECT_EQ(2, std::distance(fs::directory_iterator(dir_), fs::directory_iterator()));
}

// As a script does with /dev/stdout: the bytes go through the pipe, which stays one.
TEST_F(ExportKeyTargetTest, PipeTakesTheTextAndStaysAPipe) {
  const fs::path pipe = dir_ / "pipe";
  ASSERT_EQ(0, ::mkfifo(pipe.c_str(), 0600));
  auto reader = std::async(std::launch::async, [&] { return ReadWholeFile(pipe); });
  TExRegistry reg;
  ASSERT_TRUE(reg.Open(u"Software\\T", false));

  EXPECT_TRUE(reg.ExportKey(pipe.u16string()));
  // A reader still waiting for a writer, because the export never opened the pipe,
  // gets an empty text instead of waiting for ever.
  const int unblock = ::open(pipe.c_str(), O_WRONLY | O_NONBLOCK);
  if (unblock >= 0)
    ::close(unblock);
  EXPECT_EQ(expected_, reader.get());
  EXPECT_TRUE(fs::is_fifo(pipe));
  EXPECT_EQ(1, std::distance(fs::directory_iterator(dir_), fs::directory_iterator()));
}

}  // namespace
}  // namespace brindel::regfile
