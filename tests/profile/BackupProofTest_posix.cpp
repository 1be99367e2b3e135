// The proof reads a backup only from a regular file.

#include <gtest/gtest.h>

#include <filesystem>

#include "profile/BackupProof.h"
#include "support/Fifo.h"
#include "support/StoreFixture.h"

namespace brindel::profile {
namespace {

namespace fs = std::filesystem;

TEST(BackupProofFifoTest, AFifoIsNoBackupAndIsNotOpened) {
  registry::store::MemoryStore store;
  const fs::path dir = fs::temp_directory_path() / "brindel-proof-fifo";
  fs::remove_all(dir);
  fs::create_directories(dir);
  ASSERT_TRUE(test::MakeFifo(dir / "B.reg"));
  test::FifoGuard guard(dir / "B.reg");
  const TBackupProof proof =
      ProveBackup((dir / "B.reg").u16string(), u"Software\\P", store, u"B.reg");
  EXPECT_FALSE(proof.Proven);
  EXPECT_EQ(u"Die Sicherung „B.reg“ ist keine gewöhnliche Datei und wird nicht gelesen.",
            proof.Difference);
  EXPECT_FALSE(guard.Freed());
  fs::remove_all(dir);
}

}  // namespace
}  // namespace brindel::profile
