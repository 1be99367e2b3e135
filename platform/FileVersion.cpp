#include "platform/FileVersion.h"

#include <filesystem>
#include <fstream>

#include "platform/FileSystem.h"
#include "platform/Text.h"

namespace brindel::platform {
namespace {

// Little-endian reads that fail rather than read outside the bytes.
class Reader {
 public:
  explicit Reader(const std::vector<std::uint8_t>& bytes) : bytes_(bytes) {}
  bool Has(std::uint64_t offset, std::uint64_t count) const {
    return offset <= bytes_.size() && count <= bytes_.size() - offset;
  }
  std::optional<std::uint16_t> U16(std::uint64_t offset) const {
    if (!Has(offset, 2))
      return std::nullopt;
    return static_cast<std::uint16_t>(bytes_[offset] | (bytes_[offset + 1] << 8));
  }
  std::optional<std::uint32_t> U32(std::uint64_t offset) const {
    if (!Has(offset, 4))
      return std::nullopt;
    return static_cast<std::uint32_t>(bytes_[offset]) |
           (static_cast<std::uint32_t>(bytes_[offset + 1]) << 8) |
           (static_cast<std::uint32_t>(bytes_[offset + 2]) << 16) |
           (static_cast<std::uint32_t>(bytes_[offset + 3]) << 24);
  }
  std::size_t Size() const { return bytes_.size(); }
  const std::vector<std::uint8_t>& Bytes() const { return bytes_; }

 private:
  const std::vector<std::uint8_t>& bytes_;
};

constexpr std::uint32_t kRtVersion = 16;
constexpr std::uint32_t kSubdirectoryBit = 0x80000000u;
// Resource trees of real files are a few levels and entries deep; more is damage.
constexpr std::uint32_t kMaxDirectoryEntries = 4096;

struct Section {
  std::uint32_t virtualAddress;
  std::uint32_t virtualSize;
  std::uint32_t rawSize;
  std::uint32_t rawOffset;
};

std::optional<std::uint64_t> FileOffsetOfRva(const std::vector<Section>& sections,
                                             std::uint32_t rva, std::uint32_t length) {
  for (const Section& s : sections) {
    const std::uint64_t span = s.virtualSize > s.rawSize ? s.virtualSize : s.rawSize;
    if (rva < s.virtualAddress || rva - s.virtualAddress >= span)
      continue;
    const std::uint64_t delta = rva - s.virtualAddress;
    // Only what the file holds can be read; zero-filled virtual tails are not in it.
    if (delta + length > s.rawSize)
      return std::nullopt;
    return std::uint64_t{s.rawOffset} + delta;
  }
  return std::nullopt;
}

struct DirectoryEntry {
  std::uint32_t name;  // an id, or a string offset with the high bit set
  std::uint32_t offset;
};

// The entries of one resource directory at `offset` inside the resource section.
std::optional<std::vector<DirectoryEntry>> ReadDirectory(const Reader& file, std::uint64_t base,
                                                         std::uint64_t sectionSize,
                                                         std::uint32_t offset) {
  if (offset > sectionSize || sectionSize - offset < 16)
    return std::nullopt;
  const auto named = file.U16(base + offset + 12);
  const auto ids = file.U16(base + offset + 14);
  if (!named || !ids)
    return std::nullopt;
  const std::uint32_t count = std::uint32_t{*named} + *ids;
  if (count > kMaxDirectoryEntries)
    return std::nullopt;
  if (sectionSize - offset - 16 < std::uint64_t{count} * 8)
    return std::nullopt;
  std::vector<DirectoryEntry> entries;
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::uint64_t at = base + offset + 16 + std::uint64_t{i} * 8;
    const auto name = file.U32(at);
    const auto data = file.U32(at + 4);
    if (!name || !data)
      return std::nullopt;
    entries.push_back({*name, *data});
  }
  return entries;
}

}  // namespace

std::optional<std::vector<std::uint8_t>> ExtractVersionResource(
    const std::vector<std::uint8_t>& bytes) {
  const Reader file(bytes);
  if (!file.Has(0, 0x40) || bytes[0] != 'M' || bytes[1] != 'Z')
    return std::nullopt;
  const auto peOffset = file.U32(0x3C);
  if (!peOffset || !file.Has(*peOffset, 24))
    return std::nullopt;
  if (bytes[*peOffset] != 'P' || bytes[*peOffset + 1] != 'E' || bytes[*peOffset + 2] != 0 ||
      bytes[*peOffset + 3] != 0) {
    return std::nullopt;
  }
  const std::uint64_t coff = std::uint64_t{*peOffset} + 4;
  const auto sectionCount = file.U16(coff + 2);
  const auto optionalSize = file.U16(coff + 16);
  if (!sectionCount || !optionalSize)
    return std::nullopt;
  const std::uint64_t optional = coff + 20;
  const auto magic = file.U16(optional);
  if (!magic)
    return std::nullopt;
  std::uint64_t directories = 0;
  std::uint64_t countField = 0;
  if (*magic == 0x10B) {  // PE32
    countField = 92;
    directories = 96;
  } else if (*magic == 0x20B) {  // PE32+
    countField = 108;
    directories = 112;
  } else {
    return std::nullopt;
  }
  const auto directoryCount = file.U32(optional + countField);
  if (!directoryCount || *directoryCount < 3 || directories + 3 * 8 > *optionalSize) {
    return std::nullopt;
  }
  const auto resourceRva = file.U32(optional + directories + 2 * 8);
  const auto resourceSize = file.U32(optional + directories + 2 * 8 + 4);
  if (!resourceRva || !resourceSize || *resourceRva == 0 || *resourceSize == 0) {
    return std::nullopt;
  }

  std::vector<Section> sections;
  const std::uint64_t table = optional + *optionalSize;
  for (std::uint32_t i = 0; i < *sectionCount; ++i) {
    const std::uint64_t at = table + std::uint64_t{i} * 40;
    const auto vsize = file.U32(at + 8);
    const auto va = file.U32(at + 12);
    const auto rawSize = file.U32(at + 16);
    const auto rawOffset = file.U32(at + 20);
    if (!vsize || !va || !rawSize || !rawOffset)
      return std::nullopt;
    if (!file.Has(*rawOffset, *rawSize))
      continue;  // a section the file does not hold
    sections.push_back({*va, *vsize, *rawSize, *rawOffset});
  }
  // The resource section as far as the file holds it.
  std::uint64_t base = 0;
  std::uint64_t sectionSize = 0;
  for (const Section& s : sections) {
    if (*resourceRva >= s.virtualAddress && *resourceRva - s.virtualAddress < s.rawSize) {
      base = s.rawOffset + (*resourceRva - s.virtualAddress);
      sectionSize = s.rawSize - (*resourceRva - s.virtualAddress);
      break;
    }
  }
  if (sectionSize == 0)
    return std::nullopt;

  // Type level: RT_VERSION. Name level: the first entry. Language level: by preference.
  const auto types = ReadDirectory(file, base, sectionSize, 0);
  if (!types)
    return std::nullopt;
  std::optional<std::uint32_t> namesOffset;
  for (const auto& entry : *types) {
    if (entry.name == kRtVersion && (entry.offset & kSubdirectoryBit)) {
      namesOffset = entry.offset & ~kSubdirectoryBit;
      break;
    }
  }
  if (!namesOffset)
    return std::nullopt;
  const auto names = ReadDirectory(file, base, sectionSize, *namesOffset);
  if (!names || names->empty() || !(names->front().offset & kSubdirectoryBit))
    return std::nullopt;
  const std::uint32_t languagesOffset = names->front().offset & ~kSubdirectoryBit;
  if (languagesOffset == *namesOffset || languagesOffset == 0)
    return std::nullopt;
  const auto languages = ReadDirectory(file, base, sectionSize, languagesOffset);
  if (!languages || languages->empty())
    return std::nullopt;
  const DirectoryEntry* chosen = nullptr;
  for (std::uint32_t wanted : {0x0000u, 0x0407u, 0x0007u, 0x0409u}) {
    for (const auto& entry : *languages) {
      if (entry.name == wanted && !(entry.offset & kSubdirectoryBit)) {
        chosen = &entry;
        break;
      }
    }
    if (chosen)
      break;
  }
  if (!chosen)
    chosen = &languages->front();
  if (chosen->offset & kSubdirectoryBit)
    return std::nullopt;
  if (chosen->offset > sectionSize || sectionSize - chosen->offset < 16)
    return std::nullopt;
  const auto dataRva = file.U32(base + chosen->offset);
  const auto dataSize = file.U32(base + chosen->offset + 4);
  if (!dataRva || !dataSize || *dataSize == 0)
    return std::nullopt;
  const auto dataOffset = FileOffsetOfRva(sections, *dataRva, *dataSize);
  if (!dataOffset || !file.Has(*dataOffset, *dataSize))
    return std::nullopt;
  return std::vector<std::uint8_t>(
      bytes.begin() + static_cast<std::ptrdiff_t>(*dataOffset),
      bytes.begin() + static_cast<std::ptrdiff_t>(*dataOffset + *dataSize));
}

namespace {

// One node of a version information block: length, value length, type, key, value,
// children, each 32-bit aligned from the block's start.
struct Node {
  std::u16string key;
  std::uint64_t valueOffset = 0;
  std::uint64_t valueBytes = 0;
  std::uint64_t childrenOffset = 0;
  std::uint64_t end = 0;
};

std::uint64_t Align4(std::uint64_t offset) {
  return (offset + 3) & ~std::uint64_t{3};
}

std::optional<Node> ReadNode(const Reader& block, std::uint64_t offset, std::uint64_t limit) {
  const auto length = block.U16(offset);
  const auto valueLength = block.U16(offset + 2);
  const auto type = block.U16(offset + 4);
  if (!length || !valueLength || !type || *length < 6 || offset + *length > limit) {
    return std::nullopt;
  }
  Node node;
  node.end = offset + *length;
  std::uint64_t at = offset + 6;
  for (;;) {
    const auto unit = block.U16(at);
    if (!unit || at + 2 > node.end)
      return std::nullopt;
    at += 2;
    if (*unit == 0)
      break;
    node.key += static_cast<char16_t>(*unit);
  }
  node.valueOffset = Align4(at);
  // Text values count their length in characters, binary ones in bytes.
  node.valueBytes = *type == 1 ? std::uint64_t{*valueLength} * 2 : *valueLength;
  if (node.valueOffset > node.end)
    node.valueOffset = node.end;
  if (node.valueBytes > node.end - node.valueOffset)
    node.valueBytes = node.end - node.valueOffset;
  node.childrenOffset = Align4(node.valueOffset + node.valueBytes);
  return node;
}

std::optional<Node> FindChild(const Reader& block, const Node& parent, std::u16string_view key) {
  std::uint64_t at = parent.childrenOffset;
  while (at + 6 <= parent.end) {
    const auto child = ReadNode(block, at, parent.end);
    if (!child)
      return std::nullopt;
    if (SameTextIgnoreCase(child->key, key))
      return child;
    at = Align4(child->end);
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::vector<std::uint8_t>> FileVersionInfo::QueryValue(
    std::u16string_view subBlock) const {
  const Reader block(block_);
  auto node = ReadNode(block, 0, block_.size());
  if (!node)
    return std::nullopt;
  std::size_t start = 0;
  while (start < subBlock.size()) {
    std::size_t end = subBlock.find(u'\\', start);
    if (end == std::u16string_view::npos)
      end = subBlock.size();
    if (end > start) {
      node = FindChild(block, *node, subBlock.substr(start, end - start));
      if (!node)
        return std::nullopt;
    }
    start = end + 1;
  }
  return std::vector<std::uint8_t>(
      block_.begin() + static_cast<std::ptrdiff_t>(node->valueOffset),
      block_.begin() + static_cast<std::ptrdiff_t>(node->valueOffset + node->valueBytes));
}

std::optional<std::u16string> FileVersionInfo::QueryString(std::u16string_view subBlock) const {
  const auto value = QueryValue(subBlock);
  if (!value)
    return std::nullopt;
  std::u16string text;
  for (std::size_t i = 0; i + 1 < value->size(); i += 2) {
    const auto unit = static_cast<char16_t>((*value)[i] | ((*value)[i + 1] << 8));
    if (unit == 0)
      break;
    text += unit;
  }
  return text;
}

// Every system reads the resource from the file's bytes with the checked reader above.
// Windows' GetFileVersionInfoW would pick the language of the user's Windows instead of
// the one a German program gets, and trusts the offsets inside the file, so a damaged
// OUTLOOK.EXE could end the program; this way Windows and Linux agree on every file.
bool FileVersionInfo::Load(const std::string& localPath) {
  block_.clear();
  // Executables worth reading are far smaller; a larger file is not read whole.
  constexpr std::uint64_t kMaxFileSize = std::uint64_t{512} * 1024 * 1024;
  const auto size = FileSize(localPath);
  if (!size || *size == 0 || *size > kMaxFileSize)
    return false;
  // Read as every file of a mounted Windows is read: within its root.
  const auto read = ReadFileBytes(localPath);
  if (!read)
    return false;
  const std::vector<std::uint8_t> bytes(read->begin(), read->end());
  auto block = ExtractVersionResource(bytes);
  if (!block)
    return false;
  block_ = std::move(*block);
  return true;
}

}  // namespace brindel::platform
