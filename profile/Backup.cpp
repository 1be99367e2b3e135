#include "profile/Backup.h"

#include <span>

#include "platform/FileError.h"
#include "platform/FileSystem.h"
#include "platform/Path.h"
#include "platform/Text.h"
#include "profile/StoreWatch.h"
#include "regfile/ExRegistry.h"
#include "regfile/RegLineReader.h"

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
  const std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(Bytes.data()),
                                            Bytes.size());
  regfile::RegTextLines lines(bytes);
  regfile::RegLineReader reader(lines);
  const regfile::RegTextLine* header = reader.ReadHeader();
  if (header == nullptr)
    return false;
  const std::u16string_view headerText = platform::Trim(header->text);
  if (headerText != regfile::kRegedit4Header && headerText != regfile::kVersion5Header)
    return false;
  // After the header and blank lines comes the line of the exported key.
  regfile::RegLogicalLine line;
  while (reader.Next(line) && line.text.empty()) {
  }
  if (line.text.size() < 3 || line.text.front() != u'[' || line.text.back() != u']')
    return false;
  // Every export ends with the empty line after its last key; a file cut short ends
  // inside a line or right after one. Read a line at a time: a backup can be large.
  regfile::RegTextLines all(bytes);
  regfile::RegTextLine last;
  bool lastIsEmpty = false;
  while (all.Next(last))
    lastIsEmpty = last.text.empty();
  return lastIsEmpty;
}

namespace {

// Why a backup could not be written: the profile could not be exported, or the file
// could not be written. Empty when it was written.
struct TExportFailure {
  std::u16string Export;
  std::u16string Write;
};

// Exports the profile tree into File as it walks the tree, durable before it takes
// the file's place. Nothing takes the place when the key does not open, the export
// fails, or a key or value could not be read. The export leaves out what it cannot
// read and still succeeds; for a backup before deleting, that would be a backup
// without the very sections the repair may delete.
TExportFailure ExportProfile(std::u16string_view ProfileTree, const std::string& File) {
  TExportFailure failure;
  TStoreWatch watch{registry::store::ERROR_NO_MORE_ITEMS};
  regfile::TExRegistry reg(registry::store::KEY_READ);
  reg.UseRoot(registry::store::HKEY_CURRENT_USER);
  const std::u16string path = u"HKEY_CURRENT_USER\\" + std::u16string(ProfileTree);
  if (!reg.Open(ProfileTree, false)) {
    failure.Export = u"Der Schlüssel „" + path + u"“ lässt sich nicht öffnen.";
    return failure;
  }
  // Tells a file that took no more bytes from an export that failed otherwise.
  class RefusalWatch : public platform::TFileSink {
   public:
    explicit RefusalWatch(platform::TFileSink& file) : file_(file) {}
    bool Write(std::string_view bytes) override { return Kept(file_.Write(bytes)); }
    bool Take(platform::TPiece& piece) override { return Kept(file_.Take(piece)); }
    bool refused = false;

   private:
    bool Kept(bool kept) {
      refused = refused || !kept;
      return kept;
    }
    platform::TFileSink& file_;
  };
  bool exported = false;
  bool refused = false;
  // The export begins the file once more when the profile needs the Unicode format.
  const bool written = reg.ExportKeyFile([&](const regfile::TExRegistry::TExportText& text) {
    return platform::WriteFileReplacing(File, platform::TReplace::Durable,
                                        [&](platform::TFileSink& file) {
                                          RefusalWatch sink(file);
                                          exported = text(sink);
                                          refused = sink.refused;
                                          return exported && !watch.Failed();
                                        });
  });
  if (watch.Failed()) {
    failure.Export = watch.FailureText();
  } else if (!exported && !refused) {
    failure.Export = u"Das Profil „" + path + u"“ lässt sich nicht als .reg-Text schreiben.";
  } else if (!written) {
    failure.Write = platform::LastFileErrorText();
  }
  return failure;
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
  return MakeBackup(ProfileTree, ProfilName, BackupFolder, ProcessMessages).Ok;
}

TBackupResult MakeBackup(std::u16string_view ProfileTree, std::u16string_view ProfilName,
                         std::u16string_view BackupFolder,
                         const std::function<void()>& ProcessMessages) {
  TBackupResult result;
  result.CurrentFile = CurrentBackupName(BackupFolder, ProfilName);
  result.FirstFile = FirstBackupName(BackupFolder, ProfilName);
  const auto fail = [&](std::u16string reason) {
    result.Reason = std::move(reason);
    return result;
  };
  if (!platform::IsPlainFileName(ProfilName)) {
    if (ProcessMessages)
      ProcessMessages();
    return fail(u"„" + std::u16string(ProfilName) +
                u"“ taugt nicht als Dateiname im Sicherungsordner.");
  }
  // Only the backup folder itself is made, not missing parents: a documents folder
  // that is not there is a mistake the user should see.
  const auto delimiter = result.CurrentFile.find_last_of(platform::kPathDelimiter);
  if (delimiter != std::u16string::npos) {
    const std::u16string folder = result.CurrentFile.substr(0, delimiter + 1);
    if (!platform::DirectoryExists(ToUtf8(folder)) && !platform::CreateDirectory(ToUtf8(folder))) {
      const std::u16string why = platform::LastFileErrorText();
      if (ProcessMessages)
        ProcessMessages();
      if (platform::FileExists(ToUtf8(result.CurrentFile.substr(0, delimiter)))) {
        return fail(u"An der Stelle des Sicherungsordners „" + folder + u"“ steht eine Datei.");
      }
      return fail(u"Der Sicherungsordner „" + folder + u"“ kann nicht angelegt werden: " + why);
    }
  }
  const std::string currentFile = ToUtf8(result.CurrentFile);
  const std::string firstFile = ToUtf8(result.FirstFile);
  // A run killed between writing one of this profile's files and renaming it into
  // place left the new file beside it.
  for (const std::string& file :
       {currentFile, firstFile, ToUtf8(LogFileName(BackupFolder, ProfilName))}) {
    platform::RemoveLeftoverOf(file);
  }
  // The new backup is written and proven beside the old one, and takes its place only
  // then: a failed export, a full disk or a text that does not hold the profile never
  // replaces the previous backup.
  const std::string proving = platform::TemporaryFileOf(currentFile);
  platform::RemoveLeftoverOf(proving);
  const TExportFailure failure = ExportProfile(ProfileTree, proving);
  if (ProcessMessages)
    ProcessMessages();
  if (!failure.Export.empty())
    return fail(failure.Export);
  if (!failure.Write.empty() || !platform::FileExists(proving)) {
    return fail(u"Die Datei „" + result.CurrentFile + u"“ kann nicht geschrieben werden: " +
                failure.Write);
  }
  // What the file holds, read back as an import would read it.
  result.Proof = ProveBackup(platform::FromUtf8(proving), ProfileTree,
                             *registry::store::CurrentStore(), result.CurrentFile);
  if (!result.Proof.Proven) {
    platform::DeleteFile(proving);
    return fail(u"Die Sicherung von „" + std::u16string(ProfilName) +
                u"“ hält das Profil nicht so, wie es in der Registry steht: " +
                result.Proof.Difference);
  }
  if (platform::FileExists(currentFile))
    ClearFileAttributes(result.CurrentFile);
  if (!platform::ReplaceFile(proving, currentFile)) {
    const std::u16string why = platform::LastFileErrorText();
    platform::DeleteFile(proving);
    return fail(u"Die Datei „" + result.CurrentFile + u"“ kann nicht geschrieben werden: " + why);
  }
  // The first backup keeps the profile as it was before any repair, so it is written
  // as safely as the other and the repair waits for it. One left empty or cut short
  // comes from a run that stopped before its repair; it is made anew from the
  // profile, which that run did not change.
  if (!FirstBackupStands(firstFile) && !platform::CopyFileReplacing(currentFile, firstFile)) {
    return fail(u"Die Datei „" + result.FirstFile + u"“ kann nicht geschrieben werden: " +
                platform::LastFileErrorText());
  }
  result.Ok = true;
  return result;
}

}  // namespace brindel::profile
