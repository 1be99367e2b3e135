#include "platform/AnsiCodePage.h"

#include <array>

namespace brindel::platform {
namespace {

// Windows-1252 bytes 0x80..0x9F; the five bytes that the code page leaves
// undefined map to the C1 control of the same number, as Windows does.
constexpr std::array<char16_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

int AnsiByteOf(char16_t unit) {
  if (unit < 0x80 || (unit >= 0xA0 && unit <= 0xFF))
    return unit;
  for (std::size_t i = 0; i < kHighControls.size(); ++i) {
    if (kHighControls[i] == unit)
      return static_cast<int>(0x80 + i);
  }
  return -1;
}

bool IsHighSurrogate(char16_t unit) {
  return unit >= 0xD800 && unit <= 0xDBFF;
}

bool IsLowSurrogate(char16_t unit) {
  return unit >= 0xDC00 && unit <= 0xDFFF;
}

}  // namespace

// Every code unit below 256 is one byte in Windows-1252: itself, the byte of a C1
// control the code page leaves undefined, or "?".
TAnsiEncoder::TAnsiEncoder() {
  for (std::size_t unit = 0; unit < kTableSize; ++unit) {
    const int byte = AnsiByteOf(static_cast<char16_t>(unit));
    bytes_[unit] = static_cast<char>(byte < 0 ? '?' : byte);
    single_[unit] = true;
    holds_[unit] = byte >= 0;
  }
}

const TAnsiEncoder& TAnsiEncoder::System() {
  static const TAnsiEncoder encoder;
  return encoder;
}

char* TAnsiEncoder::EncodeOthers(std::u16string_view text, char* out) const {
  for (std::size_t i = 0; i < text.size(); ++i) {
    const int byte = AnsiByteOf(text[i]);
    *out++ = byte < 0 ? '?' : static_cast<char>(byte);
    // A surrogate pair is one character and becomes one "?".
    if (IsHighSurrogate(text[i]) && i + 1 < text.size() && IsLowSurrogate(text[i + 1]))
      ++i;
  }
  return out;
}

bool TAnsiEncoder::HoldsOthers(std::u16string_view text) const {
  for (const char16_t unit : text) {
    if (AnsiByteOf(unit) < 0)
      return false;
  }
  return true;
}

std::string ToAnsi(std::u16string_view text) {
  // Windows-1252 has one byte per character at most.
  std::string out(text.size(), '\0');
  char* const end = TAnsiEncoder::System().Encode(text, out.data());
  out.resize(static_cast<std::size_t>(end - out.data()));
  return out;
}

std::u16string FromAnsi(std::string_view bytes) {
  std::u16string out;
  out.reserve(bytes.size());
  for (const char ch : bytes) {
    const auto byte = static_cast<unsigned char>(ch);
    out +=
        (byte >= 0x80 && byte <= 0x9F) ? kHighControls[byte - 0x80] : static_cast<char16_t>(byte);
  }
  return out;
}

}  // namespace brindel::platform
