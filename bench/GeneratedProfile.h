#pragma once

// The building blocks of the generated profiles that the benchmarks repair, analyse
// and map: section ids drawn from a seeded generator, the bytes of the values that
// name them, and the sections of the profile "Outlook" in a memory store.

#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "registry/store/MemoryStore.h"

namespace brindel::bench {

using Bytes = std::vector<std::uint8_t>;

inline constexpr std::u16string_view kTree =
    u"Software\\Microsoft\\Office\\16.0\\Outlook\\Profiles";
inline constexpr std::u16string_view kProfile = u"Outlook";

// A section id: 32 lower-case hex digits.
inline std::u16string RandomId(std::mt19937_64& random) {
  static constexpr char16_t kDigits[] = u"0123456789abcdef";
  std::u16string id;
  for (int i = 0; i < 32; ++i)
    id += kDigits[random() & 0x0F];
  return id;
}

// The 16 bytes an id stands for, as the lists of a profile hold them.
inline void AppendIdBytes(Bytes& bytes, std::u16string_view id) {
  for (std::size_t i = 0; i < id.size(); i += 2) {
    auto nibble = [](char16_t c) { return c <= u'9' ? c - u'0' : c - u'a' + 10; };
    bytes.push_back(static_cast<std::uint8_t>(nibble(id[i]) * 16 + nibble(id[i + 1])));
  }
}

inline Bytes IdBytes(std::u16string_view id) {
  Bytes bytes;
  AppendIdBytes(bytes, id);
  return bytes;
}

// UTF-16 LE with its closing NUL.
inline Bytes Utf16(std::u16string_view text) {
  Bytes bytes;
  for (char16_t c : text) {
    bytes.push_back(static_cast<std::uint8_t>(c));
    bytes.push_back(static_cast<std::uint8_t>(c >> 8));
  }
  bytes.insert(bytes.end(), {0, 0});
  return bytes;
}

// The section of the profile "Outlook" in store, made where missing, with one value
// set; a value without name and type (REG_NONE) leaves the section empty.
inline void PutInProfile(registry::store::MemoryStore& store, std::u16string_view section,
                         std::u16string_view name, std::uint32_t type, const Bytes& data) {
  using namespace registry::store;
  HKEY key = 0;
  const std::u16string path =
      std::u16string(kTree) + u"\\" + std::u16string(kProfile) + u"\\" + std::u16string(section);
  store.CreateKey(HKEY_CURRENT_USER, path, KEY_ALL_ACCESS, key);
  if (!name.empty() || type != REG_NONE)
    store.SetValue(key, name, type, data);
  store.CloseKey(key);
}

}  // namespace brindel::bench
