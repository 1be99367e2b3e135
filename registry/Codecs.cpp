#include "registry/Codecs.h"

#include "platform/Errors.h"
#include "platform/Text.h"
#include "registry/Helpers.h"

namespace brindel::registry {

namespace {

constexpr char16_t kUpperDigits[] = u"0123456789ABCDEF";

void AppendHexByte(std::u16string& out, std::uint8_t byte) {
  out += kUpperDigits[byte >> 4];
  out += kUpperDigits[byte & 0x0F];
}

int DigitValue(char16_t c) {
  if (c >= u'0' && c <= u'9')
    return c - u'0';
  if (c >= u'a' && c <= u'f')
    return c - u'a' + 10;
  if (c >= u'A' && c <= u'F')
    return c - u'A' + 10;
  return -1;
}

}  // namespace

std::u16string BytesToHex(const std::vector<std::uint8_t>& bytes) {
  std::u16string hex;
  hex.reserve((bytes.size() + 1) * 2);
  for (std::size_t i = 0; i < bytes.size(); i += 2) {
    AppendHexByte(hex, bytes[i]);
    AppendHexByte(hex, i + 1 < bytes.size() ? bytes[i + 1] : 0);
  }
  return hex;
}

std::u16string RegReadBinaryHexAt(unsigned selector, std::u16string_view path,
                                  std::u16string_view name) {
  return BytesToHex(RegReadBinaryAt(selector, path, name));
}

std::int32_t HexToInt(std::u16string_view digits) {
  const std::u16string shown = u"$" + std::u16string(digits);
  auto fail = [&shown]() {
    return platform::EConvertError(
        platform::Format(u"'%s' ist kein gültiger Integerwert", {shown}));
  };
  if (digits.empty())
    throw fail();
  std::uint32_t value = 0;
  int significant = 0;
  for (const char16_t c : digits) {
    const int digit = DigitValue(c);
    if (digit < 0)
      throw fail();
    if (significant > 0 || digit != 0)
      ++significant;
    if (significant > 8)
      throw fail();
    value = (value << 4) | static_cast<std::uint32_t>(digit);
  }
  return static_cast<std::int32_t>(value);
}

std::u16string HexToText(std::u16string_view hex) {
  if (hex.empty())
    return {};
  std::u16string digits;
  for (const char16_t c : hex) {
    if (c != u',')
      digits += c;
  }
  digits = std::u16string(platform::Trim(digits));
  std::u16string text;
  // A trailing group of fewer than four digits is not a code unit; it is dropped.
  for (std::size_t i = 0; i + 4 <= digits.size(); i += 4) {
    const auto low = static_cast<std::uint32_t>(HexToInt(std::u16string_view(digits).substr(i, 2)));
    const auto high =
        static_cast<std::uint32_t>(HexToInt(std::u16string_view(digits).substr(i + 2, 2)));
    text += static_cast<char16_t>(low + 256 * high);
  }
  return std::u16string(platform::Trim(text));
}

std::vector<std::uint8_t> HexToBytes(std::u16string_view hex) {
  std::vector<std::uint8_t> bytes;
  bytes.reserve(hex.size() / 2);
  // Pairs of digits; a single trailing digit is not a byte and is dropped.
  for (std::size_t i = 0; i + 2 <= hex.size(); i += 2) {
    bytes.push_back(static_cast<std::uint8_t>(HexToInt(hex.substr(i, 2))));
  }
  return bytes;
}

std::u16string BoolToText(bool flag) {
  return flag ? u"true" : u"false";
}

}  // namespace brindel::registry
