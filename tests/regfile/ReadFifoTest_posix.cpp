// A .reg text is read only from a regular file: a FIFO given as the file would hold
// the reader for ever.

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/Errors.h"
#include "regfile/ExRegistry.h"
#include "regfile/RegText.h"
#include "support/Fifo.h"
#include "support/StoreFixture.h"

namespace brindel::regfile {
namespace {

namespace fs = std::filesystem;

class ReadFifoTest : public test::StoreFixture {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("brindel-regfifo-" +
            std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    ASSERT_TRUE(test::MakeFifo(Fifo()));
  }
  void TearDown() override { fs::remove_all(dir_); }
  fs::path Fifo() const { return dir_ / "pipe.reg"; }
  std::u16string Refusal() const {
    return u"„" + Fifo().u16string() +
           u"“ ist keine gewöhnliche Datei, sondern ein Ordner, eine Pipe oder ein Gerät, und "
           u"wird nicht gelesen.";
  }

  fs::path dir_;
};

// Every reader of .reg files: the import and its check, and the loader of --reg.
TEST_F(ReadFifoTest, EveryReaderRefusesAFifoAndNamesIt) {
  const std::u16string fifo = Fifo().u16string();
  const std::function<void()> readers[] = {
      [&] { TExRegistry().ImportRegFile(fifo); },
      [&] { TExRegistry::CheckRegFile(fifo); },
      [&] { LoadRegTextFile(fifo, store_); },
  };
  for (const auto& read : readers) {
    test::FifoGuard guard(Fifo());
    try {
      read();
      ADD_FAILURE() << "no error";
    } catch (const platform::Exception& error) {
      EXPECT_EQ(Refusal(), error.Message());
    }
    EXPECT_FALSE(guard.Freed()) << "the FIFO was opened";
  }
}

}  // namespace
}  // namespace brindel::regfile
