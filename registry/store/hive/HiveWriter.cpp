#include "registry/store/hive/HiveWriter.h"

#include <algorithm>
#include <optional>
#include <unordered_map>
#include <utility>

#include "registry/store/hive/HiveLists.h"

namespace brindel::registry::store::hive {

namespace {

bool FitsLatin1(std::u16string_view name) {
  return std::all_of(name.begin(), name.end(), [](char16_t unit) { return unit <= 0xFF; });
}

// A name as a record stores it: Latin-1 where every character fits a byte, as
// Windows does, UTF-16LE otherwise.
std::vector<std::uint8_t> StoredName(std::u16string_view name) {
  std::vector<std::uint8_t> bytes;
  if (FitsLatin1(name)) {
    bytes.assign(name.begin(), name.end());
  } else {
    for (char16_t unit : name) {
      bytes.push_back(static_cast<std::uint8_t>(unit));
      bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
    }
  }
  return bytes;
}

// The bytes of a value's data, taken in pieces of any size.
class PieceReader {
 public:
  explicit PieceReader(std::span<const std::span<const std::uint8_t>> pieces) : pieces_(pieces) {}
  void CopyTo(std::span<std::uint8_t> out) {
    while (!out.empty()) {
      const auto piece = pieces_[index_].subspan(offset_);
      const std::size_t take = std::min(piece.size(), out.size());
      std::copy_n(piece.begin(), take, out.begin());
      out = out.subspan(take);
      offset_ += take;
      if (offset_ == pieces_[index_].size())
        ++index_, offset_ = 0;
    }
  }

 private:
  std::span<const std::span<const std::uint8_t>> pieces_;
  std::size_t index_ = 0;
  std::size_t offset_ = 0;
};

// Writes the keys of a hive as new cells: the keys the store holds as they are now,
// the keys below the ones it never read as the old file has them, each record's bytes
// kept where nothing changed. Every cell of the old file is taken at most once, so a
// file whose lists lead to one key twice or share data cannot make the new one grow
// without end; that, and every record that cannot be read, is damage.
class TreeWriter {
 public:
  TreeWriter(const HiveFile& old, Cells& cells, Output& out)
      : old_(old),
        cells_(cells),
        out_(out),
        lists_(cells, old.Base().minorVersion),
        written_(old.BinsSize()) {}

  // A key the store holds, with everything below it.
  std::uint32_t WriteKey(Key& key, std::uint32_t parent, std::uint32_t inheritedSecurity) {
    if (key.cell != 0 && !key.loaded) {
      key.newCell = CopyKey(key.cell, parent, key.depth);
      return key.newCell;
    }
    std::optional<KeyRecord> old;
    if (key.cell != 0) {
      old = old_.Key(key.cell);
      if (!old || !written_.Insert(key.cell))
        Damaged();
    }
    std::vector<std::uint32_t> valueCells;
    valueCells.reserve(key.values.size());
    std::uint32_t maxValueName = 0;
    std::uint32_t maxValueData = 0;
    for (KeyValue& value : key.values) {
      value.newCell = value.cell != 0 ? CopyValue(value.cell) : NewValue(value);
      valueCells.push_back(value.newCell);
      maxValueName = std::max(maxValueName, static_cast<std::uint32_t>(2 * value.name.size()));
      maxValueData = std::max(maxValueData, value.size);
    }
    const std::uint32_t valueList = WriteCellList(valueCells);
    const std::uint32_t classCell = old ? CopyClass(*old) : kNoCell;
    const std::uint32_t securityOld = old ? old->security : inheritedSecurity;
    const std::uint32_t security = SecurityFor(securityOld);

    std::vector<std::uint8_t> record;
    if (old) {
      record.assign(old->bytes.begin(), old->bytes.end());
    } else {
      const auto name = StoredName(key.name);
      record.resize(nk::kName + name.size());
      record[0] = 'n', record[1] = 'k';
      WriteLE16(record, nk::kFlags, FitsLatin1(key.name) ? nk::kCompressedName : 0);
      WriteLE16(record, nk::kNameLength, static_cast<std::uint16_t>(name.size()));
      std::copy(name.begin(), name.end(), record.begin() + nk::kName);
    }
    if (!old || key.touched) {
      WriteLE64(record, nk::kLastWrite, key.lastWrite);
      std::uint32_t maxName = 0;
      std::uint32_t maxClass = 0;
      for (const auto& child : key.children) {
        maxName = std::max(maxName, static_cast<std::uint32_t>(2 * child->name.size()));
        if (child->cell != 0) {
          const auto childRecord = old_.Key(child->cell);
          maxClass = std::max<std::uint32_t>(maxClass, childRecord ? childRecord->classLength : 0);
        }
      }
      // The upper half holds flags of the key itself.
      const std::uint32_t flags = ReadLE32(record, nk::kMaxNameLength) & 0xFFFF0000u;
      WriteLE32(record, nk::kMaxNameLength, flags | std::min<std::uint32_t>(maxName, 0xFFFF));
      WriteLE32(record, nk::kMaxClassLength, maxClass);
      WriteLE32(record, nk::kMaxValueNameLength, maxValueName);
      WriteLE32(record, nk::kMaxValueDataLength, maxValueData);
    }
    const std::uint32_t cell = PlaceKey(record, parent, key.children.size(), valueCells.size(),
                                        valueList, security, classCell);

    std::vector<Listed> listed;
    listed.reserve(key.children.size());
    for (const auto& child : key.children) {
      path_.push_back(child->name);
      listed.push_back({WriteKey(*child, cell, securityOld), lists_.Hash(child->name)});
      path_.pop_back();
    }
    FinishKey(cell, listed);
    key.newCell = cell;
    return cell;
  }

  // Links the security records into their list and stores how many keys use each.
  void FinishSecurity() {
    const std::size_t count = order_.size();
    for (std::size_t i = 0; i < count; ++i) {
      const std::uint32_t cell = order_[i];
      out_.Patch32(FieldAt(cell, sk::kNext), order_[(i + 1) % count]);
      out_.Patch32(FieldAt(cell, sk::kPrevious), order_[(i + count - 1) % count]);
      out_.Patch32(FieldAt(cell, sk::kReferences), security_.at(cellToOld_.at(cell)).references);
    }
  }

 private:
  struct Security {
    std::uint32_t cell = 0;
    std::uint32_t references = 0;
  };

  [[noreturn]] void Damaged() const {
    std::u16string path;
    for (std::u16string_view part : path_) {
      if (!path.empty())
        path += u'\\';
      path += part;
    }
    throw ECommitError(u"die Datei ist beschädigt", path);
  }

  // A key below the ones the store read, as the old file has it.
  std::uint32_t CopyKey(std::uint32_t oldCell, std::uint32_t parent, std::size_t depth) {
    const auto old = old_.Key(oldCell);
    if (!old || !written_.Insert(oldCell))
      Damaged();
    std::vector<SubKey> subKeys;
    if (!old_.SubKeys(*old, subKeys) || (!subKeys.empty() && depth >= kMaxKeyDepth))
      Damaged();
    std::vector<std::uint32_t> valueCells;
    if (!old_.ValueCells(*old, valueCells))
      Damaged();
    for (std::uint32_t& value : valueCells)
      value = CopyValue(value);
    const std::uint32_t valueList = WriteCellList(valueCells);
    const std::uint32_t classCell = CopyClass(*old);
    const std::uint32_t security = SecurityFor(old->security);
    const std::uint32_t cell = PlaceKey(old->bytes, parent, subKeys.size(), valueCells.size(),
                                        valueList, security, classCell);
    std::vector<Listed> listed;
    listed.reserve(subKeys.size());
    for (const SubKey& subKey : subKeys) {
      path_.push_back(subKey.name);
      listed.push_back({CopyKey(subKey.cell, cell, depth + 1), lists_.Hash(subKey.name)});
      path_.pop_back();
    }
    FinishKey(cell, listed);
    return cell;
  }

  std::uint32_t PlaceKey(std::span<const std::uint8_t> record, std::uint32_t parent,
                         std::size_t subKeys, std::size_t values, std::uint32_t valueList,
                         std::uint32_t security, std::uint32_t classCell) {
    auto [cell, bytes] = cells_.Place(record.size());
    std::copy(record.begin(), record.end(), bytes.begin());
    WriteLE32(bytes, nk::kParent, parent);
    WriteLE32(bytes, nk::kSubKeyCount, static_cast<std::uint32_t>(subKeys));
    // Volatile keys live in memory only; a file never holds them.
    WriteLE32(bytes, nk::kVolatileSubKeyCount, 0);
    WriteLE32(bytes, nk::kSubKeyList, kNoCell);
    WriteLE32(bytes, nk::kVolatileSubKeyList, kNoCell);
    WriteLE32(bytes, nk::kValueCount, static_cast<std::uint32_t>(values));
    WriteLE32(bytes, nk::kValueList, valueList);
    WriteLE32(bytes, nk::kSecurity, security);
    WriteLE32(bytes, nk::kClass, classCell);
    return cell;
  }

  // The sub key list goes after the sub keys, which are placed only then.
  void FinishKey(std::uint32_t cell, const std::vector<Listed>& listed) {
    if (!listed.empty())
      out_.Patch32(FieldAt(cell, nk::kSubKeyList), lists_.Write(listed));
  }

  std::uint32_t WriteCellList(const std::vector<std::uint32_t>& cells) {
    if (cells.empty())
      return kNoCell;
    auto [cell, bytes] = cells_.Place(4 * cells.size());
    for (std::size_t i = 0; i < cells.size(); ++i)
      WriteLE32(bytes, 4 * i, cells[i]);
    return cell;
  }

  std::uint32_t CopyClass(const KeyRecord& old) {
    const auto name = old_.ClassName(old);
    if (!name)
      Damaged();
    if (name->empty())
      return kNoCell;
    if (!written_.Insert(old.classCell))
      Damaged();
    auto [cell, bytes] = cells_.Place(name->size());
    std::copy(name->begin(), name->end(), bytes.begin());
    return cell;
  }

  // Keys that shared a security record in the old file share one in the new file.
  std::uint32_t SecurityFor(std::uint32_t oldCell) {
    auto it = security_.find(oldCell);
    if (it == security_.end()) {
      const auto record = old_.Security(oldCell);
      if (record.empty())
        Damaged();
      auto [cell, bytes] = cells_.Place(record.size());
      std::copy(record.begin(), record.end(), bytes.begin());
      it = security_.emplace(oldCell, Security{cell, 0}).first;
      order_.push_back(cell);
      cellToOld_.emplace(cell, oldCell);
    }
    ++it->second.references;
    return it->second.cell;
  }

  std::uint32_t CopyValue(std::uint32_t oldCell) {
    const auto value = old_.Value(oldCell);
    DataLayout layout;
    if (!value || !written_.Insert(oldCell) || !old_.Data(*value, layout))
      Damaged();
    for (std::uint32_t cell : layout.cells) {
      if (!written_.Insert(cell))
        Damaged();
    }
    // The data go first: the record's bytes stay valid only until the next cell.
    std::uint32_t data = value->dataCell;
    if (value->size == 0)
      data = 0;
    else if (!value->inlineData)
      data = WriteData(layout.pieces, value->size);
    auto [cell, bytes] = cells_.Place(value->bytes.size());
    std::copy(value->bytes.begin(), value->bytes.end(), bytes.begin());
    // No data: four bytes in the record, none of them used, as Windows writes it.
    // Readers follow the data field of a value not flagged so, even for no data.
    if (value->size == 0)
      WriteLE32(bytes, vk::kDataSize, vk::kInlineData);
    WriteLE32(bytes, vk::kData, data);
    return cell;
  }

  std::uint32_t NewValue(const KeyValue& value) {
    const auto name = StoredName(value.name);
    std::uint32_t size = value.size;
    std::uint32_t data = 0;
    if (value.size <= 4) {
      // Up to four bytes lie in the record itself.
      size |= vk::kInlineData;
      for (std::size_t i = 0; i < value.data.size(); ++i)
        data |= std::uint32_t{value.data[i]} << (8 * i);
    } else {
      const std::span<const std::uint8_t> pieces[] = {value.data};
      data = WriteData(pieces, value.size);
    }
    auto [cell, bytes] = cells_.Place(vk::kName + name.size());
    bytes[0] = 'v', bytes[1] = 'k';
    WriteLE16(bytes, vk::kNameLength, static_cast<std::uint16_t>(name.size()));
    WriteLE32(bytes, vk::kDataSize, size);
    WriteLE32(bytes, vk::kData, data);
    WriteLE32(bytes, vk::kType, value.type);
    WriteLE16(bytes, vk::kFlags, FitsLatin1(value.name) ? vk::kCompressedName : 0);
    std::copy(name.begin(), name.end(), bytes.begin() + vk::kName);
    return cell;
  }

  // Data up to kMaxCellData in one cell; more in a big-data record where the format
  // has them: segments of kMaxCellData bytes, their list, and the record.
  std::uint32_t WriteData(std::span<const std::span<const std::uint8_t>> pieces, std::size_t size) {
    PieceReader reader(pieces);
    if (!old_.BigData() || size <= kMaxCellData) {
      auto [cell, bytes] = cells_.Place(size);
      reader.CopyTo(bytes.first(size));
      return cell;
    }
    std::vector<std::uint32_t> segments;
    for (std::size_t done = 0; done < size; done += kMaxCellData) {
      const std::size_t length = std::min(kMaxCellData, size - done);
      // Readers take a segment's data as its cell less 8 bytes, as Windows sizes full
      // segments; the last one gets the same slack.
      auto [cell, bytes] = cells_.Place(length + 4);
      reader.CopyTo(bytes.first(length));
      segments.push_back(cell);
    }
    const std::uint32_t list = WriteCellList(segments);
    auto [cell, bytes] = cells_.Place(8);
    bytes[0] = 'd', bytes[1] = 'b';
    WriteLE16(bytes, kBigDataSegments, static_cast<std::uint16_t>(segments.size()));
    WriteLE32(bytes, kBigDataList, list);
    return cell;
  }

  const HiveFile& old_;
  Cells& cells_;
  Output& out_;
  SubKeyLists lists_;
  CellSet written_;                                       // cells of the old file already taken
  std::unordered_map<std::uint32_t, Security> security_;  // by the old file's cell
  std::unordered_map<std::uint32_t, std::uint32_t> cellToOld_;
  std::vector<std::uint32_t> order_;       // the new security cells in the order placed
  std::vector<std::u16string_view> path_;  // the names down to the key being written
};

}  // namespace

std::uint32_t WriteTree(const HiveFile& old, Key& root, Cells& cells, Output& out) {
  TreeWriter writer(old, cells, out);
  const auto top = old.Key(root.cell);
  if (!top)
    throw ECommitError(u"die Datei ist beschädigt", std::u16string());
  // The top key's parent lies outside the hive; it keeps what Windows stored there.
  const std::uint32_t rootCell =
      writer.WriteKey(root, ReadLE32(top->bytes, nk::kParent), top->security);
  writer.FinishSecurity();
  return rootCell;
}

}  // namespace brindel::registry::store::hive
