#include "profile/Backup.h"

#include "platform/FileSystem.h"
#include "platform/Path.h"
#include "platform/Text.h"
#include "profile/StoreWatch.h"
#include "regfile/ExRegistry.h"
#include "registry/store/RegText.h"

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

bool IsCompleteBackup(std::string_view Bytes) {
  const registry::store::RegTextDecoded decoded = registry::store::DecodeRegText(
      {reinterpret_cast<const std::uint8_t*>(Bytes.data()), Bytes.size()});
  registry::store::RegLineReader reader(decoded.lines);
  const registry::store::RegTextLine* header = reader.ReadHeader();
  if (header == nullptr)
    return false;
  const std::u16string_view headerText = registry::store::TrimRegText(header->text);
  if (headerText != u"REGEDIT4" && headerText != u"Windows Registry Editor Version 5.00")
    return false;
  // After the header and blank lines comes the line of the exported key.
  registry::store::RegLogicalLine line;
  while (reader.Next(line) && line.text.empty()) {
  }
  if (line.text.size() < 3 || line.text.front() != u'[' || line.text.back() != u']')
    return false;
  // Every export ends with the empty line after its last key; a file cut short ends
  // inside a line or right after one.
  return decoded.lines.back().text.empty();
}

namespace {

// The export of the profile tree, or nothing when the key does not open, the export
// fails, or a key or value could not be read. The export leaves out what it cannot
// read and still succeeds; for a backup before deleting, that would be a backup
// without the very sections the repair may delete.
std::optional<std::string> ExportProfile(std::u16string_view ProfileTree) {
  TStoreWatch watch{registry::store::ERROR_NO_MORE_ITEMS};
  regfile::TExRegistry reg(registry::store::KEY_READ);
  reg.UseRoot(registry::store::HKEY_CURRENT_USER);
  if (!reg.Open(ProfileTree, false))
    return std::nullopt;
  std::unique_ptr<regfile::TMemoryStream> stream;
  if (!reg.ExportKey(u"", true, stream) || !stream || watch.Failed())
    return std::nullopt;
  return std::string(stream->Bytes());
}

// True when the first backup is there and whole. One that cannot be read is not
// replaced either: what it holds cannot be known, and it may be the only copy of the
// profile as it was before the first repair.
bool FirstBackupStands(const std::string& File) {
  if (!platform::FileExists(File))
    return false;
  const auto bytes = platform::ReadFileBytes(File);
  return !bytes || IsCompleteBackup(*bytes);
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
  const std::string currentFile = ToUtf8(current);
  const std::string firstFile = ToUtf8(first);
  // A run killed between writing one of this profile's files and renaming it into
  // place left the new file beside it.
  for (const std::string& file :
       {currentFile, firstFile, ToUtf8(LogFileName(BackupFolder, ProfilName))}) {
    platform::RemoveLeftoverOf(file);
  }
  bool result = false;
  const auto text = ExportProfile(ProfileTree);
  if (text) {
    // The new backup is written beside the old one and takes its place only when it
    // is complete, so a failed export never loses the previous backup.
    if (platform::FileExists(currentFile))
      ClearFileAttributes(current);
    result = platform::WriteFileReplacing(currentFile, *text);
  }
  if (ProcessMessages)
    ProcessMessages();
  // The first backup keeps the profile as it was before any repair, so it is written
  // as safely as the other and the repair waits for it. One left empty or cut short
  // comes from a run that stopped before its repair; it is made anew from the
  // profile, which that run did not change.
  if (result && !FirstBackupStands(firstFile))
    result = platform::WriteFileReplacing(firstFile, *text);
  return result;
}

}  // namespace brindel::profile
