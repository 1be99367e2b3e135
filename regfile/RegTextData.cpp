#include "regfile/RegTextData.h"

namespace brindel::regfile {

std::optional<std::uint32_t> ParseRegHexNumber(std::u16string_view digits) {
  if (digits.empty())
    return std::nullopt;
  std::uint64_t number = 0;
  for (const char16_t unit : digits) {
    if (!IsRegHexDigit(unit))
      return std::nullopt;
    number = (number << 4) | RegHexDigitValue(unit);
    if (number > 0xFFFFFFFFu)
      return std::nullopt;
  }
  return static_cast<std::uint32_t>(number);
}

std::vector<std::uint8_t> Utf16LEBytes(std::u16string_view text, bool withNul) {
  std::vector<std::uint8_t> bytes;
  bytes.reserve(2 * text.size() + 2);
  for (const char16_t unit : text) {
    bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
  }
  if (withNul)
    bytes.insert(bytes.end(), {0, 0});
  return bytes;
}

std::vector<std::uint8_t> DwordBytes(std::uint32_t number) {
  return {static_cast<std::uint8_t>(number), static_cast<std::uint8_t>(number >> 8),
          static_cast<std::uint8_t>(number >> 16), static_cast<std::uint8_t>(number >> 24)};
}

}  // namespace brindel::regfile
