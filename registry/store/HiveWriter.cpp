#include "registry/store/HiveWriter.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <unordered_map>
#include <utility>

#include "platform/Text.h"
#include "registry/store/HiveFormat.h"

namespace brindel::registry::store::hive {

using platform::Format;

namespace {

void WriteLE64(std::span<std::uint8_t> bytes, std::size_t offset, std::uint64_t value) {
  WriteLE32(bytes, offset, static_cast<std::uint32_t>(value));
  WriteLE32(bytes, offset + 4, static_cast<std::uint32_t>(value >> 32));
}

std::size_t RoundUp(std::size_t size, std::size_t step) {
  return (size + step - 1) / step * step;
}

void AppendSid(std::vector<std::uint8_t>& out,
               std::initializer_list<std::uint32_t> subAuthorities) {
  out.push_back(1);  // revision
  out.push_back(static_cast<std::uint8_t>(subAuthorities.size()));
  for (int b : {0, 0, 0, 0, 0, 5})
    out.push_back(static_cast<std::uint8_t>(b));  // NT authority
  for (std::uint32_t sub : subAuthorities) {
    for (int i = 0; i < 4; ++i)
      out.push_back(static_cast<std::uint8_t>(sub >> (8 * i)));
  }
}

void AppendAce(std::vector<std::uint8_t>& out, std::uint32_t mask,
               std::initializer_list<std::uint32_t> sid) {
  std::vector<std::uint8_t> sidBytes;
  AppendSid(sidBytes, sid);
  const auto size = static_cast<std::uint16_t>(8 + sidBytes.size());
  out.push_back(0);     // ACCESS_ALLOWED_ACE_TYPE
  out.push_back(0x02);  // CONTAINER_INHERIT_ACE: new sub keys get the same rights
  out.push_back(static_cast<std::uint8_t>(size));
  out.push_back(static_cast<std::uint8_t>(size >> 8));
  for (int i = 0; i < 4; ++i)
    out.push_back(static_cast<std::uint8_t>(mask >> (8 * i)));
  out.insert(out.end(), sidBytes.begin(), sidBytes.end());
}

// A self-relative security descriptor: owner Administrators, group SYSTEM, and a
// DACL granting SYSTEM and Administrators full access and Users read access.
std::vector<std::uint8_t> RootSecurityDescriptor() {
  constexpr std::uint32_t kKeyAllAccess = 0xF003F;
  constexpr std::uint32_t kKeyRead = 0x20019;
  std::vector<std::uint8_t> aces;
  AppendAce(aces, kKeyAllAccess, {18});
  AppendAce(aces, kKeyAllAccess, {32, 544});
  AppendAce(aces, kKeyRead, {32, 545});
  std::vector<std::uint8_t> acl{2, 0, 0, 0, 3, 0, 0, 0};  // revision 2, 3 ACEs
  acl.insert(acl.end(), aces.begin(), aces.end());
  WriteLE16(acl, 2, static_cast<std::uint16_t>(acl.size()));

  std::vector<std::uint8_t> owner;
  AppendSid(owner, {32, 544});
  std::vector<std::uint8_t> group;
  AppendSid(group, {18});

  constexpr std::uint32_t kHeaderSize = 20;
  std::vector<std::uint8_t> sd(kHeaderSize, 0);
  sd[0] = 1;                 // revision
  WriteLE16(sd, 2, 0x8004);  // SE_SELF_RELATIVE | SE_DACL_PRESENT
  const auto daclAt = kHeaderSize;
  const auto ownerAt = static_cast<std::uint32_t>(daclAt + acl.size());
  const auto groupAt = static_cast<std::uint32_t>(ownerAt + owner.size());
  WriteLE32(sd, 4, ownerAt);
  WriteLE32(sd, 8, groupAt);
  WriteLE32(sd, 12, 0);  // no SACL
  WriteLE32(sd, 16, daclAt);
  sd.insert(sd.end(), acl.begin(), acl.end());
  sd.insert(sd.end(), owner.begin(), owner.end());
  sd.insert(sd.end(), group.begin(), group.end());
  return sd;
}

// A file descriptor closed on every path out.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0)
      ::close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int Get() const { return fd_; }
  // Closes now and reports whether the close succeeded.
  bool Close() {
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0;
  }

 private:
  int fd_;
};

bool WriteAllAt(int fd, std::span<const std::uint8_t> bytes, off_t offset) {
  while (!bytes.empty()) {
    const ssize_t written = ::pwrite(fd, bytes.data(), bytes.size(), offset);
    if (written < 0 && errno == EINTR)
      continue;
    if (written <= 0)
      return false;
    bytes = bytes.subspan(static_cast<std::size_t>(written));
    offset += written;
  }
  return true;
}

}  // namespace

std::vector<std::uint8_t> EmptyHiveBytes() {
  constexpr std::size_t kRootKeyCell = kBinHeaderSize;  // right after the bin header
  static constexpr std::array<std::uint8_t, 4> kRootName{'R', 'O', 'O', 'T'};
  const std::size_t nkSize = RoundUp(kCellSizeField + nk::kName + kRootName.size(), 8);
  const std::size_t skCell = kRootKeyCell + nkSize;
  const auto sd = RootSecurityDescriptor();
  const std::size_t skSize = RoundUp(kCellSizeField + sk::kDescriptor + sd.size(), 8);
  const std::size_t freeCell = skCell + skSize;
  const std::uint64_t now = FileTimeNow();

  std::vector<std::uint8_t> file(kBaseBlockSize + kBinAlignment, 0);
  std::span<std::uint8_t> base(file.data(), kBaseBlockSize);
  std::span<std::uint8_t> bin(file.data() + kBaseBlockSize, kBinAlignment);

  base[0] = 'r', base[1] = 'e', base[2] = 'g', base[3] = 'f';
  WriteLE32(base, kSequence1, 1);
  WriteLE32(base, kSequence2, 1);
  WriteLE64(base, kTimeStamp, now);
  WriteLE32(base, kMajorVersion, 1);
  WriteLE32(base, kMinorVersion, 5);
  WriteLE32(base, kFileType, 0);    // primary hive
  WriteLE32(base, kFileFormat, 1);  // direct memory load
  WriteLE32(base, kRootCell, static_cast<std::uint32_t>(kRootKeyCell));
  WriteLE32(base, kBinsSize, static_cast<std::uint32_t>(kBinAlignment));
  WriteLE32(base, kClustering, 1);
  WriteLE32(base, kChecksum, BaseBlockChecksum(base));

  bin[0] = 'h', bin[1] = 'b', bin[2] = 'i', bin[3] = 'n';
  WriteLE32(bin, hbin::kOffset, 0);
  WriteLE32(bin, hbin::kSize, static_cast<std::uint32_t>(kBinAlignment));
  WriteLE64(bin, hbin::kTimeStamp, now);

  // Root key: a hive entry that cannot be deleted, with an ASCII name.
  auto rootCell = bin.subspan(kRootKeyCell, nkSize);
  WriteLE32(rootCell, 0, static_cast<std::uint32_t>(-static_cast<std::int32_t>(nkSize)));
  auto root = rootCell.subspan(kCellSizeField);
  root[0] = 'n', root[1] = 'k';
  WriteLE16(root, nk::kFlags, 0x002C);  // KEY_HIVE_ENTRY | KEY_NO_DELETE | KEY_COMP_NAME
  WriteLE64(root, nk::kLastWrite, now);
  WriteLE32(root, nk::kParent, 0);
  WriteLE32(root, nk::kSubKeyCount, 0);
  WriteLE32(root, nk::kVolatileSubKeyCount, 0);
  WriteLE32(root, nk::kSubKeyList, kNoCell);
  WriteLE32(root, nk::kVolatileSubKeyList, kNoCell);
  WriteLE32(root, nk::kValueCount, 0);
  WriteLE32(root, nk::kValueList, kNoCell);
  WriteLE32(root, nk::kSecurity, static_cast<std::uint32_t>(skCell));
  WriteLE32(root, nk::kClass, kNoCell);
  WriteLE16(root, nk::kNameLength, static_cast<std::uint16_t>(kRootName.size()));
  std::copy(kRootName.begin(), kRootName.end(), root.begin() + nk::kName);

  // Its security cell, the only one: the list of security cells links it to itself.
  auto securityCell = bin.subspan(skCell, skSize);
  WriteLE32(securityCell, 0, static_cast<std::uint32_t>(-static_cast<std::int32_t>(skSize)));
  auto security = securityCell.subspan(kCellSizeField);
  security[0] = 's', security[1] = 'k';
  WriteLE32(security, sk::kNext, static_cast<std::uint32_t>(skCell));
  WriteLE32(security, sk::kPrevious, static_cast<std::uint32_t>(skCell));
  WriteLE32(security, sk::kReferences, 1);
  WriteLE32(security, sk::kDescriptorSize, static_cast<std::uint32_t>(sd.size()));
  std::copy(sd.begin(), sd.end(), security.begin() + sk::kDescriptor);

  // The rest of the bin is one free cell.
  WriteLE32(bin, freeCell, static_cast<std::uint32_t>(kBinAlignment - freeCell));
  return file;
}

void WriteEmptyHive(const std::filesystem::path& file) {
  const auto bytes = EmptyHiveBytes();
  FileDescriptor fd(::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
  if (fd.Get() < 0) {
    throw EHiveError(
        Format(errno == EEXIST ? u"Die Hive-Datei '%s' gibt es schon; sie wird nicht überschrieben."
                               : u"Die Hive-Datei '%s' kann nicht angelegt werden.",
               {DisplayName(file)}));
  }
  if (!WriteAllAt(fd.Get(), bytes, 0) || ::fsync(fd.Get()) != 0 || !fd.Close()) {
    std::error_code ignored;
    std::filesystem::remove(file, ignored);
    throw EHiveError(
        Format(u"Die Hive-Datei '%s' kann nicht geschrieben werden.", {DisplayName(file)}));
  }
}

ECommitError::ECommitError(std::u16string reason, std::optional<std::u16string> damagedKey)
    : EHiveError(std::move(reason)), damagedKey_(std::move(damagedKey)) {}

namespace {

constexpr std::u16string_view kCannotWrite = u"die neue Datei lässt sich nicht schreiben";
constexpr std::u16string_view kDiskFull = u"auf dem Datenträger ist nicht genug Platz";

// The file operations of one commit, counted, each of which a test may make fail.
class Steps {
 public:
  explicit Steps(const CommitFault& fault) : fault_(fault) {}
  // The errno the next operation is to fail with; 0 to go on.
  int Next() { return fault_ ? fault_(++count_) : 0; }

 private:
  const CommitFault& fault_;
  std::size_t count_ = 0;
};

[[noreturn]] void FailWrite(int error) {
  throw ECommitError(std::u16string(error == ENOSPC ? kDiskFull : kCannotWrite));
}

// The new file, written front to back through a buffer. A field of a cell that is
// known only later is patched: in the buffer while the cell is still there, in the
// file after that.
class Output {
 public:
  Output(int fd, Steps& steps) : fd_(fd), steps_(steps) { buffer_.reserve(kCapacity); }

  // `size` zeroed bytes at the end of the file, to be filled before the next call.
  std::span<std::uint8_t> Append(std::size_t size) {
    if (buffer_.size() + size > buffer_.capacity())
      Flush();
    const std::size_t at = buffer_.size();
    buffer_.resize(at + size);
    return std::span(buffer_).subspan(at, size);
  }

  void Patch32(std::uint64_t fileOffset, std::uint32_t value) {
    if (fileOffset >= start_) {
      WriteLE32(buffer_, static_cast<std::size_t>(fileOffset - start_), value);
      return;
    }
    std::array<std::uint8_t, 4> bytes{};
    WriteLE32(bytes, 0, value);
    WriteAt(bytes, fileOffset);
  }

  void Flush() {
    if (!buffer_.empty())
      WriteAt(buffer_, start_);
    start_ += buffer_.size();
    buffer_.clear();
    // The disk starts on what is written while the rest is still being laid out, so
    // that the sync before the rename waits for the last stretch only, not the whole
    // hive. Only a start: whether it worked, the sync finds out.
    if (start_ - started_ >= kWritebackStep) {
      ::sync_file_range(fd_, static_cast<off_t>(started_), static_cast<off_t>(start_ - started_),
                        SYNC_FILE_RANGE_WRITE);
      started_ = start_;
    }
  }

  void WriteAt(std::span<const std::uint8_t> bytes, std::uint64_t fileOffset) {
    int error = steps_.Next();
    errno = 0;
    if (error == 0 && !WriteAllAt(fd_, bytes, static_cast<off_t>(fileOffset)))
      error = errno != 0 ? errno : EIO;
    if (error != 0)
      FailWrite(error);
  }

 private:
  static constexpr std::size_t kCapacity = std::size_t{1} << 20;
  static constexpr std::uint64_t kWritebackStep = std::uint64_t{8} << 20;
  int fd_;
  Steps& steps_;
  std::uint64_t start_ = kBaseBlockSize;  // the file offset of the buffer's first byte
  std::uint64_t started_ = 0;             // where the writeback not yet started begins
  std::vector<std::uint8_t> buffer_;
};

// Lays the cells out one after the other in bins of 4 KiB, as Windows does; a cell
// larger than that gets a bin of its own size, whose rest the next cells fill. The
// end of a bin that the next cell does not fit in becomes one free cell.
class Cells {
 public:
  Cells(Output& out, std::uint64_t now) : out_(out), now_(now) {}

  // A new used cell with room for `payload` bytes: its offset and its data, zeroed.
  std::pair<std::uint32_t, std::span<std::uint8_t>> Place(std::size_t payload) {
    const std::size_t size = RoundUp(4 + payload, 8);
    if (next_ + size > binEnd_) {
      CloseBin();
      const std::size_t binSize =
          std::max(kBinAlignment, RoundUp(kBinHeaderSize + size, kBinAlignment));
      if (binEnd_ + binSize > kMaxBinsSize)
        throw ECommitError(u"die Hive-Datei würde größer, als das Format erlaubt");
      auto header = out_.Append(kBinHeaderSize);
      header[0] = 'h', header[1] = 'b', header[2] = 'i', header[3] = 'n';
      WriteLE32(header, hbin::kOffset, static_cast<std::uint32_t>(binEnd_));
      WriteLE32(header, hbin::kSize, static_cast<std::uint32_t>(binSize));
      // The first bin's time stands in for the base block's.
      if (binEnd_ == 0)
        WriteLE64(header, hbin::kTimeStamp, now_);
      next_ = binEnd_ + kBinHeaderSize;
      binEnd_ += binSize;
    }
    const auto cell = static_cast<std::uint32_t>(next_);
    auto bytes = out_.Append(size);
    WriteLE32(bytes, 0, static_cast<std::uint32_t>(-static_cast<std::int32_t>(size)));
    used_.Insert(cell);
    next_ += size;
    return {cell, bytes.subspan(4)};
  }

  // Ends the last bin; the size of all bins.
  std::uint32_t Finish() {
    CloseBin();
    return static_cast<std::uint32_t>(binEnd_);
  }

  CellSet TakeUsed() { return std::move(used_); }

 private:
  static constexpr std::size_t kMaxBinsSize = 0x7FFFF000u;

  void CloseBin() {
    if (next_ < binEnd_) {
      auto rest = out_.Append(binEnd_ - next_);
      WriteLE32(rest, 0, static_cast<std::uint32_t>(binEnd_ - next_));
    }
    next_ = binEnd_;
  }

  Output& out_;
  std::uint64_t now_;
  std::size_t binEnd_ = 0;
  std::size_t next_ = 0;
  CellSet used_;
};

// Where a cell's field lies in the file.
std::uint64_t FieldAt(std::uint32_t cell, std::size_t field) {
  return kBaseBlockSize + std::uint64_t{cell} + kCellSizeField + field;
}

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
        written_(old.BinsSize()),
        leafKind_(old.Base().minorVersion >= 5   ? 'h'
                  : old.Base().minorVersion >= 3 ? 'f'
                                                 : 'i') {}

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
      listed.push_back({WriteKey(*child, cell, securityOld), Hash(child->name)});
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
  struct Listed {
    std::uint32_t cell = 0;
    std::uint32_t hash = 0;
  };
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

  std::uint32_t Hash(std::u16string_view name) const {
    return leafKind_ == 'h' ? NameHash(name) : leafKind_ == 'f' ? NameHint(name) : 0;
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
      listed.push_back({CopyKey(subKey.cell, cell, depth + 1), Hash(subKey.name)});
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
    if (listed.empty())
      return;
    // As Windows keeps them: each leaf fits one 4 KiB bin; more leaves hang below an
    // index root.
    const std::size_t entry = leafKind_ == 'i' ? 4 : 8;
    const std::size_t perPage = (kBinAlignment - kBinHeaderSize - 8) / entry;
    std::uint32_t list = 0;
    if (listed.size() <= perPage) {
      list = WriteLeaf(listed);
    } else {
      const std::size_t maxLeaves = (kBinAlignment - kBinHeaderSize - 8) / 4;
      const std::size_t perLeaf = std::max(perPage, (listed.size() + maxLeaves - 1) / maxLeaves);
      std::vector<std::uint32_t> leaves;
      for (std::size_t first = 0; first < listed.size(); first += perLeaf) {
        leaves.push_back(
            WriteLeaf(std::span(listed).subspan(first, std::min(perLeaf, listed.size() - first))));
      }
      auto [root, bytes] = cells_.Place(kListEntries + 4 * leaves.size());
      bytes[0] = 'r', bytes[1] = 'i';
      WriteLE16(bytes, kListCount, static_cast<std::uint16_t>(leaves.size()));
      for (std::size_t i = 0; i < leaves.size(); ++i)
        WriteLE32(bytes, kListEntries + 4 * i, leaves[i]);
      list = root;
    }
    out_.Patch32(FieldAt(cell, nk::kSubKeyList), list);
  }

  std::uint32_t WriteLeaf(std::span<const Listed> listed) {
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
    std::uint32_t data = value->dataCell;
    if (!value->inlineData)
      data = value->size == 0 ? kNoCell : WriteData(layout.pieces, value->size);
    auto [cell, bytes] = cells_.Place(value->bytes.size());
    std::copy(value->bytes.begin(), value->bytes.end(), bytes.begin());
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
  CellSet written_;  // cells of the old file already taken
  char leafKind_;
  std::unordered_map<std::uint32_t, Security> security_;  // by the old file's cell
  std::unordered_map<std::uint32_t, std::uint32_t> cellToOld_;
  std::vector<std::uint32_t> order_;       // the new security cells in the order placed
  std::vector<std::u16string_view> path_;  // the names down to the key being written
};

// Temporary files of this naming beside a hive are ours: left by a run that was
// killed while it wrote, since a run that holds the hive's lock removes its own.
std::string TempPrefix(const std::filesystem::path& file) {
  return "." + file.filename().string() + ".brindel-";
}

void RemoveLeftovers(const std::filesystem::path& folder, const std::filesystem::path& file) {
  const std::string prefix = TempPrefix(file);
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
    const std::string name = entry.path().filename().string();
    if (name.size() == prefix.size() + 6 && name.starts_with(prefix) &&
        entry.is_regular_file(error) && !entry.is_symlink(error)) {
      ::unlink(entry.path().c_str());
    }
  }
}

// The new file until it has replaced the hive: removed on every way out before that.
class TempFile {
 public:
  TempFile(std::string path, int fd) : path_(std::move(path)), fd_(fd) {}
  ~TempFile() {
    if (fd_ >= 0)
      ::close(fd_);
    if (!path_.empty())
      ::unlink(path_.c_str());
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  const std::string& Path() const { return path_; }
  int Descriptor() const { return fd_; }
  // The descriptor now belongs to someone else.
  void GiveDescriptor() { fd_ = -1; }
  // The file is in place: it stays.
  void Keep() { path_.clear(); }

 private:
  std::string path_;
  int fd_;
};

}  // namespace

std::unique_ptr<HiveFile> CommitHive(const HiveFile& old, Key& root, const CommitFault& fault) {
  const std::filesystem::path& file = old.Path();
  // The new file goes next to the old one, so that the rename stays in one file system.
  const auto folder = file.has_parent_path() ? file.parent_path() : std::filesystem::path(".");
  RemoveLeftovers(folder, file);

  Steps steps(fault);
  std::string pattern = (folder / (TempPrefix(file) + "XXXXXX")).string();
  const int error = steps.Next();
  const int fd = error != 0 ? -1 : ::mkostemp(pattern.data(), O_CLOEXEC);
  if (fd < 0)
    throw ECommitError(u"im Ordner kann keine neue Datei angelegt werden");
  TempFile temp(pattern, fd);
  // The lock goes with the file into the hive's place; nobody else knows the file yet.
  ::flock(fd, LOCK_EX | LOCK_NB);
  // The original's permissions and, where we may, its owner.
  struct stat original {};
  if (::fstat(old.Descriptor(), &original) == 0) {
    ::fchmod(fd, original.st_mode & 07777);
    if (::fchown(fd, original.st_uid, original.st_gid) != 0) {
      // Only root may hand a file to another owner; the hive stays readable for its user.
    }
  }

  const std::uint64_t now = FileTimeNow();
  Output out(fd, steps);
  Cells cells(out, now);
  TreeWriter writer(old, cells, out);
  const auto top = old.Key(root.cell);
  if (!top)
    throw ECommitError(u"die Datei ist beschädigt", std::u16string());
  // The top key's parent lies outside the hive; it keeps what Windows stored there.
  const std::uint32_t rootCell =
      writer.WriteKey(root, ReadLE32(top->bytes, nk::kParent), top->security);
  writer.FinishSecurity();
  const std::uint32_t binsSize = cells.Finish();
  out.Flush();

  // The base block of the old file, for what Windows keeps there, as a clean hive.
  std::array<std::uint8_t, kBaseBlockSize> base{};
  const auto oldBase = old.BaseBlockBytes();
  std::copy(oldBase.begin(), oldBase.end(), base.begin());
  const std::uint32_t sequence = old.Base().sequence2 + 1;
  WriteLE32(base, kSequence1, sequence);
  WriteLE32(base, kSequence2, sequence);
  WriteLE64(base, kTimeStamp, now);
  WriteLE32(base, kRootCell, rootCell);
  WriteLE32(base, kBinsSize, binsSize);
  WriteLE32(base, kChecksum, BaseBlockChecksum(base));
  out.WriteAt(base, 0);

  // Durable before it replaces the original.
  if (int synced = steps.Next(); synced != 0 || ::fsync(fd) != 0)
    throw ECommitError(u"die neue Datei lässt sich nicht sichern");
  std::unique_ptr<HiveFile> written;
  try {
    written = HiveFile::Adopt(file, fd, base, cells.TakeUsed());
  } catch (const EHiveError&) {
    throw ECommitError(u"die neue Datei lässt sich nicht lesen");
  }
  temp.GiveDescriptor();
  if (int renamed = steps.Next(); renamed != 0 || ::rename(temp.Path().c_str(), file.c_str()) != 0)
    throw ECommitError(u"die neue Datei kann die alte nicht ersetzen");
  temp.Keep();
  // The rename is durable once the folder is; should that fail, the hive is the new
  // file all the same, or after a crash the old one, but never half of either.
  if (steps.Next() == 0) {
    if (const int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dirFd >= 0) {
      ::fsync(dirFd);
      ::close(dirFd);
    }
  }
  return written;
}

}  // namespace brindel::registry::store::hive
