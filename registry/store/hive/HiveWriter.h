#pragma once

#include <cstdint>

#include "registry/store/hive/HiveCells.h"
#include "registry/store/hive/HiveFile.h"
#include "registry/store/hive/HiveTree.h"

namespace brindel::registry::store::hive {

// Writes the tree below `root`, the top key of the hive that `old` holds, as new
// cells: the keys the store holds as they are now, with the last-write times of those
// that changed; everything below keys it never read is copied from `old` (names,
// values, class names, security descriptors, times), every record kept as it was
// except for its offsets. Sub key lists get the order and hashes Windows searches by.
// Every key and value of the tree gets its cell in the new file in `newCell`. Returns
// the top key's cell. Throws ECommitError for damage found on the way.
std::uint32_t WriteTree(const HiveFile& old, Key& root, Cells& cells, Output& out);

}  // namespace brindel::registry::store::hive
