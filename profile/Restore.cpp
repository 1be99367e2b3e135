#include "profile/Restore.h"

#include <vector>

#include "platform/Errors.h"
#include "platform/FileError.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"
#include "profile/Backup.h"
#include "regfile/ExRegistry.h"
#include "regfile/MemoryStream.h"
#include "regfile/RegTextDecode.h"
#include "registry/RegAccess.h"
#include "registry/store/MemoryStore.h"

namespace brindel::profile {
namespace {

using namespace registry::store;

// Every key of a root, with its path, and whether it holds values.
void CollectKeys(RegistryStore& store, HKEY key, const std::u16string& path,
                 std::vector<std::pair<std::u16string, bool>>& keys, int depth) {
  KeyInfo info;
  const bool hasValues = store.QueryInfoKey(key, info) == ERROR_SUCCESS && info.values > 0;
  keys.emplace_back(path, hasValues);
  if (depth > 512)
    return;
  std::u16string name;
  for (std::uint32_t i = 0; store.EnumKey(key, i, name) == ERROR_SUCCESS; ++i) {
    HKEY sub = 0;
    if (store.OpenKey(key, name, KEY_READ, sub) != ERROR_SUCCESS)
      continue;
    CollectKeys(store, sub, path.empty() ? name : path + u"\\" + name, keys, depth + 1);
    store.CloseKey(sub);
  }
}

bool IsAtOrBelow(std::u16string_view path, std::u16string_view tree) {
  return path.size() >= tree.size() &&
         platform::SameTextIgnoreCase(path.substr(0, tree.size()), tree) &&
         (path.size() == tree.size() || path[tree.size()] == u'\\');
}

// Why the file cannot restore this profile: keys outside its tree, values in the keys
// above it, or no tree of the profile at all; empty when it can. Its bytes are kept in
// Text for the import and its proof.
std::u16string CheckFile(std::u16string_view FileName, std::u16string_view ProfileTree,
                         std::string& Text) {
  MemoryStore scratch;
  // A file that is missing or cannot be read: the reason names the file already.
  try {
    Text = regfile::ReadRegTextFile(FileName);
  } catch (const platform::Exception& error) {
    return error.Message();
  }
  try {
    regfile::TMemoryStream stream(Text);
    regfile::TExRegistry reader;
    reader.UseStore(scratch);
    reader.ImportRegFile(FileName, &stream);
  } catch (const platform::Exception& error) {
    return u"Die Datei " + platform::InGermanQuotes(FileName) + u" lässt sich nicht einlesen: " +
           error.Message();
  }
  bool holdsTree = false;
  for (const HKEY root : {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS,
                          HKEY_CURRENT_CONFIG}) {
    std::vector<std::pair<std::u16string, bool>> keys;
    CollectKeys(scratch, root, u"", keys, 0);
    for (const auto& [path, hasValues] : keys) {
      if (path.empty() && !hasValues)
        continue;
      const bool inTree = root == HKEY_CURRENT_USER && IsAtOrBelow(path, ProfileTree);
      const bool above = root == HKEY_CURRENT_USER && !hasValues && IsAtOrBelow(ProfileTree, path);
      if (!inTree && !above) {
        return u"Die Datei " + platform::InGermanQuotes(FileName) + u" enthält den Schlüssel " +
               platform::InGermanQuotes(path) +
               u", der nicht zum Profil gehört; sie wird nicht eingelesen.";
      }
      holdsTree = holdsTree || inTree;
    }
  }
  if (!holdsTree) {
    return u"Die Datei " + platform::InGermanQuotes(FileName) + u" enthält das Profil " +
           platform::InGermanQuotes(u"HKEY_CURRENT_USER\\" + std::u16string(ProfileTree)) +
           u" nicht.";
  }
  return {};
}

bool ProfileExists(RegistryStore& live, std::u16string_view ProfileTree) {
  HKEY key = 0;
  if (live.OpenKey(HKEY_CURRENT_USER, ProfileTree, KEY_READ, key) != ERROR_SUCCESS)
    return false;
  live.CloseKey(key);
  return true;
}

// Deletes the profile's tree with everything below it; true when it is gone (or was
// not there).
bool DeleteProfile(RegistryStore& live, std::u16string_view ProfileTree) {
  if (!ProfileExists(live, ProfileTree))
    return true;
  registry::TRegAccess registry;
  registry.UseStore(live);
  registry.UseRoot(HKEY_CURRENT_USER);
  return registry.DeleteKey(u"\\" + std::u16string(ProfileTree));
}

// Deletes the profile's tree and imports the file, or its bytes read before when Text
// holds them; the German reason when that failed.
std::u16string Replace(std::u16string_view ProfileTree, std::u16string_view FileName,
                       const std::string* Text, RegistryStore& live) {
  try {
    if (!DeleteProfile(live, ProfileTree)) {
      return u"Der Schlüssel " + platform::InGermanQuotes(ProfileTree) +
             u" kann nicht gelöscht werden.";
    }
    regfile::TExRegistry importer;
    importer.UseStore(live);
    if (Text) {
      regfile::TMemoryStream stream(*Text);
      importer.ImportRegFile(FileName, &stream);
    } else {
      importer.ImportRegFile(FileName);
    }
  } catch (const platform::Exception& error) {
    return error.Message();
  }
  return {};
}

}  // namespace

TRestoreResult RestoreProfile(std::u16string_view ProfileTree, std::u16string_view ProfilName,
                              std::u16string_view BackupFolder, std::u16string_view FileName,
                              RegistryStore& Live, const std::function<bool()>& Discard) {
  TRestoreResult result;
  // The file is read once, here: restoring the saved state itself (undoing a restore)
  // replaces that very file with the current state before the import.
  std::string text;
  result.Message = CheckFile(FileName, ProfileTree, text);
  if (!result.Message.empty())
    return result;

  // The state before: saved, and proven, before anything is deleted.
  if (ProfileExists(Live, ProfileTree)) {
    if (!platform::IsPlainFileName(ProfilName)) {
      result.Message = platform::InGermanQuotes(ProfilName) +
                       u" taugt nicht als Dateiname; der jetzige Stand "
                       u"kann nicht gesichert werden.";
      return result;
    }
    // A file from elsewhere may come before any repair made the backup folder. Only the
    // folder itself is made, as the backup makes it, not missing parents.
    const std::string folder = platform::ToUtf8(BackupFolder);
    if (!folder.empty() && !platform::DirectoryExists(folder) &&
        !platform::CreateDirectory(folder)) {
      result.Message = u"Der Sicherungsordner " + platform::InGermanQuotes(BackupFolder) +
                       u" kann nicht angelegt werden: " + platform::LastFileErrorText() +
                       u" Es wurde nichts geändert.";
      return result;
    }
    result.SavedFile = SavedStateName(BackupFolder, ProfilName);
    regfile::TExRegistry exporter(KEY_READ);
    exporter.UseStore(Live);
    exporter.UseRoot(HKEY_CURRENT_USER);
    if (!exporter.Open(ProfileTree, false) || !exporter.ExportKey(result.SavedFile)) {
      result.Message = u"Der jetzige Stand des Profils kann nicht nach " +
                       platform::InGermanQuotes(result.SavedFile) +
                       u" gesichert werden; es wurde nichts geändert.";
      return result;
    }
    exporter.Close();
    result.SavedProof = ProveBackup(result.SavedFile, ProfileTree, Live);
    if (!result.SavedProof.Proven) {
      result.Message =
          u"Die Sicherung des jetzigen Stands ist nicht vollständig; es wurde nichts "
          u"geändert. " +
          result.SavedProof.Difference;
      return result;
    }
  }

  std::u16string failure = Replace(ProfileTree, FileName, &text, Live);
  if (failure.empty()) {
    result.RestoredProof = ProveBackupText(std::move(text), FileName, ProfileTree, Live);
    if (result.RestoredProof.Proven) {
      result.Restored = true;
      return result;
    }
    failure = result.RestoredProof.Difference;
  }
  result.Message = u"Die Wiederherstellung aus " + platform::InGermanQuotes(FileName) +
                   u" schlug fehl: " + failure;
  if (Discard && Discard()) {
    result.Message += u" Es wurde nichts geändert.";
    return result;
  }
  // A store without a transaction: the saved state goes back the same way; with no
  // profile before, what the import made is removed again.
  if (result.SavedFile.empty()) {
    if (DeleteProfile(Live, ProfileTree)) {
      result.SavedStateImported = true;
      result.Message += u" Was eingelesen war, wurde wieder entfernt.";
    }
    return result;
  }
  if (Replace(ProfileTree, result.SavedFile, nullptr, Live).empty() &&
      ProveBackup(result.SavedFile, ProfileTree, Live).Proven) {
    result.SavedStateImported = true;
    result.Message += u" Der vorige Stand wurde aus " + platform::InGermanQuotes(result.SavedFile) +
                      u" wieder eingelesen.";
  } else {
    result.Message += u" Der vorige Stand liegt in " + platform::InGermanQuotes(result.SavedFile) +
                      u"; er konnte nicht wieder eingelesen werden.";
  }
  return result;
}

}  // namespace brindel::profile
