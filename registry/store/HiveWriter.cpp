#include "registry/store/HiveWriter.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>

#include "platform/Text.h"
#include "registry/store/HiveFormat.h"

namespace brindel::registry::store::hive {

using platform::CompareTextIgnoreCase;
using platform::Format;
using platform::UpperUnit;

namespace {

constexpr std::uint32_t kNoCell = 0xFFFFFFFFu;

// FILETIME of now: 100-ns intervals since 1601.
std::uint64_t FileTimeNow() {
  constexpr std::uint64_t kUnixEpochAsFileTime = 116444736000000000ull;
  const auto since1970 = std::chrono::duration_cast<std::chrono::microseconds>(
      std::chrono::system_clock::now().time_since_epoch());
  return kUnixEpochAsFileTime + static_cast<std::uint64_t>(since1970.count()) * 10;
}

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

bool ReadAllAt(int fd, std::span<std::uint8_t> bytes, off_t offset) {
  while (!bytes.empty()) {
    const ssize_t got = ::pread(fd, bytes.data(), bytes.size(), offset);
    if (got < 0 && errno == EINTR)
      continue;
    if (got <= 0)
      return false;
    bytes = bytes.subspan(static_cast<std::size_t>(got));
    offset += got;
  }
  return true;
}

}  // namespace

std::vector<std::uint8_t> EmptyHiveBytes() {
  constexpr std::size_t kRootKeyCell = kBinHeaderSize;  // right after the bin header
  static constexpr std::array<std::uint8_t, 4> kRootName{'R', 'O', 'O', 'T'};
  constexpr std::size_t kNkFixedSize = 0x4C;  // nk record without its name
  const std::size_t nkSize = RoundUp(4 + kNkFixedSize + kRootName.size(), 8);
  const std::size_t skCell = kRootKeyCell + nkSize;
  const auto sd = RootSecurityDescriptor();
  const std::size_t skSize = RoundUp(4 + 20 + sd.size(), 8);
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
  WriteLE32(bin, 4, 0);  // offset of this bin
  WriteLE32(bin, 8, static_cast<std::uint32_t>(kBinAlignment));
  WriteLE64(bin, 0x14, now);

  // Root key: a hive entry that cannot be deleted, with an ASCII name.
  auto nk = bin.subspan(kRootKeyCell, nkSize);
  WriteLE32(nk, 0, static_cast<std::uint32_t>(-static_cast<std::int32_t>(nkSize)));
  nk[4] = 'n', nk[5] = 'k';
  WriteLE16(nk, 6, 0x002C);  // KEY_HIVE_ENTRY | KEY_NO_DELETE | KEY_COMP_NAME
  WriteLE64(nk, 8, now);
  WriteLE32(nk, 4 + 0x10, 0);        // parent
  WriteLE32(nk, 4 + 0x14, 0);        // sub keys
  WriteLE32(nk, 4 + 0x18, 0);        // volatile sub keys
  WriteLE32(nk, 4 + 0x1C, kNoCell);  // sub key list
  WriteLE32(nk, 4 + 0x20, kNoCell);  // volatile sub key list
  WriteLE32(nk, 4 + 0x24, 0);        // values
  WriteLE32(nk, 4 + 0x28, kNoCell);  // value list
  WriteLE32(nk, 4 + 0x2C, static_cast<std::uint32_t>(skCell));
  WriteLE32(nk, 4 + 0x30, kNoCell);  // class name
  WriteLE16(nk, 4 + 0x48, static_cast<std::uint16_t>(kRootName.size()));
  std::copy(kRootName.begin(), kRootName.end(), nk.begin() + 4 + kNkFixedSize);

  // Its security cell, the only one: the list of security cells links it to itself.
  auto sk = bin.subspan(skCell, skSize);
  WriteLE32(sk, 0, static_cast<std::uint32_t>(-static_cast<std::int32_t>(skSize)));
  sk[4] = 's', sk[5] = 'k';
  WriteLE32(sk, 8, static_cast<std::uint32_t>(skCell));   // next
  WriteLE32(sk, 12, static_cast<std::uint32_t>(skCell));  // previous
  WriteLE32(sk, 16, 1);                                   // reference count
  WriteLE32(sk, 20, static_cast<std::uint32_t>(sd.size()));
  std::copy(sd.begin(), sd.end(), sk.begin() + 24);

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

void AppendBigData(const std::filesystem::path& file, std::span<const BigDataValue> values) {
  if (values.empty())
    return;
  const auto fail = [&file]() {
    return EHiveError(Format(u"Große Werte können nicht in die Hive-Datei '%s' geschrieben werden.",
                             {DisplayName(file)}));
  };
  FileDescriptor fd(::open(file.c_str(), O_RDWR | O_CLOEXEC));
  if (fd.Get() < 0)
    throw fail();
  std::vector<std::uint8_t> base(kBaseBlockSize);
  if (!ReadAllAt(fd.Get(), base, 0))
    throw fail();
  const std::size_t binStart = ReadLE32(base, kBinsSize);  // relative to the first bin

  // Lay the cells out one after the other in the new bin: per value a db cell, its
  // segment list, then the segments.
  struct Placement {
    std::size_t db = 0;
  };
  std::vector<Placement> placements;
  std::vector<std::uint8_t> cells;  // the bin's contents after its header
  const auto allocate = [&cells](std::size_t size) {
    const std::size_t cellSize = RoundUp(4 + size, 8);
    const std::size_t at = cells.size();
    cells.resize(at + cellSize, 0);
    WriteLE32(cells, at, static_cast<std::uint32_t>(-static_cast<std::int32_t>(cellSize)));
    return at;
  };
  const auto relative = [binStart](std::size_t inCells) {
    return static_cast<std::uint32_t>(binStart + kBinHeaderSize + inCells);
  };
  for (const auto& value : values) {
    const std::size_t segments = (value.data.size() + kMaxCellData - 1) / kMaxCellData;
    if (segments < 2 || segments > 0xFFFF)
      throw fail();
    const std::size_t db = allocate(8);
    const std::size_t list = allocate(4 * segments);
    cells[db + 4] = 'd', cells[db + 5] = 'b';
    WriteLE16(cells, db + 6, static_cast<std::uint16_t>(segments));
    WriteLE32(cells, db + 8, relative(list));
    for (std::size_t i = 0; i < segments; ++i) {
      const std::size_t from = i * kMaxCellData;
      const std::size_t length = std::min(kMaxCellData, value.data.size() - from);
      // Readers take a segment's data as its cell less 8 bytes, as Windows sizes
      // full segments; the last one gets the same slack.
      const std::size_t segment = allocate(length + 4);
      std::copy_n(value.data.begin() + static_cast<std::ptrdiff_t>(from), length,
                  cells.begin() + static_cast<std::ptrdiff_t>(segment + 4));
      WriteLE32(cells, list + 4 + 4 * i, relative(segment));
    }
    placements.push_back({db});
  }
  const std::size_t binSize = RoundUp(kBinHeaderSize + cells.size(), kBinAlignment);
  std::vector<std::uint8_t> bin(binSize, 0);
  bin[0] = 'h', bin[1] = 'b', bin[2] = 'i', bin[3] = 'n';
  WriteLE32(bin, 4, static_cast<std::uint32_t>(binStart));
  WriteLE32(bin, 8, static_cast<std::uint32_t>(binSize));
  std::copy(cells.begin(), cells.end(), bin.begin() + kBinHeaderSize);
  if (const std::size_t rest = binSize - kBinHeaderSize - cells.size(); rest > 0) {
    WriteLE32(bin, kBinHeaderSize + cells.size(), static_cast<std::uint32_t>(rest));
  }

  // Check every cell before anything is changed.
  const auto isCell = [&fd](std::size_t at, char a, char b) {
    std::array<std::uint8_t, 6> head{};
    return ReadAllAt(fd.Get(), head, static_cast<off_t>(at)) && head[4] == a && head[5] == b;
  };
  for (const auto& value : values) {
    if (!isCell(value.valueCell, 'v', 'k') || !isCell(value.keyCell, 'n', 'k'))
      throw fail();
  }
  const auto binAt = static_cast<off_t>(kBaseBlockSize + binStart);
  if (!WriteAllAt(fd.Get(), bin, binAt) ||
      ::ftruncate(fd.Get(), binAt + static_cast<off_t>(binSize)) != 0) {
    throw fail();
  }
  for (std::size_t i = 0; i < values.size(); ++i) {
    std::array<std::uint8_t, 8> lengthAndCell{};
    WriteLE32(lengthAndCell, 0, static_cast<std::uint32_t>(values[i].data.size()));
    WriteLE32(lengthAndCell, 4, relative(placements[i].db));
    if (!WriteAllAt(fd.Get(), lengthAndCell, static_cast<off_t>(values[i].valueCell + 8))) {
      throw fail();
    }
    // The key's largest data size, which RegQueryInfoKeyW reports.
    constexpr std::size_t kMaxDataAt = 4 + 0x40;
    std::array<std::uint8_t, 4> maxData{};
    const auto maxDataAt = static_cast<off_t>(values[i].keyCell + kMaxDataAt);
    if (!ReadAllAt(fd.Get(), maxData, maxDataAt))
      throw fail();
    if (ReadLE32(maxData, 0) < values[i].data.size()) {
      WriteLE32(maxData, 0, static_cast<std::uint32_t>(values[i].data.size()));
      if (!WriteAllAt(fd.Get(), maxData, maxDataAt))
        throw fail();
    }
  }
  WriteLE32(base, kBinsSize, static_cast<std::uint32_t>(binStart + binSize));
  WriteLE32(base, kChecksum, BaseBlockChecksum(base));
  if (!WriteAllAt(fd.Get(), base, 0) || !fd.Close())
    throw fail();
}

namespace {

// Where the fields of an nk cell lie, from the start of the cell (its size field).
constexpr std::size_t kNkFlags = 6;
constexpr std::size_t kNkTimeStamp = 8;
constexpr std::size_t kNkSubKeyCount = 4 + 0x14;
constexpr std::size_t kNkSubKeyList = 4 + 0x1C;
constexpr std::size_t kNkNameLength = 4 + 0x48;
constexpr std::size_t kNkName = 4 + 0x4C;
constexpr std::uint16_t kNkCompressedName = 0x0020;
// A sub key list: signature at 4, number of entries at 6, entries from 8.
constexpr std::size_t kListCount = 6;
constexpr std::size_t kListEntries = 8;

// The cells of a hive file, read with their bounds checked, since the lists come from
// a file that a lesser writer may have left odd.
class CellReader {
 public:
  CellReader(int fd, std::size_t fileSize) : fd_(fd), fileSize_(fileSize) {}

  // The used cell at a file offset, size field included; empty when there is none.
  std::vector<std::uint8_t> Cell(std::size_t at) const {
    std::array<std::uint8_t, 4> size{};
    if (at < kBaseBlockSize + kBinHeaderSize || at + size.size() > fileSize_ ||
        !ReadAllAt(fd_, size, static_cast<off_t>(at))) {
      return {};
    }
    const auto stored = static_cast<std::int32_t>(ReadLE32(size, 0));
    if (stored >= 0)
      return {};  // a free cell
    const std::size_t length = static_cast<std::size_t>(-static_cast<std::int64_t>(stored));
    if (length < kListEntries || at + length > fileSize_)
      return {};
    std::vector<std::uint8_t> cell(length);
    if (!ReadAllAt(fd_, cell, static_cast<off_t>(at)))
      return {};
    return cell;
  }

 private:
  int fd_;
  std::size_t fileSize_;
};

bool HasSignature(std::span<const std::uint8_t> cell, char a, char b) {
  return cell.size() >= kListEntries && cell[4] == a && cell[5] == b;
}

// The name of a key, as UTF-16: compressed names hold one byte per character.
bool KeyName(std::span<const std::uint8_t> nk, std::u16string& name) {
  if (!HasSignature(nk, 'n', 'k') || nk.size() < kNkName)
    return false;
  const std::size_t length = ReadLE16(nk, kNkNameLength);
  if (nk.size() < kNkName + length)
    return false;
  const auto bytes = nk.subspan(kNkName, length);
  name.clear();
  if ((ReadLE16(nk, kNkFlags) & kNkCompressedName) != 0) {
    for (std::uint8_t b : bytes)
      name += static_cast<char16_t>(b);
  } else {
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
      name += static_cast<char16_t>(bytes[i] | bytes[i + 1] << 8);
  }
  return true;
}

// Windows skips entries of an "lh" list by this hash of the upper-cased name.
std::uint32_t NameHash(std::u16string_view name) {
  std::uint32_t hash = 0;
  for (char16_t unit : name)
    hash = hash * 37 + UpperUnit(unit);
  return hash;
}

// An "lf" list keeps the first four characters as stored; a character that does not
// fit a byte counts as 0, and a shorter name is filled with 0.
std::uint32_t NameHint(std::u16string_view name) {
  std::uint32_t hint = 0;
  for (std::size_t i = 0; i < 4 && i < name.size(); ++i) {
    const std::uint32_t unit = name[i] <= 0xFF ? name[i] : 0;
    hint |= unit << (8 * i);
  }
  return hint;
}

// One leaf of a sub key list, changed in memory and written back whole.
struct Leaf {
  std::size_t at = 0;  // file offset of its cell
  std::vector<std::uint8_t> cell;
  char kind = 0;  // 'f', 'h' or 'i'
  std::size_t Count() const { return ReadLE16(cell, kListCount); }
  std::size_t EntrySize() const { return kind == 'i' ? 4 : 8; }
};

// The leaves of a key's sub key list in list order, checked so that each holds the
// entries it announces. An "ri" list points to leaves; it is not nested further.
bool ReadLeaves(const CellReader& reader, std::size_t listAt, int depth,
                std::vector<Leaf>& leaves) {
  std::vector<std::uint8_t> cell = reader.Cell(listAt);
  if (cell.empty())
    return false;
  const std::size_t count = ReadLE16(cell, kListCount);
  if (HasSignature(cell, 'r', 'i')) {
    if (depth > 0 || cell.size() < kListEntries + 4 * count)
      return false;
    for (std::size_t i = 0; i < count; ++i) {
      const std::size_t leafAt = kBaseBlockSize + ReadLE32(cell, kListEntries + 4 * i);
      if (!ReadLeaves(reader, leafAt, depth + 1, leaves))
        return false;
    }
    return true;
  }
  Leaf leaf{listAt, std::move(cell), 0};
  if (HasSignature(leaf.cell, 'l', 'f') || HasSignature(leaf.cell, 'l', 'h') ||
      HasSignature(leaf.cell, 'l', 'i')) {
    leaf.kind = static_cast<char>(leaf.cell[5]);
  } else {
    return false;
  }
  if (leaf.cell.size() < kListEntries + leaf.EntrySize() * count)
    return false;
  leaves.push_back(std::move(leaf));
  return true;
}

// Sorts the entries across the leaves of one key, each leaf keeping its number of
// entries, and sets every hash. False when the list does not match the key.
bool SortSubKeys(const CellReader& reader, std::span<const std::uint8_t> nk,
                 std::vector<Leaf>& leaves) {
  const std::uint32_t list = ReadLE32(nk, kNkSubKeyList);
  const std::size_t subKeys = ReadLE32(nk, kNkSubKeyCount);
  if (list == 0xFFFFFFFFu)
    return subKeys == 0;
  std::vector<Leaf> found;
  if (!ReadLeaves(reader, kBaseBlockSize + list, 0, found))
    return false;

  struct Entry {
    std::uint32_t cell = 0;  // relative to the first bin, as lists store it
    std::u16string name;
  };
  std::vector<Entry> entries;
  for (const Leaf& leaf : found) {
    for (std::size_t i = 0; i < leaf.Count(); ++i) {
      Entry entry;
      entry.cell = ReadLE32(leaf.cell, kListEntries + leaf.EntrySize() * i);
      if (!KeyName(reader.Cell(kBaseBlockSize + entry.cell), entry.name))
        return false;
      entries.push_back(std::move(entry));
    }
  }
  if (entries.size() != subKeys)
    return false;
  std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
    return CompareTextIgnoreCase(a.name, b.name) < 0;
  });

  auto next = entries.begin();
  for (Leaf& leaf : found) {
    for (std::size_t i = 0; i < leaf.Count(); ++i, ++next) {
      const std::size_t at = kListEntries + leaf.EntrySize() * i;
      WriteLE32(leaf.cell, at, next->cell);
      if (leaf.kind == 'h')
        WriteLE32(leaf.cell, at + 4, NameHash(next->name));
      else if (leaf.kind == 'f')
        WriteLE32(leaf.cell, at + 4, NameHint(next->name));
    }
    leaves.push_back(std::move(leaf));
  }
  return true;
}

}  // namespace

void UpdateKeys(const std::filesystem::path& file, std::span<const KeyUpdate> keys) {
  if (keys.empty())
    return;
  const auto fail = [&file]() {
    return EHiveError(Format(u"Die Schlüssellisten der Hive-Datei '%s' lassen sich nicht ordnen.",
                             {DisplayName(file)}));
  };
  FileDescriptor fd(::open(file.c_str(), O_RDWR | O_CLOEXEC));
  struct stat info {};
  if (fd.Get() < 0 || ::fstat(fd.Get(), &info) != 0)
    throw fail();
  const CellReader reader(fd.Get(), static_cast<std::size_t>(info.st_size));

  // Everything is read and checked before the first byte is written.
  std::vector<Leaf> leaves;
  for (const KeyUpdate& key : keys) {
    const auto nk = reader.Cell(key.keyCell);
    if (!HasSignature(nk, 'n', 'k') || nk.size() < kNkName)
      throw fail();
    if (key.sortSubKeys && !SortSubKeys(reader, nk, leaves))
      throw fail();
  }
  for (const Leaf& leaf : leaves) {
    if (!WriteAllAt(fd.Get(), leaf.cell, static_cast<off_t>(leaf.at)))
      throw fail();
  }
  for (const KeyUpdate& key : keys) {
    if (key.lastWrite == 0)
      continue;
    std::array<std::uint8_t, 8> stamp{};
    WriteLE64(stamp, 0, key.lastWrite);
    if (!WriteAllAt(fd.Get(), stamp, static_cast<off_t>(key.keyCell + kNkTimeStamp)))
      throw fail();
  }
  if (!fd.Close())
    throw fail();
}

}  // namespace brindel::registry::store::hive
