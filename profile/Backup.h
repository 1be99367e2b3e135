#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace brindel::profile {

// The names of a profile's files in the backup folder.
std::u16string CurrentBackupName(std::u16string_view BackupFolder, std::u16string_view ProfilName);
std::u16string FirstBackupName(std::u16string_view BackupFolder, std::u16string_view ProfilName);
std::u16string LogFileName(std::u16string_view BackupFolder, std::u16string_view ProfilName);

// Exports the profile tree (below HKEY_CURRENT_USER) to the current backup
// BackupFolder + ProfilName + ".reg" and, while none exists, to the first backup
// "-original.reg". True when the export is complete and in place. The old current
// backup is replaced only by a complete new one, and the first backup is only ever
// made from a complete export. A profile name that is no plain file name fails, so
// that no file lands outside the backup folder. ProcessMessages runs once after the
// export, so that the window can repaint.
bool CreateBackup(std::u16string_view ProfileTree, std::u16string_view ProfilName,
                  std::u16string_view BackupFolder, const std::function<void()>& ProcessMessages);

// Makes a read-only (on Windows also hidden) file an ordinary one again.
void ClearFileAttributes(std::u16string_view FileName);

}  // namespace brindel::profile
