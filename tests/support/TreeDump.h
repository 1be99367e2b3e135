#pragma once

#include <string>
#include <vector>

#include "platform/Text.h"
#include "registry/store/RegistryStore.h"

namespace brindel::test {

// Bytes as lower-case hex pairs separated by commas, as a .reg hex list has them.
inline std::string HexList(const std::vector<std::uint8_t>& bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (i > 0)
      text += ',';
    text += kDigits[bytes[i] >> 4];
    text += kDigits[bytes[i] & 0xF];
  }
  return text;
}

// A whole tree as text, read through the store interface only: "[path]" per key and
// "name=type:hex" per value ("@" for the default value), keys in the store's order.
inline void DumpKey(registry::store::RegistryStore& store, registry::store::HKEY key,
                    const std::string& path, std::string& out) {
  using namespace registry::store;
  out += "[" + path + "]\n";
  for (std::uint32_t index = 0;; ++index) {
    std::u16string name;
    RegValue value;
    if (store.EnumValue(key, index, name, &value) != ERROR_SUCCESS)
      break;
    out += (name.empty() ? std::string("@") : platform::ToUtf8(name)) + "=" +
           std::to_string(value.type) + ":" + HexList(value.data) + "\n";
  }
  for (std::uint32_t index = 0;; ++index) {
    std::u16string name;
    if (store.EnumKey(key, index, name) != ERROR_SUCCESS)
      break;
    const std::string child =
        path.empty() ? platform::ToUtf8(name) : path + "\\" + platform::ToUtf8(name);
    HKEY handle = 0;
    if (store.OpenKey(key, name, KEY_READ, handle) != ERROR_SUCCESS) {
      out += "[" + child + "] unreadable\n";
      continue;
    }
    DumpKey(store, handle, child, out);
    store.CloseKey(handle);
  }
}

inline std::string Dump(registry::store::RegistryStore& store,
                        registry::store::HKEY root = registry::store::HKEY_CURRENT_USER) {
  std::string out;
  DumpKey(store, root, "", out);
  return out;
}

}  // namespace brindel::test
