#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "registry/store/HiveFile.h"
#include "registry/store/HiveFormat.h"
#include "registry/store/HiveTree.h"

namespace brindel::registry::store::hive {

// The bytes of an empty hive of format 1.5: a base block, one hive bin, a root key
// with no sub keys or values, and the security cell the root key refers to (full
// access for SYSTEM and Administrators, read access for Users, inherited by new keys).
std::vector<std::uint8_t> EmptyHiveBytes();

// Writes an empty hive to a new file and makes it durable. Refuses to replace an
// existing file. Throws EHiveError with a German message.
void WriteEmptyHive(const std::filesystem::path& file);

// Called before each file operation of a commit (creating the new file, each write,
// the sync, the rename, the sync of the folder) with its number, counted from 1; a
// result other than 0 makes that operation fail as with that errno. For tests.
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
// compact hive in the same folder, makes it durable, and renames it over the hive.
// The keys the store holds are written as they are now, with the last-write times of
// those that changed; everything below keys it never read is copied from `old` (names,
// values, class names, security descriptors, times), every record kept as it was
// except for its offsets. Sub key lists get the order and hashes Windows searches by.
// Every key and value of the tree gets its cell in the new file in `newCell`.
//
// Temporary files that a killed run left beside the hive are removed first. Returns
// the new file, opened and locked. Throws ECommitError; the hive is then as it was and
// no new file is left.
std::unique_ptr<HiveFile> CommitHive(const HiveFile& old, Key& root, const CommitFault& fault);

}  // namespace brindel::registry::store::hive
