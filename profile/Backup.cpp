#include "profile/Backup.h"

#include "platform/FileSystem.h"
#include "platform/Path.h"
#include "platform/Text.h"
#include "regfile/ExRegistry.h"

namespace brindel::profile {

using platform::ToUtf8;

std::u16string CurrentBackupName(std::u16string_view BackupFolder, std::u16string_view ProfilName) {
  return std::u16string(BackupFolder) + std::u16string(ProfilName) + u".reg";
}

std::u16string FirstBackupName(std::u16string_view BackupFolder, std::u16string_view ProfilName) {
  return std::u16string(BackupFolder) + std::u16string(ProfilName) + u"-original.reg";
}

std::u16string LogFileName(std::u16string_view BackupFolder, std::u16string_view ProfilName) {
  return std::u16string(BackupFolder) + std::u16string(ProfilName) + u".log";
}

void ClearFileAttributes(std::u16string_view FileName) {
  platform::ClearFileAttributes(ToUtf8(FileName));
}

namespace {

// The export of the profile tree, or nothing when the key does not open or the
// export fails.
std::optional<std::string> ExportProfile(std::u16string_view ProfileTree) {
  regfile::TExRegistry reg(registry::store::KEY_READ);
  reg.UseRoot(registry::store::HKEY_CURRENT_USER);
  if (!reg.Open(ProfileTree, false))
    return std::nullopt;
  std::unique_ptr<regfile::TMemoryStream> stream;
  if (!reg.ExportKey(u"", true, stream) || !stream)
    return std::nullopt;
  return std::string(stream->Bytes());
}

}  // namespace

bool CreateBackup(std::u16string_view ProfileTree, std::u16string_view ProfilName,
                  std::u16string_view BackupFolder, const std::function<void()>& ProcessMessages) {
  const std::u16string current = CurrentBackupName(BackupFolder, ProfilName);
  const std::u16string first = FirstBackupName(BackupFolder, ProfilName);
  if (!platform::IsPlainFileName(ProfilName)) {
    if (ProcessMessages)
      ProcessMessages();
    return false;
  }
  // Only the backup folder itself is made, not missing parents; whether that worked
  // shows when the file is written.
  const auto delimiter = current.find_last_of(platform::kPathDelimiter);
  if (delimiter != std::u16string::npos) {
    const std::string folder = ToUtf8(current.substr(0, delimiter + 1));
    if (!platform::DirectoryExists(folder))
      platform::CreateDirectory(folder);
  }
  bool result = false;
  if (const auto text = ExportProfile(ProfileTree)) {
    // The new backup is written beside the old one and takes its place only when it
    // is complete, so a failed export never loses the previous backup.
    const std::string currentFile = ToUtf8(current);
    if (platform::FileExists(currentFile))
      ClearFileAttributes(current);
    result = platform::WriteFileReplacing(currentFile, *text);
  }
  if (ProcessMessages)
    ProcessMessages();
  // The first backup keeps the profile as it was before any repair: it is made once,
  // and only from a complete export.
  if (result && !platform::FileExists(ToUtf8(first))) {
    platform::CopyFileNoOverwrite(ToUtf8(current), ToUtf8(first));
  }
  return result;
}

}  // namespace brindel::profile
