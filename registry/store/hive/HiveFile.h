#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/HeldFile.h"
#include "registry/store/RegistryStore.h"
#include "registry/store/hive/HiveFormat.h"

namespace brindel::registry::store::hive {

// One bit per possible cell of a hive: cells start at multiples of 8 from the first bin.
class CellSet {
 public:
  explicit CellSet(std::size_t binsSize = 0) : bits_((binsSize / 8 + 63) / 64) {}
  bool Contains(std::uint32_t cell) const {
    const std::size_t bit = cell / 8;
    return bit / 64 < bits_.size() && (bits_[bit / 64] >> (bit % 64) & 1) != 0;
  }
  // Adds a cell; false when it was there already.
  bool Insert(std::uint32_t cell) {
    const std::size_t bit = cell / 8;
    if (bit / 64 >= bits_.size())
      bits_.resize(bit / 64 + 1);
    const std::uint64_t mask = std::uint64_t{1} << (bit % 64);
    if ((bits_[bit / 64] & mask) != 0)
      return false;
    bits_[bit / 64] |= mask;
    return true;
  }

 private:
  std::vector<std::uint64_t> bits_;
};

// A key's nk record as the file holds it, its offsets still those of the file.
struct KeyRecord {
  std::span<const std::uint8_t> bytes;  // the record, from its signature to its name's end
  std::uint16_t flags = 0;
  std::uint64_t lastWrite = 0;
  std::uint32_t subKeyCount = 0;
  std::uint32_t subKeyList = kNoCell;
  std::uint32_t valueCount = 0;
  std::uint32_t valueList = kNoCell;
  std::uint32_t security = kNoCell;
  std::uint32_t classCell = kNoCell;
  std::uint16_t classLength = 0;
  std::span<const std::uint8_t> name;  // as stored
  bool latin1Name = false;

  std::u16string Name() const;
};

// A value's vk record as the file holds it.
struct ValueRecord {
  std::span<const std::uint8_t> bytes;  // the record, from its signature to its name's end
  std::span<const std::uint8_t> name;
  bool latin1Name = false;
  std::uint32_t type = 0;
  std::uint32_t size = 0;   // of the data, in bytes
  bool inlineData = false;  // the data lie in the record itself
  std::uint32_t dataCell = kNoCell;

  std::u16string Name() const;
  // The name's length in UTF-16 units, and the name written to `out`, which has room
  // for that many.
  std::size_t NameLength() const { return latin1Name ? name.size() : name.size() / 2; }
  void NameInto(char16_t* out) const;
};

// Where the data of a value lie: the pieces that make them up, in order, and the
// cells that hold them (one data cell; or a big-data record, its segment list and
// the segments).
struct DataLayout {
  std::vector<std::span<const std::uint8_t>> pieces;
  std::vector<std::uint32_t> cells;
};

struct SubKey {
  std::uint32_t cell = 0;
  std::u16string name;
};

// A hive file opened once for the whole run, through platform::HeldFile: held shared
// with readers, or with the writers' lock for a run that will write the hive, and read
// through its read-only view. Every record is read with its bounds checked against
// the cells that the bins really hold, because the file may be damaged or made to
// harm, and against the view itself, because another program may change it under the
// run: a reference that leads nowhere is an answer (an empty span, nullopt, false),
// never a read outside the view. The records keep the file's offsets, which count
// from the first bin.
class HiveFile {
 public:
  // Opens and checks `file`. With `lock`, takes the writers' lock that every run takes
  // before it may write the hive, and holds it until the object goes. Throws EHiveError
  // with a German message for a file that is missing, not a hive, truncated or corrupt,
  // and for one that another run holds; EHiveInUse for one that another program keeps
  // to itself.
  static std::unique_ptr<HiveFile> Open(const std::filesystem::path& file, bool lock);
  // A file this process has just written, held (locked), with its base block and the
  // used cells its bins hold, to stand for the hive at `file`. Views it; throws
  // EHiveError when it cannot.
  static std::unique_ptr<HiveFile> Adopt(std::filesystem::path file,
                                         std::unique_ptr<platform::HeldFile> held,
                                         std::span<const std::uint8_t> baseBlock,
                                         CellSet usedCells);
  ~HiveFile();
  HiveFile(const HiveFile&) = delete;
  HiveFile& operator=(const HiveFile&) = delete;

  const std::filesystem::path& Path() const { return path_; }
  platform::HeldFile& File() { return *file_; }
  const BaseBlock& Base() const { return base_; }
  std::span<const std::uint8_t> BaseBlockBytes() const { return {map_, kBaseBlockSize}; }
  std::uint32_t RootCell() const { return rootCell_; }
  std::uint32_t BinsSize() const { return base_.binsSize; }
  // Data above kMaxCellData lie in big-data records.
  bool BigData() const { return base_.minorVersion >= kFirstBigDataMinor; }
  // Gives the lock up, for a hive that turned out to be only read.
  void Unlock() { file_->Unlock(); }
  // False once a read found the file shortened under the run, or the file could not be
  // held again after a failed replacement: what is read from then on is zeros. Cheap.
  bool Intact() const { return file_->Intact(); }
  // Intact, and the file still as long as the hive: asks the system.
  bool Whole() const;
  // Takes the view again after a replacement of the file was tried, which may have
  // moved it.
  void Refresh() { map_ = file_->View().data(); }

  // The data of the used cell at `cell`, without its size field; empty when no used
  // cell starts there.
  std::span<const std::uint8_t> Cell(std::uint32_t cell) const;
  std::optional<KeyRecord> Key(std::uint32_t cell) const;
  std::optional<ValueRecord> Value(std::uint32_t cell) const;
  // The sub keys of a key with their names, sorted as the registry lists them (names
  // compared by upper-casing each UTF-16 code unit); of names listed twice, the first.
  // False for a list that does not hold what the key says, a key record that cannot be
  // read, and an empty name or one longer than the registry allows.
  bool SubKeys(const KeyRecord& key, std::vector<SubKey>& subKeys) const;
  // The vk cells of a key's values in stored order; false when the list is damaged.
  bool ValueCells(const KeyRecord& key, std::vector<std::uint32_t>& cells) const;
  // False when the data do not lie where the record says.
  bool Data(const ValueRecord& value, DataLayout& layout) const;
  // The sk record of `cell` up to the end of its security descriptor; empty when damaged.
  std::span<const std::uint8_t> Security(std::uint32_t cell) const;
  // The class name's bytes; nullopt when the key has one that cannot be read.
  std::optional<std::span<const std::uint8_t>> ClassName(const KeyRecord& key) const;

 private:
  HiveFile() = default;

  std::filesystem::path path_;
  std::unique_ptr<platform::HeldFile> file_;
  const std::uint8_t* map_ = nullptr;  // the base block, then the bins
  std::size_t mapSize_ = 0;
  BaseBlock base_;
  std::uint32_t rootCell_ = 0;
  CellSet used_;
};

}  // namespace brindel::registry::store::hive
