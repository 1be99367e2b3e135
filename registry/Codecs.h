#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace brindel::registry {

// Two upper-case hex digits per byte, in stored order. An odd count is padded with a
// zero byte, so the text always has a multiple of four digits.
std::u16string BytesToHex(const std::vector<std::uint8_t>& bytes);
// The hex text of a binary value under the root the selector names; empty when the
// key or value is missing or the value is empty.
std::u16string RegReadBinaryHexAt(unsigned selector, std::u16string_view path,
                                  std::u16string_view name);
// Decodes UTF-16LE code units from hex text; commas and surrounding blanks and
// control characters are dropped, which also drops the terminating NUL.
std::u16string HexToText(std::u16string_view hex);
// Every two digits become one byte, in order.
std::vector<std::uint8_t> HexToBytes(std::u16string_view hex);
// Up to eight hexadecimal digits as a signed 32-bit number (ffffffff is -1). Raises
// EConvertError "'$…' ist kein gültiger Integerwert" for anything else.
std::int32_t HexToInt(std::u16string_view digits);

std::u16string BoolToText(bool flag);

}  // namespace brindel::registry
