#pragma once

// The pieces of value data that every .reg grammar reads the same way: hexadecimal
// digits and numbers, and the bytes the registry holds for a text or a DWORD.

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace brindel::regfile {

inline bool IsRegHexDigit(char16_t unit) {
  return (unit >= u'0' && unit <= u'9') || (unit >= u'a' && unit <= u'f') ||
         (unit >= u'A' && unit <= u'F');
}

// The value of a character for which IsRegHexDigit holds.
inline unsigned RegHexDigitValue(char16_t unit) {
  if (unit <= u'9')
    return unit - u'0';
  if (unit <= u'F')
    return unit - u'A' + 10u;
  return unit - u'a' + 10u;
}

// Up to 32 bits of hexadecimal digits, leading zeros allowed; nothing else.
std::optional<std::uint32_t> ParseRegHexNumber(std::u16string_view digits);

// The text as UTF-16LE bytes, with a terminating NUL when asked for.
std::vector<std::uint8_t> Utf16LEBytes(std::u16string_view text, bool withNul);

// The four bytes of a REG_DWORD, lowest first.
std::vector<std::uint8_t> DwordBytes(std::uint32_t number);

}  // namespace brindel::regfile
