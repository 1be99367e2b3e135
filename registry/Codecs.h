#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "registry/StringList.h"

namespace brindel::registry {

// The two sections whose values list the providers and services, and the account
// numbers; written exactly so, the second with its mixed letter case.
inline constexpr std::u16string_view kProviderSection = u"9207f3e0a3b11019908b08002b2a56c2";
inline constexpr std::u16string_view kAccountSection = u"9375CFF0413111d3B88A00104B2A6676";

// Two upper-case hex digits per byte, in stored order. An odd count is padded with a
// zero byte, so the text always has a multiple of four digits.
std::u16string BytesToHex(const std::vector<std::uint8_t>& bytes);
// The hex text of a binary value under HKEY_CURRENT_USER (selector 1) or another
// root; empty when the key or value is missing or the value is empty.
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

// Adds the 16-byte section ids listed in a value of the provider section under the
// profile tree, as 32 lower-case digits, by the list's own add rule.
void ReadSectionIdList(std::u16string_view profileTree, std::u16string_view valueName,
                       TStringList& list);
// Adds the 32-bit little-endian account numbers listed in a value of the account
// section, as 8 lower-case digits, most significant first.
void ReadAccountNumberList(std::u16string_view profileTree, std::u16string_view valueName,
                           TStringList& list);

std::u16string BoolToText(bool flag);

}  // namespace brindel::registry
