#include "profile/Backup.h"

#include <filesystem>
#include <optional>
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

namespace {

// The tails that make the names of a profile's other files from its stem.
constexpr std::u16string_view kFirstTail = u"-original";
constexpr std::u16string_view kSavedStateTail = u"-vor-Wiederherstellung";

bool EndsWithIgnoringCase(std::u16string_view text, std::u16string_view tail) {
  return text.size() >= tail.size() &&
         platform::SameTextIgnoreCase(text.substr(text.size() - tail.size()), tail);
}

std::u16string FileOf(std::u16string_view BackupFolder, std::u16string_view ProfilName,
                      std::u16string_view Tail) {
  return std::u16string(BackupFolder) + BackupStem(ProfilName) + std::u16string(Tail);
}

}  // namespace

std::u16string BackupStem(std::u16string_view ProfilName) {
  std::u16string_view core = ProfilName;
  while (!core.empty() && core.back() == u'~')
    core.remove_suffix(1);
  if (EndsWithIgnoringCase(core, kFirstTail) || EndsWithIgnoringCase(core, kSavedStateTail))
    return std::u16string(ProfilName) + u"~";
  return std::u16string(ProfilName);
}

std::u16string CurrentBackupName(std::u16string_view BackupFolder, std::u16string_view ProfilName) {
  return FileOf(BackupFolder, ProfilName, u".reg");
}

std::u16string FirstBackupName(std::u16string_view BackupFolder, std::u16string_view ProfilName) {
  return FileOf(BackupFolder, ProfilName, std::u16string(kFirstTail) + u".reg");
}

std::u16string LogFileName(std::u16string_view BackupFolder, std::u16string_view ProfilName) {
  return FileOf(BackupFolder, ProfilName, u".log");
}

std::u16string SavedStateName(std::u16string_view BackupFolder, std::u16string_view ProfilName) {
  return FileOf(BackupFolder, ProfilName, std::u16string(kSavedStateTail) + u".reg");
}

std::u16string_view BackupRoleText(TBackupRole Role) {
  switch (Role) {
    case TBackupRole::First:
      return u"Stand vor der ersten Reparatur";
    case TBackupRole::Current:
      return u"Stand vor der letzten Reparatur";
    case TBackupRole::SavedState:
      return u"Stand vor der letzten Wiederherstellung";
  }
  return {};
}

std::vector<TBackupFile> ProfileBackups(std::u16string_view BackupFolder,
                                        std::u16string_view ProfilName) {
  namespace fs = std::filesystem;
  std::vector<TBackupFile> files;
  const std::pair<TBackupRole, std::u16string> roles[] = {
      {TBackupRole::First, FirstBackupName(BackupFolder, ProfilName)},
      {TBackupRole::Current, CurrentBackupName(BackupFolder, ProfilName)},
      {TBackupRole::SavedState, SavedStateName(BackupFolder, ProfilName)},
  };
  for (const auto& [role, name] : roles) {
    const fs::path path(name);
    std::error_code error;
    // Asked through platform/, which finds a file of a mounted Windows within its root.
    const auto size = platform::FileSize(ToUtf8(name));
    if (!size)
      continue;
    TBackupFile file;
    file.Role = role;
    file.Description = BackupRoleText(role);
    file.FileName = name;
    file.Size = *size;
    const fs::file_time_type written = fs::last_write_time(path, error);
    if (!error) {
      file.Written = std::chrono::time_point_cast<std::chrono::system_clock::duration>(
          std::chrono::file_clock::to_sys(written));
    }
    files.push_back(std::move(file));
  }
  return files;
}

void ClearFileAttributes(std::u16string_view FileName) {
  platform::ClearFileAttributes(ToUtf8(FileName));
}

namespace {

// The path of the first key line of a whole backup (root name included); nullopt when
// the bytes are no whole backup.
std::optional<std::u16string> WholeBackupKey(std::string_view Bytes) {
  const std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(Bytes.data()),
                                            Bytes.size());
  regfile::RegTextLines lines(bytes);
  regfile::RegLineReader reader(lines);
  const regfile::RegTextLine* header = reader.ReadHeader();
  if (header == nullptr)
    return std::nullopt;
  const std::u16string_view headerText = platform::Trim(header->text);
  if (headerText != regfile::kRegedit4Header && headerText != regfile::kVersion5Header)
    return std::nullopt;
  // After the header and blank lines comes the line of the exported key.
  regfile::RegLogicalLine line;
  while (reader.Next(line) && line.text.empty()) {
  }
  if (line.text.size() < 3 || line.text.front() != u'[' || line.text.back() != u']')
    return std::nullopt;
  // Every export ends with the empty line after its last key; a file cut short ends
  // inside a line or right after one. Read a line at a time: a backup can be large.
  regfile::RegTextLines all(bytes);
  regfile::RegTextLine last;
  bool lastIsEmpty = false;
  while (all.Next(last))
    lastIsEmpty = last.text.empty();
  if (!lastIsEmpty)
    return std::nullopt;
  return line.text.substr(1, line.text.size() - 2);
}

// The last name of a key path: the profile's key name in a profile's backup.
std::u16string LastName(std::u16string_view Key) {
  const std::size_t backslash = Key.rfind(u'\\');
  return backslash == std::u16string_view::npos ? std::u16string()
                                                : std::u16string(Key.substr(backslash + 1));
}

}  // namespace

bool IsCompleteBackup(std::string_view Bytes) {
  return WholeBackupKey(Bytes).has_value();
}

std::u16string BackupProfileName(std::string_view Bytes) {
  const std::optional<std::u16string> key = WholeBackupKey(Bytes);
  return key ? LastName(*key) : std::u16string();
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

// What stands in the place of the first backup.
struct TFirstBackupState {
  // A whole one, or one that cannot be read: it is not replaced. What an unreadable
  // one holds cannot be known, and it may be the only copy of the profile as it was
  // before the first repair.
  bool Stands = false;
  // The profile that a whole one holds.
  std::u16string Holder;
};

TFirstBackupState ExamineFirstBackup(const std::string& File) {
  TFirstBackupState state;
  if (!platform::FileExists(File))
    return state;
  const auto bytes = platform::ReadFileBytes(File);
  if (!bytes) {
    state.Stands = true;
    return state;
  }
  const std::optional<std::u16string> key = WholeBackupKey(*bytes);
  state.Stands = key.has_value();
  if (key)
    state.Holder = LastName(*key);
  return state;
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
  // Before the names of two profiles' files could no longer meet, the current backup of
  // "Outlook-original" was written as the first backup of "Outlook". Such a file is
  // not this profile's state before its first repair, and may be the other's only copy.
  const TFirstBackupState first = ExamineFirstBackup(firstFile);
  if (!first.Holder.empty() && !platform::SameTextIgnoreCase(first.Holder, ProfilName)) {
    if (ProcessMessages)
      ProcessMessages();
    return fail(u"Die Datei „" + result.FirstFile + u"“ hält das Profil „" + first.Holder +
                u"“, nicht „" + std::u16string(ProfilName) +
                u"“; sie wird nicht ersetzt. Bitte sie an einen anderen Ort legen.");
  }
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
  if (!first.Stands && !platform::CopyFileReplacing(currentFile, firstFile)) {
    return fail(u"Die Datei „" + result.FirstFile + u"“ kann nicht geschrieben werden: " +
                platform::LastFileErrorText());
  }
  result.Ok = true;
  return result;
}

}  // namespace brindel::profile
