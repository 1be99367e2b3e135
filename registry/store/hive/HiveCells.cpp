#include "registry/store/hive/HiveCells.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <string>

namespace brindel::registry::store::hive {

namespace {

constexpr std::u16string_view kCannotWrite = u"die neue Datei lässt sich nicht schreiben";
constexpr std::u16string_view kDiskFull = u"auf dem Datenträger ist nicht genug Platz";

}  // namespace

void FailWrite(bool diskFull) {
  throw ECommitError(std::u16string(diskFull ? kDiskFull : kCannotWrite));
}

void Output::Patch32(std::uint64_t fileOffset, std::uint32_t value) {
  if (fileOffset >= start_) {
    WriteLE32(buffer_, static_cast<std::size_t>(fileOffset - start_), value);
    return;
  }
  std::array<std::uint8_t, 4> bytes{};
  WriteLE32(bytes, 0, value);
  WriteAt(bytes, fileOffset);
}

void Output::Flush() {
  if (!buffer_.empty())
    WriteAt(buffer_, start_);
  start_ += buffer_.size();
  buffer_.clear();
  // The disk starts on what is written while the rest is still being laid out, so
  // that the sync before the rename waits for the last stretch only, not the whole
  // hive. Only a start: whether it worked, the sync finds out.
  if (start_ - started_ >= kWritebackStep) {
    file_.StartWriteback(started_, start_ - started_);
    started_ = start_;
  }
}

void Output::WriteAt(std::span<const std::uint8_t> bytes, std::uint64_t fileOffset) {
  if (const int error = steps_.Next(); error != 0)
    FailWrite(error == ENOSPC);
  if (!file_.WriteAt(bytes, fileOffset))
    FailWrite(platform::LastFileErrorIsDiskFull());
}

std::pair<std::uint32_t, std::span<std::uint8_t>> Cells::Place(std::size_t payload) {
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

std::uint32_t Cells::Finish() {
  CloseBin();
  return static_cast<std::uint32_t>(binEnd_);
}

void Cells::CloseBin() {
  if (next_ < binEnd_) {
    auto rest = out_.Append(binEnd_ - next_);
    WriteLE32(rest, 0, static_cast<std::uint32_t>(binEnd_ - next_));
  }
  next_ = binEnd_;
}

}  // namespace brindel::registry::store::hive
