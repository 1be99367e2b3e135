#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace brindel::test {

// Value data as tests write them into a store.
using Bytes = std::vector<std::uint8_t>;

// UTF-16LE bytes of a text, with the terminating NUL unit when asked.
inline Bytes Utf16Bytes(std::u16string_view text, bool withNul = true) {
  Bytes bytes;
  for (char16_t c : text) {
    bytes.push_back(static_cast<std::uint8_t>(c & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>(c >> 8));
  }
  if (withNul)
    bytes.insert(bytes.end(), {0, 0});
  return bytes;
}

// The bytes written as pairs of hexadecimal digits, such as a section id.
inline Bytes HexBytes(std::u16string_view hex) {
  auto digit = [](char16_t c) { return c <= u'9' ? c - u'0' : (c | 0x20) - u'a' + 10; };
  Bytes bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    bytes.push_back(static_cast<std::uint8_t>(digit(hex[i]) * 16 + digit(hex[i + 1])));
  }
  return bytes;
}

inline Bytes DwordBytes(std::uint32_t v) {
  return {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
          static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 24)};
}

}  // namespace brindel::test
