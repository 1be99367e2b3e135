// What is no regular file is never read: a FIFO, which would hold the reader until
// something writes into it, and a device, which would never end.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/FileSystem.h"
#include "platform/FileVersion.h"
#include "support/Fifo.h"

namespace brindel::platform {
namespace {

namespace fs = std::filesystem;

class FifoReadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("brindel-fifo-" +
            std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    fifo_ = dir_ / "pipe.reg";
    ASSERT_TRUE(test::MakeFifo(fifo_));
  }
  void TearDown() override { fs::remove_all(dir_); }

  fs::path dir_;
  fs::path fifo_;
};

TEST_F(FifoReadTest, ReadFileBytesRefusesAFifoWithoutWaiting) {
  test::FifoGuard guard(fifo_);
  TReadRefusal why = TReadRefusal::None;
  EXPECT_EQ(std::nullopt, ReadFileBytes(fifo_.string(), kAnyFileSize, &why));
  EXPECT_EQ(TReadRefusal::NotAFile, why);
  EXPECT_FALSE(guard.Freed()) << "the FIFO was opened";
}

TEST_F(FifoReadTest, ALinkToAFifoIsNoFileEither) {
  fs::create_symlink(fifo_, dir_ / "link.reg");
  test::FifoGuard guard(fifo_);
  TReadRefusal why = TReadRefusal::None;
  EXPECT_EQ(std::nullopt, ReadFileBytes((dir_ / "link.reg").string(), kAnyFileSize, &why));
  EXPECT_EQ(TReadRefusal::NotAFile, why);
  EXPECT_FALSE(guard.Freed());
}

TEST_F(FifoReadTest, ADeviceIsNoFile) {
  TReadRefusal why = TReadRefusal::None;
  // With a limit, so that a reader that took the device would stop all the same.
  EXPECT_EQ(std::nullopt, ReadFileBytes("/dev/zero", 1 << 20, &why));
  EXPECT_EQ(TReadRefusal::NotAFile, why);
}

TEST_F(FifoReadTest, CopiesAndVersionResourcesReadNoFifo) {
  test::FifoGuard guard(fifo_);
  EXPECT_FALSE(CopyFileReplacing(fifo_.string(), (dir_ / "copy").string()));
  EXPECT_FALSE(CopyFileNoOverwrite(fifo_.string(), (dir_ / "copy2").string()));
  FileVersionInfo info;
  EXPECT_FALSE(info.Load(fifo_.string()));
  EXPECT_FALSE(guard.Freed());
}

}  // namespace
}  // namespace brindel::platform
