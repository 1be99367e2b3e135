#include "registry/store/hive/HiveFile.h"

#include <algorithm>
#include <array>
#include <utility>

#include "platform/Text.h"

namespace brindel::registry::store::hive {

using platform::CompareTextIgnoreCase;
using platform::Format;
using platform::SameTextIgnoreCase;

namespace {

[[noreturn]] void Fail(const std::filesystem::path& file, std::u16string_view pattern) {
  throw EHiveError(Format(pattern, {DisplayName(file)}));
}

[[noreturn]] void FailCorrupt(const std::filesystem::path& file) {
  Fail(file, u"Die Hive-Datei '%s' ist beschädigt und kann nicht gelesen werden.");
}

[[noreturn]] void FailShortened(const std::filesystem::path& file) {
  Fail(file, u"Die Hive-Datei '%s' wurde beim Öffnen von einem anderen Programm verkürzt.");
}

[[noreturn]] void FailRefused(const std::filesystem::path& file, platform::HeldFile::Refusal why) {
  using Refusal = platform::HeldFile::Refusal;
  switch (why) {
    case Refusal::NotFound:
      Fail(file, u"Die Hive-Datei '%s' wurde nicht gefunden.");
    case Refusal::NotAFile:
      Fail(file, u"'%s' ist keine Datei und kann nicht als Hive geöffnet werden.");
    case Refusal::Denied:
      Fail(file, u"Die Hive-Datei '%s' kann nicht gelesen werden (keine Berechtigung?).");
    case Refusal::Locked:
      Fail(file,
           u"Die Hive-Datei '%s' wird gerade von einem anderen Brindel-Lauf verwendet; an ihr "
           u"wird nichts geändert. Versuchen Sie es noch einmal, wenn jener Lauf beendet ist.");
    case Refusal::InUse:
      throw EHiveInUse(Format(
          u"Die Hive-Datei '%s' hält ein anderes Programm geöffnet, ohne jemanden mitlesen zu "
          u"lassen. So hält Windows die Hive-Dateien, die es geladen hat: das NTUSER.DAT eines "
          u"angemeldeten Benutzers und die Hives des laufenden Systems.",
          {DisplayName(file)}));
    default:
      Fail(file, u"Die Hive-Datei '%s' kann nicht gelesen werden.");
  }
}

void DecodeName(std::span<const std::uint8_t> bytes, bool latin1, char16_t* out) {
  if (latin1) {
    std::copy(bytes.begin(), bytes.end(), out);
  } else {
    for (std::size_t i = 0; i < bytes.size() / 2; ++i)
      out[i] = static_cast<char16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
  }
}

std::u16string DecodeName(std::span<const std::uint8_t> bytes, bool latin1) {
  std::u16string name(latin1 ? bytes.size() : bytes.size() / 2, u'\0');
  DecodeName(bytes, latin1, name.data());
  return name;
}

// The least a cell of each record takes, size field included: no list can name more
// keys or values than the bins could hold, whatever a damaged count says.
constexpr std::size_t kLeastKeyCell = kCellSizeField + nk::kName;
constexpr std::size_t kLeastValueCell = kCellSizeField + vk::kName;

}  // namespace

std::u16string KeyRecord::Name() const {
  return DecodeName(name, latin1Name);
}

std::u16string ValueRecord::Name() const {
  return DecodeName(name, latin1Name);
}

void ValueRecord::NameInto(char16_t* out) const {
  DecodeName(name, latin1Name, out);
}

std::unique_ptr<HiveFile> HiveFile::Open(const std::filesystem::path& file, bool lock) {
  using platform::HeldFile;
  HeldFile::Refusal refusal = HeldFile::Refusal::None;
  auto held = HeldFile::Open(file, lock ? HeldFile::Use::Write : HeldFile::Use::Read, refusal);
  if (!held)
    FailRefused(file, refusal);

  std::array<std::uint8_t, kBaseBlockSize> block{};
  std::size_t got = 0;
  const auto size = held->Size();
  if (!size || !held->ReadAt(0, block, got))
    Fail(file, u"Die Hive-Datei '%s' kann nicht gelesen werden (keine Berechtigung?).");
  const BaseBlock base = CheckBaseBlock(file, std::span(block).first(got), *size);

  const std::size_t mapSize = kBaseBlockSize + base.binsSize;
  if (!held->Map(mapSize))
    Fail(file, u"Die Hive-Datei '%s' kann nicht gelesen werden.");
  std::unique_ptr<HiveFile> hive(new HiveFile);
  hive->path_ = file;
  hive->file_ = std::move(held);
  hive->map_ = hive->file_->View().data();
  hive->mapSize_ = mapSize;
  hive->base_ = base;

  // Every bin in a chain from the first, and every cell in a chain through its bin:
  // what is not on these chains is not a cell, however it looks.
  CellSet used(base.binsSize);
  const std::span<const std::uint8_t> bins(hive->map_ + kBaseBlockSize, base.binsSize);
  for (std::size_t bin = 0; bin < bins.size();) {
    if (bins.size() - bin < kBinHeaderSize || bins[bin] != 'h' || bins[bin + 1] != 'b' ||
        bins[bin + 2] != 'i' || bins[bin + 3] != 'n' ||
        ReadLE32(bins, bin + hbin::kOffset) != bin) {
      FailCorrupt(file);
    }
    const std::size_t binSize = ReadLE32(bins, bin + hbin::kSize);
    if (binSize < kBinAlignment || binSize % kBinAlignment != 0 || binSize > bins.size() - bin)
      FailCorrupt(file);
    const std::size_t binEnd = bin + binSize;
    for (std::size_t cell = bin + kBinHeaderSize; cell < binEnd;) {
      // Each cell's place follows from the one before, so the reads cannot overlap by
      // themselves; what lies ahead is fetched while this one is checked.
      __builtin_prefetch(bins.data() + std::min(cell + 2048, bins.size() - 1));
      const auto stored = static_cast<std::int32_t>(ReadLE32(bins, cell));
      const std::int64_t length = stored < 0 ? -static_cast<std::int64_t>(stored) : stored;
      if (length < 8 || length % 8 != 0 || static_cast<std::size_t>(length) > binEnd - cell)
        FailCorrupt(file);
      if (stored < 0)
        used.Insert(static_cast<std::uint32_t>(cell));
      cell += static_cast<std::size_t>(length);
    }
    bin = binEnd;
  }
  if (!hive->Intact())
    FailShortened(file);
  hive->used_ = std::move(used);
  hive->rootCell_ = ReadLE32(block, kRootCell);
  if (!hive->Key(hive->rootCell_))
    FailCorrupt(file);
  return hive;
}

std::unique_ptr<HiveFile> HiveFile::Adopt(std::filesystem::path file,
                                          std::unique_ptr<platform::HeldFile> held,
                                          std::span<const std::uint8_t> baseBlock,
                                          CellSet usedCells) {
  BaseBlock base;
  base.sequence1 = ReadLE32(baseBlock, kSequence1);
  base.sequence2 = ReadLE32(baseBlock, kSequence2);
  base.majorVersion = ReadLE32(baseBlock, kMajorVersion);
  base.minorVersion = ReadLE32(baseBlock, kMinorVersion);
  base.binsSize = ReadLE32(baseBlock, kBinsSize);
  const std::size_t mapSize = kBaseBlockSize + base.binsSize;
  if (!held->Map(mapSize))
    Fail(file, u"Die neue Hive-Datei '%s' kann nicht gelesen werden.");
  std::unique_ptr<HiveFile> hive(new HiveFile);
  hive->path_ = std::move(file);
  hive->file_ = std::move(held);
  hive->map_ = hive->file_->View().data();
  hive->mapSize_ = mapSize;
  hive->base_ = base;
  hive->rootCell_ = ReadLE32(baseBlock, kRootCell);
  hive->used_ = std::move(usedCells);
  return hive;
}

HiveFile::~HiveFile() = default;

bool HiveFile::Whole() const {
  const auto size = file_->Size();
  return Intact() && size && *size >= mapSize_;
}

std::span<const std::uint8_t> HiveFile::Cell(std::uint32_t cell) const {
  if (cell % 8 != 0 || cell >= base_.binsSize || !used_.Contains(cell))
    return {};
  const std::uint8_t* at = map_ + kBaseBlockSize + cell;
  const std::uint32_t length =
      0u - (at[0] | at[1] << 8 | at[2] << 16 | static_cast<std::uint32_t>(at[3]) << 24);
  // Read once and checked: another program may have changed the file since it was
  // opened, and no span may reach past the view.
  if (length < 8 || length > base_.binsSize - cell)
    return {};
  return {at + 4, length - 4};
}

std::optional<KeyRecord> HiveFile::Key(std::uint32_t cell) const {
  const auto data = Cell(cell);
  if (data.size() < nk::kName || data[0] != 'n' || data[1] != 'k')
    return std::nullopt;
  KeyRecord key;
  const std::size_t nameLength = ReadLE16(data, nk::kNameLength);
  if (data.size() - nk::kName < nameLength)
    return std::nullopt;
  key.bytes = data.first(nk::kName + nameLength);
  key.flags = ReadLE16(data, nk::kFlags);
  key.lastWrite = ReadLE32(data, nk::kLastWrite) | std::uint64_t{ReadLE32(data, nk::kLastWrite + 4)}
                                                       << 32;
  key.subKeyCount = ReadLE32(data, nk::kSubKeyCount);
  key.subKeyList = ReadLE32(data, nk::kSubKeyList);
  key.valueCount = ReadLE32(data, nk::kValueCount);
  key.valueList = ReadLE32(data, nk::kValueList);
  key.security = ReadLE32(data, nk::kSecurity);
  key.classCell = ReadLE32(data, nk::kClass);
  key.classLength = ReadLE16(data, nk::kClassLength);
  key.name = data.subspan(nk::kName, nameLength);
  key.latin1Name = (key.flags & nk::kCompressedName) != 0;
  return key;
}

std::optional<ValueRecord> HiveFile::Value(std::uint32_t cell) const {
  const auto data = Cell(cell);
  if (data.size() < vk::kName || data[0] != 'v' || data[1] != 'k')
    return std::nullopt;
  ValueRecord value;
  const std::size_t nameLength = ReadLE16(data, vk::kNameLength);
  if (data.size() - vk::kName < nameLength)
    return std::nullopt;
  value.bytes = data.first(vk::kName + nameLength);
  value.name = data.subspan(vk::kName, nameLength);
  value.latin1Name = (ReadLE16(data, vk::kFlags) & vk::kCompressedName) != 0;
  value.type = ReadLE32(data, vk::kType);
  const std::uint32_t size = ReadLE32(data, vk::kDataSize);
  value.inlineData = (size & vk::kInlineData) != 0;
  value.size = size & ~vk::kInlineData;
  value.dataCell = ReadLE32(data, vk::kData);
  if (value.inlineData && value.size > 4)
    return std::nullopt;
  return value;
}

bool HiveFile::SubKeys(const KeyRecord& key, std::vector<SubKey>& subKeys) const {
  subKeys.clear();
  if (key.subKeyCount == 0)
    return true;
  if (key.subKeyCount > base_.binsSize / kLeastKeyCell)
    return false;
  std::vector<std::uint32_t> cells;
  const auto readLeaf = [&key, &cells](std::span<const std::uint8_t> leaf) {
    if (leaf.size() < kListEntries || leaf[0] != 'l' ||
        (leaf[1] != 'i' && leaf[1] != 'f' && leaf[1] != 'h')) {
      return false;
    }
    const std::size_t count = ReadLE16(leaf, kListCount);
    const std::size_t entry = leaf[1] == 'i' ? 4 : 8;
    if ((leaf.size() - kListEntries) / entry < count || cells.size() + count > key.subKeyCount)
      return false;
    for (std::size_t i = 0; i < count; ++i)
      cells.push_back(ReadLE32(leaf, kListEntries + entry * i));
    return true;
  };
  const auto list = Cell(key.subKeyList);
  if (list.size() >= kListEntries && list[0] == 'r' && list[1] == 'i') {
    // An index root points to leaves, never to another index root.
    const std::size_t count = ReadLE16(list, kListCount);
    if ((list.size() - kListEntries) / 4 < count)
      return false;
    for (std::size_t i = 0; i < count; ++i) {
      if (!readLeaf(Cell(ReadLE32(list, kListEntries + 4 * i))))
        return false;
    }
  } else if (!readLeaf(list)) {
    return false;
  }
  if (cells.size() != key.subKeyCount)
    return false;

  subKeys.reserve(cells.size());
  for (std::uint32_t cell : cells) {
    const auto sub = Key(cell);
    if (!sub || sub->name.empty())
      return false;
    SubKey entry{cell, sub->Name()};
    // Windows takes a longer name for a damaged hive; so does the store.
    if (entry.name.empty() || entry.name.size() > kMaxKeyNameLength)
      return false;
    subKeys.push_back(std::move(entry));
  }
  // The file keeps them sorted as Windows does; sorting again keeps lookups right for
  // files that a lesser writer left unsorted. A key that is listed twice is one key.
  const auto before = [](const SubKey& a, const SubKey& b) {
    return CompareTextIgnoreCase(a.name, b.name) < 0;
  };
  if (!std::is_sorted(subKeys.begin(), subKeys.end(), before))
    std::stable_sort(subKeys.begin(), subKeys.end(), before);
  subKeys.erase(std::unique(subKeys.begin(), subKeys.end(),
                            [](const SubKey& a, const SubKey& b) {
                              return SameTextIgnoreCase(a.name, b.name);
                            }),
                subKeys.end());
  return true;
}

bool HiveFile::ValueCells(const KeyRecord& key, std::vector<std::uint32_t>& cells) const {
  cells.clear();
  if (key.valueCount == 0)
    return true;
  if (key.valueCount > base_.binsSize / kLeastValueCell)
    return false;
  const auto list = Cell(key.valueList);
  if (list.size() / 4 < key.valueCount)
    return false;
  cells.resize(key.valueCount);
  for (std::size_t i = 0; i < cells.size(); ++i) {
    cells[i] = ReadLE32(list, 4 * i);
    // The caller reads each of them next: fetched together, not one after the other.
    if (cells[i] < base_.binsSize)
      __builtin_prefetch(map_ + kBaseBlockSize + cells[i]);
  }
  return true;
}

bool HiveFile::Data(const ValueRecord& value, DataLayout& layout) const {
  layout.pieces.clear();
  layout.cells.clear();
  if (value.inlineData) {
    layout.pieces.push_back(value.bytes.subspan(vk::kData, value.size));
    return true;
  }
  if (value.size == 0)
    return true;
  const auto data = Cell(value.dataCell);
  if (data.empty())
    return false;
  layout.cells.push_back(value.dataCell);
  if (BigData() && value.size > kMaxCellData && data.size() >= 8 && data[0] == 'd' &&
      data[1] == 'b') {
    const std::size_t segments = ReadLE16(data, kBigDataSegments);
    const std::uint32_t listCell = ReadLE32(data, kBigDataList);
    const auto list = Cell(listCell);
    if (list.size() / 4 < segments)
      return false;
    layout.cells.push_back(listCell);
    std::size_t left = value.size;
    for (std::size_t i = 0; i < segments && left > 0; ++i) {
      const std::uint32_t segmentCell = ReadLE32(list, 4 * i);
      const auto segment = Cell(segmentCell);
      const std::size_t take = std::min(left, kMaxCellData);
      if (segment.size() < take)
        return false;
      layout.pieces.push_back(segment.first(take));
      layout.cells.push_back(segmentCell);
      left -= take;
    }
    return left == 0;
  }
  if (data.size() < value.size)
    return false;
  layout.pieces.push_back(data.first(value.size));
  return true;
}

std::span<const std::uint8_t> HiveFile::Security(std::uint32_t cell) const {
  const auto data = Cell(cell);
  if (data.size() < sk::kDescriptor || data[0] != 's' || data[1] != 'k')
    return {};
  const std::size_t size = ReadLE32(data, sk::kDescriptorSize);
  if (data.size() - sk::kDescriptor < size)
    return {};
  return data.first(sk::kDescriptor + size);
}

std::optional<std::span<const std::uint8_t>> HiveFile::ClassName(const KeyRecord& key) const {
  if (key.classLength == 0)
    return std::span<const std::uint8_t>{};
  const auto data = Cell(key.classCell);
  if (data.size() < key.classLength)
    return std::nullopt;
  return data.first(key.classLength);
}

}  // namespace brindel::registry::store::hive
