#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "profile/BackupProof.h"

namespace brindel::profile {

// The stem of every file of a profile in the backup folder: its raw key name, unless
// that name could be another profile's stem with a tail, that is a name ending in
// "-original" or "-vor-Wiederherstellung" and then any number of "~", in any letter
// case, as Windows compares file names. Such a name gets one "~" more. So
// "Outlook-original.reg" is only ever the first backup of "Outlook", and the profile
// "Outlook-original" keeps its current backup in "Outlook-original~.reg".
std::u16string BackupStem(std::u16string_view ProfilName);

// The names of a profile's files in the backup folder: the current backup (PROFIL.reg),
// the first backup (PROFIL-original.reg), the log (PROFIL.log), and the state a
// restore saved before it changed anything (PROFIL-vor-Wiederherstellung.reg).
std::u16string CurrentBackupName(std::u16string_view BackupFolder, std::u16string_view ProfilName);
std::u16string FirstBackupName(std::u16string_view BackupFolder, std::u16string_view ProfilName);
std::u16string LogFileName(std::u16string_view BackupFolder, std::u16string_view ProfilName);
std::u16string SavedStateName(std::u16string_view BackupFolder, std::u16string_view ProfilName);

// What a backup file of a profile holds.
enum class TBackupRole {
  First,       // PROFIL-original.reg
  Current,     // PROFIL.reg
  SavedState,  // PROFIL-vor-Wiederherstellung.reg
};

// One backup file of a profile, as a window lists them to choose one to restore.
struct TBackupFile {
  TBackupRole Role = TBackupRole::First;
  // The role in German: "Stand vor der ersten Reparatur", ...
  std::u16string Description;
  std::u16string FileName;
  std::uintmax_t Size = 0;
  // When it was last written.
  std::chrono::system_clock::time_point Written;
};

// The role in German, as a window names the file.
std::u16string_view BackupRoleText(TBackupRole Role);

// The backup files of the profile that are in the backup folder, in the order first,
// current, saved state; those that are missing are left out.
std::vector<TBackupFile> ProfileBackups(std::u16string_view BackupFolder,
                                        std::u16string_view ProfilName);

// Exports the profile tree (below HKEY_CURRENT_USER) to the current backup and, while
// no complete one exists, to the first backup. True when the export read every key and value and
// both files are complete and in place; the repair may run only then. Each file is written beside
// its old one and takes its place only when complete, so a failed backup loses no earlier one. A
// profile name that is no plain file name fails, so that no file lands outside the backup folder. A
// first backup that holds another profile (written under that name by an earlier version) fails the
// backup too: it is neither this profile's state before its first repair nor to be replaced.
// ProcessMessages runs once after the export, so that the window can repaint.
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

// The key name of the profile a whole backup holds: the last name of its first key
// line. Empty when the bytes are no whole backup.
std::u16string BackupProfileName(std::string_view Bytes);

// Makes a read-only (on Windows also hidden) file an ordinary one again.
void ClearFileAttributes(std::u16string_view FileName);

}  // namespace brindel::profile
