#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

#include "platform/Errors.h"

namespace brindel::registry::store {

// A hive file that cannot be opened, read or written: the message says which file
// and why, in German, ready to be shown.
class EHiveError : public platform::Exception {
 public:
  using Exception::Exception;
};

// A hive file that another program has open and lets no one read beside it: Windows
// holds the hives it has loaded so. The message names the file; what to do instead
// depends on which hive it is.
class EHiveInUse : public EHiveError {
 public:
  using EHiveError::EHiveError;
};

// The layout of a regf file, which the store reads and writes itself: the base
// block, hive bins and the records in their cells. Offsets inside the hive bins are
// relative to the first bin, which starts right after the 4 KiB base block.
namespace hive {

inline constexpr std::size_t kBaseBlockSize = 0x1000;
inline constexpr std::size_t kBinAlignment = 0x1000;
inline constexpr std::size_t kBinHeaderSize = 0x20;

inline constexpr std::size_t kSequence1 = 0x04;
inline constexpr std::size_t kSequence2 = 0x08;
inline constexpr std::size_t kTimeStamp = 0x0C;
inline constexpr std::size_t kMajorVersion = 0x14;
inline constexpr std::size_t kMinorVersion = 0x18;
inline constexpr std::size_t kFileType = 0x1C;
inline constexpr std::size_t kFileFormat = 0x20;
inline constexpr std::size_t kRootCell = 0x24;
inline constexpr std::size_t kBinsSize = 0x28;
inline constexpr std::size_t kClustering = 0x2C;
inline constexpr std::size_t kFileName = 0x30;
inline constexpr std::size_t kChecksum = 0x1FC;

// Data larger than this goes into big-data records ("db") in hives of format 1.4 and
// later, split into segments of this size.
inline constexpr std::size_t kMaxCellData = 16344;
inline constexpr std::uint32_t kFirstBigDataMinor = 4;

// "No cell" in an offset field.
inline constexpr std::uint32_t kNoCell = 0xFFFFFFFFu;
// The registry keeps keys at most this many levels below the top of a hive.
inline constexpr std::size_t kMaxKeyDepth = 512;

// The header of a hive bin: its signature "hbin", its offset from the first bin, its
// size, and in the first bin a time stamp.
namespace hbin {
inline constexpr std::size_t kOffset = 0x04;
inline constexpr std::size_t kSize = 0x08;
inline constexpr std::size_t kTimeStamp = 0x14;
}  // namespace hbin

// Every cell starts with its size, negative while the cell is used; its record follows.
inline constexpr std::size_t kCellSizeField = 4;

// Where the fields of the records lie, counted from the record's signature, that is
// from the cell's data after its 4-byte size field.
namespace nk {
inline constexpr std::size_t kFlags = 0x02;
inline constexpr std::size_t kLastWrite = 0x04;
inline constexpr std::size_t kParent = 0x10;
inline constexpr std::size_t kSubKeyCount = 0x14;
inline constexpr std::size_t kVolatileSubKeyCount = 0x18;
inline constexpr std::size_t kSubKeyList = 0x1C;
inline constexpr std::size_t kVolatileSubKeyList = 0x20;
inline constexpr std::size_t kValueCount = 0x24;
inline constexpr std::size_t kValueList = 0x28;
inline constexpr std::size_t kSecurity = 0x2C;
inline constexpr std::size_t kClass = 0x30;
inline constexpr std::size_t kMaxNameLength = 0x34;  // low 16 bits; the rest are flags
inline constexpr std::size_t kMaxClassLength = 0x38;
inline constexpr std::size_t kMaxValueNameLength = 0x3C;
inline constexpr std::size_t kMaxValueDataLength = 0x40;
inline constexpr std::size_t kNameLength = 0x48;
inline constexpr std::size_t kClassLength = 0x4A;
inline constexpr std::size_t kName = 0x4C;
inline constexpr std::uint16_t kCompressedName = 0x0020;  // Latin-1, one byte per character
}  // namespace nk

namespace vk {
inline constexpr std::size_t kNameLength = 0x02;
inline constexpr std::size_t kDataSize = 0x04;
inline constexpr std::size_t kData = 0x08;  // a cell, or up to 4 bytes of data themselves
inline constexpr std::size_t kType = 0x0C;
inline constexpr std::size_t kFlags = 0x10;
inline constexpr std::size_t kName = 0x14;
inline constexpr std::uint16_t kCompressedName = 0x0001;
inline constexpr std::uint32_t kInlineData = 0x80000000u;  // in the data size
}  // namespace vk

namespace sk {
inline constexpr std::size_t kNext = 0x04;
inline constexpr std::size_t kPrevious = 0x08;
inline constexpr std::size_t kReferences = 0x0C;
inline constexpr std::size_t kDescriptorSize = 0x10;
inline constexpr std::size_t kDescriptor = 0x14;
}  // namespace sk

// Sub key lists ("li", "lf", "lh", "ri") and the big-data record ("db").
inline constexpr std::size_t kListCount = 0x02;
inline constexpr std::size_t kListEntries = 0x04;
inline constexpr std::size_t kBigDataSegments = 0x02;
inline constexpr std::size_t kBigDataList = 0x04;

// What the base block says about a file that looks like a primary hive.
struct BaseBlock {
  std::uint32_t sequence1 = 0;
  std::uint32_t sequence2 = 0;
  std::uint32_t majorVersion = 0;
  std::uint32_t minorVersion = 0;
  std::uint32_t binsSize = 0;

  // Windows did not close the hive cleanly: its log holds changes the file lacks.
  bool Dirty() const { return sequence1 != sequence2; }
};

// Inline: every cell the store reads goes through them.
inline std::uint32_t ReadLE32(std::span<const std::uint8_t> bytes, std::size_t offset) {
  return static_cast<std::uint32_t>(bytes[offset]) |
         static_cast<std::uint32_t>(bytes[offset + 1]) << 8 |
         static_cast<std::uint32_t>(bytes[offset + 2]) << 16 |
         static_cast<std::uint32_t>(bytes[offset + 3]) << 24;
}
inline std::uint16_t ReadLE16(std::span<const std::uint8_t> bytes, std::size_t offset) {
  return static_cast<std::uint16_t>(bytes[offset] | bytes[offset + 1] << 8);
}
void WriteLE32(std::span<std::uint8_t> bytes, std::size_t offset, std::uint32_t value);
void WriteLE16(std::span<std::uint8_t> bytes, std::size_t offset, std::uint16_t value);
void WriteLE64(std::span<std::uint8_t> bytes, std::size_t offset, std::uint64_t value);

// `size` rounded up to a multiple of `step`: cells to 8 bytes, bins to 4 KiB.
inline std::size_t RoundUp(std::size_t size, std::size_t step) {
  return (size + step - 1) / step * step;
}

// XOR of the first 127 double words, with the two values Windows avoids replaced.
std::uint32_t BaseBlockChecksum(std::span<const std::uint8_t> baseBlock);

// Checks the first bytes of `file` (up to one base block) and its size: that it is a
// primary hive of a known format with a right checksum that holds all the bins it
// announces. Throws EHiveError with a German message otherwise. A dirty hive is not
// an error here; the caller decides.
BaseBlock CheckBaseBlock(const std::filesystem::path& file, std::span<const std::uint8_t> block,
                         std::uint64_t fileSize);

// Windows finds a key in an "lh" list by this hash of its upper-cased name.
std::uint32_t NameHash(std::u16string_view name);
// An "lf" list keeps the first four characters instead; one that does not fit a byte
// counts as 0, and a shorter name is filled with 0.
std::uint32_t NameHint(std::u16string_view name);

// Now as a FILETIME, the time stamp of keys and base blocks: 100-ns intervals since 1601.
std::uint64_t FileTimeNow();

// The file name as the messages show it.
std::u16string DisplayName(const std::filesystem::path& file);

}  // namespace hive
}  // namespace brindel::registry::store
