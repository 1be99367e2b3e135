#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "registry/store/hive/HiveCells.h"

namespace brindel::registry::store::hive {

// One entry of a sub key list: the key's cell and the hash its list kind keeps.
struct Listed {
  std::uint32_t cell = 0;
  std::uint32_t hash = 0;
};

// Writes sub key lists in the kind and order Windows searches by: "lh" lists with
// name hashes in hives of format 1.5, "lf" lists with name hints in 1.3 and 1.4, and
// plain "li" lists before that. Each leaf fits one 4 KiB bin; more leaves hang below
// an index root ("ri").
class SubKeyLists {
 public:
  SubKeyLists(Cells& cells, std::uint32_t minorVersion);

  // What an entry of the name's key keeps beside its cell.
  std::uint32_t Hash(std::u16string_view name) const;
  // The list of the entries, in the order given (the registry's); its cell.
  std::uint32_t Write(std::span<const Listed> listed);

 private:
  std::uint32_t WriteLeaf(std::span<const Listed> listed);

  Cells& cells_;
  char leafKind_;
};

}  // namespace brindel::registry::store::hive
