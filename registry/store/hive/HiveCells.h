#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <utility>
#include <vector>

#include "platform/NewFile.h"
#include "registry/store/hive/HiveCommit.h"
#include "registry/store/hive/HiveFile.h"
#include "registry/store/hive/HiveFormat.h"

// How a new hive file is laid out while it is written: the file operations of one
// commit, counted; the file written front to back through a buffer; the cells placed
// in bins one after the other.
namespace brindel::registry::store::hive {

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

// Ends a commit whose write failed, in German words.
[[noreturn]] void FailWrite(bool diskFull);

// The new file, written front to back through a buffer. A field of a cell that is
// known only later is patched: in the buffer while the cell is still there, in the
// file after that.
class Output {
 public:
  Output(platform::NewFile& file, Steps& steps) : file_(file), steps_(steps) {
    buffer_.reserve(kCapacity);
  }

  // `size` zeroed bytes at the end of the file, to be filled before the next call.
  std::span<std::uint8_t> Append(std::size_t size) {
    if (buffer_.size() + size > buffer_.capacity())
      Flush();
    const std::size_t at = buffer_.size();
    buffer_.resize(at + size);
    return std::span(buffer_).subspan(at, size);
  }

  void Patch32(std::uint64_t fileOffset, std::uint32_t value);
  // Writes the buffer to the file and empties it.
  void Flush();
  void WriteAt(std::span<const std::uint8_t> bytes, std::uint64_t fileOffset);

 private:
  static constexpr std::size_t kCapacity = std::size_t{1} << 20;
  static constexpr std::uint64_t kWritebackStep = std::uint64_t{8} << 20;
  platform::NewFile& file_;
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
  std::pair<std::uint32_t, std::span<std::uint8_t>> Place(std::size_t payload);
  // Ends the last bin; the size of all bins.
  std::uint32_t Finish();
  CellSet TakeUsed() { return std::move(used_); }

 private:
  static constexpr std::size_t kMaxBinsSize = 0x7FFFF000u;

  void CloseBin();

  Output& out_;
  std::uint64_t now_;
  std::size_t binEnd_ = 0;
  std::size_t next_ = 0;
  CellSet used_;
};

// Where a cell's field lies in the file.
inline std::uint64_t FieldAt(std::uint32_t cell, std::size_t field) {
  return kBaseBlockSize + std::uint64_t{cell} + kCellSizeField + field;
}

}  // namespace brindel::registry::store::hive
