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

}  // namespace

std::string ToAnsi(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i];
    const int byte = AnsiByteOf(unit);
    out += byte < 0 ? '?' : static_cast<char>(byte);
    // A surrogate pair is one character and becomes one "?".
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      ++i;
    }
  }
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
