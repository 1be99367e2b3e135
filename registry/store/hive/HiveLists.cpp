#include "registry/store/hive/HiveLists.h"

#include <algorithm>
#include <vector>

namespace brindel::registry::store::hive {

SubKeyLists::SubKeyLists(Cells& cells, std::uint32_t minorVersion)
    : cells_(cells),
      leafKind_(minorVersion >= 5   ? 'h'
                : minorVersion >= 3 ? 'f'
                                    : 'i') {}

std::uint32_t SubKeyLists::Hash(std::u16string_view name) const {
  return leafKind_ == 'h' ? NameHash(name) : leafKind_ == 'f' ? NameHint(name) : 0;
}

std::uint32_t SubKeyLists::Write(std::span<const Listed> listed) {
  const std::size_t entry = leafKind_ == 'i' ? 4 : 8;
  const std::size_t perPage = (kBinAlignment - kBinHeaderSize - 8) / entry;
  if (listed.size() <= perPage)
    return WriteLeaf(listed);
  const std::size_t maxLeaves = (kBinAlignment - kBinHeaderSize - 8) / 4;
  const std::size_t perLeaf = std::max(perPage, (listed.size() + maxLeaves - 1) / maxLeaves);
  std::vector<std::uint32_t> leaves;
  for (std::size_t first = 0; first < listed.size(); first += perLeaf)
    leaves.push_back(WriteLeaf(listed.subspan(first, std::min(perLeaf, listed.size() - first))));
  auto [root, bytes] = cells_.Place(kListEntries + 4 * leaves.size());
  bytes[0] = 'r', bytes[1] = 'i';
  WriteLE16(bytes, kListCount, static_cast<std::uint16_t>(leaves.size()));
  for (std::size_t i = 0; i < leaves.size(); ++i)
    WriteLE32(bytes, kListEntries + 4 * i, leaves[i]);
  return root;
}

std::uint32_t SubKeyLists::WriteLeaf(std::span<const Listed> listed) {
  const std::size_t entry = leafKind_ == 'i' ? 4 : 8;
  auto [cell, bytes] = cells_.Place(kListEntries + entry * listed.size());
  bytes[0] = 'l', bytes[1] = static_cast<std::uint8_t>(leafKind_);
  WriteLE16(bytes, kListCount, static_cast<std::uint16_t>(listed.size()));
  for (std::size_t i = 0; i < listed.size(); ++i) {
    WriteLE32(bytes, kListEntries + entry * i, listed[i].cell);
    if (entry == 8)
      WriteLE32(bytes, kListEntries + entry * i + 4, listed[i].hash);
  }
  return cell;
}

}  // namespace brindel::registry::store::hive
