#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "registry/store/RegistryStore.h"

namespace brindel::profile {

// What reading a backup back showed.
struct TBackupProof {
  bool Proven = false;
  // The first key or value that the file does not hold as the registry does, as a
  // German sentence; empty when the backup is proven.
  std::u16string Difference;
  // How many keys and values the file holds as the registry does.
  std::size_t Keys = 0;
  std::size_t Values = 0;
};

// Reads the .reg file with the import's reader into a registry in memory and compares
// it with the tree below HKEY_CURRENT_USER in `live`, key by key and value by value:
// names (without regard to letter case, as the registry finds them), types and bytes.
// A string value (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ) whose only difference is a
// missing or extra terminating NUL counts as equal, since the text format cannot show
// it. A file that cannot be read is a difference too. DisplayName names the file in
// the messages (the file itself may still wait beside its final name). Never throws.
TBackupProof ProveBackup(std::u16string_view FileName, std::u16string_view ProfileTree,
                         registry::store::RegistryStore& live,
                         std::u16string_view DisplayName = {});

// ProveBackup on the bytes of a .reg file read before; DisplayName names the file.
TBackupProof ProveBackupText(std::string Bytes, std::u16string_view DisplayName,
                             std::u16string_view ProfileTree, registry::store::RegistryStore& live);

// The German line that brindel-cli prints for a proven backup.
std::u16string ProvenBackupNote(const TBackupProof& Proof);

}  // namespace brindel::profile
