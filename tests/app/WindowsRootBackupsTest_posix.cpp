// The backups a window offers to restore, in the backup folder of a mounted Windows:
// only files that lie within its root, whatever a link in the folder points at.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/FileSystem.h"
#include "platform/WindowsPath.h"
#include "profile/Backup.h"

namespace brindel::app {
namespace {

namespace fs = std::filesystem;

TEST(WindowsRootBackupsTest, ALinkToAFileOutsideTheRootIsNoBackup) {
  const fs::path dir = platform::MakeTemporaryFolder("brindel-rootbackups-").value();
  const fs::path folder = dir / "mnt" / "Users" / "anna" / "Documents" / "Brindel";
  fs::create_directories(folder);
  fs::create_directories(dir / "host");
  std::ofstream(dir / "host" / "secret.reg") << "REGEDIT4\r\n";
  std::ofstream(folder / "Outlook.reg") << "REGEDIT4\r\n\r\n";
  fs::create_symlink(dir / "host" / "secret.reg", folder / "Outlook-original.reg");
  platform::SetWindowsRoot((dir / "mnt").string());

  const auto backups = profile::ProfileBackups((folder / "").u16string(), u"Outlook");
  platform::SetWindowsRoot("");
  ASSERT_EQ(1u, backups.size());
  EXPECT_EQ(profile::TBackupRole::Current, backups[0].Role);
  EXPECT_EQ(12u, backups[0].Size);
  fs::remove_all(dir);
}

}  // namespace
}  // namespace brindel::app
