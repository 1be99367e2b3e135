#include "registry/store/hive/HiveFormat.h"

#include <array>
#include <cerrno>
#include <chrono>
#include <system_error>

#include "platform/Text.h"

namespace brindel::registry::store::hive {

using platform::Format;
using platform::FromUtf8;

void WriteLE32(std::span<std::uint8_t> bytes, std::size_t offset, std::uint32_t value) {
  for (int i = 0; i < 4; ++i)
    bytes[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

void WriteLE16(std::span<std::uint8_t> bytes, std::size_t offset, std::uint16_t value) {
  bytes[offset] = static_cast<std::uint8_t>(value);
  bytes[offset + 1] = static_cast<std::uint8_t>(value >> 8);
}

void WriteLE64(std::span<std::uint8_t> bytes, std::size_t offset, std::uint64_t value) {
  WriteLE32(bytes, offset, static_cast<std::uint32_t>(value));
  WriteLE32(bytes, offset + 4, static_cast<std::uint32_t>(value >> 32));
}

std::uint32_t BaseBlockChecksum(std::span<const std::uint8_t> baseBlock) {
  std::uint32_t sum = 0;
  for (std::size_t offset = 0; offset < kChecksum; offset += 4)
    sum ^= ReadLE32(baseBlock, offset);
  if (sum == 0xFFFFFFFFu)
    return 0xFFFFFFFEu;
  if (sum == 0)
    return 1;
  return sum;
}

std::uint64_t FileTimeNow() {
  constexpr std::uint64_t kUnixEpochAsFileTime = 116444736000000000ull;
  const auto since1970 = std::chrono::duration_cast<std::chrono::microseconds>(
      std::chrono::system_clock::now().time_since_epoch());
  return kUnixEpochAsFileTime + static_cast<std::uint64_t>(since1970.count()) * 10;
}

std::u16string DisplayName(const std::filesystem::path& file) {
  return FromUtf8(file.string());
}

namespace {

[[noreturn]] void Fail(const std::filesystem::path& file, std::u16string_view pattern) {
  throw EHiveError(Format(pattern, {DisplayName(file)}));
}

}  // namespace

BaseBlock CheckBaseBlock(const std::filesystem::path& file, std::span<const std::uint8_t> block,
                         std::uint64_t fileSize) {
  static constexpr std::array<std::uint8_t, 4> kSignature{'r', 'e', 'g', 'f'};
  if (block.size() < 4 || !std::equal(kSignature.begin(), kSignature.end(), block.begin())) {
    Fail(file, u"Die Datei '%s' ist keine Hive-Datei der Windows-Registrierung.");
  }
  if (block.size() < kBaseBlockSize) {
    Fail(file, u"Die Hive-Datei '%s' ist unvollständig: sie endet schon im Kopfblock.");
  }
  BaseBlock base;
  base.sequence1 = ReadLE32(block, kSequence1);
  base.sequence2 = ReadLE32(block, kSequence2);
  base.majorVersion = ReadLE32(block, kMajorVersion);
  base.minorVersion = ReadLE32(block, kMinorVersion);
  base.binsSize = ReadLE32(block, kBinsSize);
  // Type 0 is a primary hive; the others are transaction logs and alternates.
  if (ReadLE32(block, kFileType) != 0) {
    Fail(file,
         u"Die Datei '%s' ist ein Transaktionsprotokoll der Registrierung, keine Hive-Datei.");
  }
  if (base.majorVersion != 1 || base.minorVersion < 2 || base.minorVersion > 6) {
    throw EHiveError(Format(u"Die Hive-Datei '%s' hat ein unbekanntes Format (Version %s.%s).",
                            {DisplayName(file), platform::Decimal(base.majorVersion),
                             platform::Decimal(base.minorVersion)}));
  }
  if (BaseBlockChecksum(block) != ReadLE32(block, kChecksum)) {
    Fail(file, u"Die Hive-Datei '%s' ist beschädigt: die Prüfsumme ihres Kopfblocks stimmt nicht.");
  }
  // Offsets in the file are 32 bits wide and count from the first bin.
  if (base.binsSize == 0 || base.binsSize % kBinAlignment != 0 || base.binsSize > 0x7FFFF000u) {
    Fail(file, u"Die Hive-Datei '%s' ist beschädigt: ihr Kopfblock nennt eine ungültige Größe.");
  }
  if (fileSize < kBaseBlockSize + base.binsSize) {
    Fail(file,
         u"Die Hive-Datei '%s' ist unvollständig (abgeschnitten): sie ist kürzer, als ihr "
         u"Kopfblock angibt.");
  }
  return base;
}

std::uint32_t NameHash(std::u16string_view name) {
  std::uint32_t hash = 0;
  for (char16_t unit : name)
    hash = hash * 37 + platform::UpperUnit(unit);
  return hash;
}

std::uint32_t NameHint(std::u16string_view name) {
  std::uint32_t hint = 0;
  for (std::size_t i = 0; i < 4 && i < name.size(); ++i) {
    const std::uint32_t unit = name[i] <= 0xFF ? name[i] : 0;
    hint |= unit << (8 * i);
  }
  return hint;
}

}  // namespace brindel::registry::store::hive
