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

// The layout of a regf file that the store reads and writes itself, next to hivex:
// the base block, hive bins and the cells it needs. Offsets inside the hive bins are
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

std::uint32_t ReadLE32(std::span<const std::uint8_t> bytes, std::size_t offset);
std::uint16_t ReadLE16(std::span<const std::uint8_t> bytes, std::size_t offset);
void WriteLE32(std::span<std::uint8_t> bytes, std::size_t offset, std::uint32_t value);
void WriteLE16(std::span<std::uint8_t> bytes, std::size_t offset, std::uint16_t value);

// XOR of the first 127 double words, with the two values Windows avoids replaced.
std::uint32_t BaseBlockChecksum(std::span<const std::uint8_t> baseBlock);

// Reads and checks the base block of `file` and that the file holds all the bins it
// announces. Throws EHiveError with a German message for a missing or unreadable
// file, a file that is not a primary hive, an unknown format, a wrong checksum, or a
// truncated file. A dirty hive is not an error here; the caller decides.
BaseBlock CheckHiveFile(const std::filesystem::path& file);

// The file name as the messages show it.
std::u16string DisplayName(const std::filesystem::path& file);

}  // namespace hive
}  // namespace brindel::registry::store
