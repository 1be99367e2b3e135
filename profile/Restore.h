#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "profile/BackupProof.h"
#include "registry/store/RegistryStore.h"

namespace brindel::profile {

// How a restore ended.
struct TRestoreResult {
  bool Restored = false;
  // Why it did not work, in German; empty when it did.
  std::u16string Message;
  // The state saved before the restore (empty when there was no profile to save), and
  // the proof that it holds the profile as it was.
  std::u16string SavedFile;
  TBackupProof SavedProof;
  // The proof that the profile now is what the file holds.
  TBackupProof RestoredProof;
  // True when a restore that failed half-way put the saved state back itself.
  bool SavedStateImported = false;
};

// Puts the profile below HKEY_CURRENT_USER\ProfileTree back exactly as the .reg file
// holds it; an import only merges, a restore also removes what came since.
//  1. The file must hold this profile's tree and nothing outside it.
//  2. The current state is saved to SavedStateName (profile/Backup.h) and proven.
//  3. The profile's tree is deleted and the file imported.
//  4. The tree is compared with the file.
// When 3 or 4 fails, `Discard` is asked to forget the changes (a store that can, like
// a hive, returns true); otherwise the saved state is imported back. Never throws.
TRestoreResult RestoreProfile(std::u16string_view ProfileTree, std::u16string_view ProfilName,
                              std::u16string_view BackupFolder, std::u16string_view FileName,
                              registry::store::RegistryStore& Live,
                              const std::function<bool()>& Discard);

}  // namespace brindel::profile
