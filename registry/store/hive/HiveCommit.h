#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "registry/store/hive/HiveFile.h"
#include "registry/store/hive/HiveFormat.h"
#include "registry/store/hive/HiveTree.h"

namespace brindel::registry::store::hive {

// Called before each file operation of a commit (creating the new file, each write,
// the sync, the replacement, the sync of the folder) with its number, counted from 1;
// a result other than 0 makes that operation fail as with that errno (ENOSPC: a full
// disk). For tests.
using CommitFault = std::function<int(std::size_t step)>;

// Why a commit did not replace a hive: Message() is the reason as a German phrase
// that the store puts into its message. For damage found on the way, the key's path
// below the top of the hive (empty for the top itself).
class ECommitError : public EHiveError {
 public:
  explicit ECommitError(std::u16string reason, std::optional<std::u16string> damagedKey = {});
  const std::optional<std::u16string>& DamagedKey() const { return damagedKey_; }

 private:
  std::optional<std::u16string> damagedKey_;
};

// Writes the tree below `root`, the top key of the hive that `old` holds, as a new
// compact hive in the same folder (see WriteTree), makes it durable, and puts it in the
// hive's place. Temporary files that a killed run left beside the hive are removed
// first. Returns the new file, held and locked. Throws ECommitError; the hive is then
// as it was, `old` still holds it (or, when it could not be held again after a failed
// replacement, is no longer intact), and no new file is left.
std::unique_ptr<HiveFile> CommitHive(HiveFile& old, Key& root, const CommitFault& fault);

}  // namespace brindel::registry::store::hive
