#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "profile/BackupProof.h"

namespace brindel::profile {

// The names of a profile's files in the backup folder.
std::u16string CurrentBackupName(std::u16string_view BackupFolder, std::u16string_view ProfilName);
std::u16string FirstBackupName(std::u16string_view BackupFolder, std::u16string_view ProfilName);
std::u16string LogFileName(std::u16string_view BackupFolder, std::u16string_view ProfilName);

// Exports the profile tree (below HKEY_CURRENT_USER) to the current backup
// BackupFolder + ProfilName + ".reg" and, while no complete one exists, to the first
// backup "-original.reg". True when the export read every key and value and both
// files are complete and in place; the repair may run only then. Each file is
// written beside its old one and takes its place only when complete, so a failed
// backup loses no earlier one. A profile name that is no plain file name fails, so
// that no file lands outside the backup folder. ProcessMessages runs once after the
// export, so that the window can repaint.
bool CreateBackup(std::u16string_view ProfileTree, std::u16string_view ProfilName,
                  std::u16string_view BackupFolder, const std::function<void()>& ProcessMessages);

// How a backup ended.
struct TBackupResult {
  bool Ok = false;
  // Why it failed, in German, naming the file or folder and the system's reason;
  // empty when it worked.
  std::u16string Reason;
  // The current backup read back and compared with the registry; the repair may
  // run only on a proven backup.
  TBackupProof Proof;
  std::u16string CurrentFile;
  std::u16string FirstFile;
};

// CreateBackup, with why it failed and what proved it: after the export is written,
// it is read back with the import's reader and compared with the registry key by key
// and value by value; what no .reg text can hold (a key name with a line break, a
// value name with a NUL) fails the backup there, before anything is deleted.
TBackupResult MakeBackup(std::u16string_view ProfileTree, std::u16string_view ProfilName,
                         std::u16string_view BackupFolder,
                         const std::function<void()>& ProcessMessages);

// Whether the bytes of a backup file are a whole export: a .reg header, a key line,
// and the empty line that ends every export. A file cut short (by a run that was
// killed, or a disk that was full) ends inside or right after a line; only a cut
// exactly after a key's closing empty line cannot be told from a whole file.
bool IsCompleteBackup(std::string_view Bytes);

// Makes a read-only (on Windows also hidden) file an ordinary one again.
void ClearFileAttributes(std::u16string_view FileName);

}  // namespace brindel::profile
