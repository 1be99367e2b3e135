#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Text.h"
#include "registry/store/MemoryStore.h"
#include "support/Bytes.h"

namespace brindel::test {

// A fresh in-memory registry, installed as the process's current store for the test.
class StoreFixture : public ::testing::Test {
 protected:
  using MemoryStore = registry::store::MemoryStore;

  void Put(std::u16string_view path, std::u16string_view name, std::uint32_t type,
           const Bytes& data, registry::store::HKEY root = registry::store::HKEY_CURRENT_USER) {
    registry::store::HKEY key = 0;
    ASSERT_EQ(0, store_.CreateKey(root, path, registry::store::KEY_ALL_ACCESS, key));
    ASSERT_EQ(0, store_.SetValue(key, name, type, data));
    store_.CloseKey(key);
  }

  void MakeKey(std::u16string_view path,
               registry::store::HKEY root = registry::store::HKEY_CURRENT_USER) {
    registry::store::HKEY key = 0;
    ASSERT_EQ(0, store_.CreateKey(root, path, registry::store::KEY_ALL_ACCESS, key));
    store_.CloseKey(key);
  }

  bool KeyExists(std::u16string_view path,
                 registry::store::HKEY root = registry::store::HKEY_CURRENT_USER) {
    registry::store::HKEY key = 0;
    if (store_.OpenKey(root, path, registry::store::KEY_READ, key) != 0)
      return false;
    store_.CloseKey(key);
    return true;
  }

  // The value's type and bytes; type -1 when it cannot be read.
  std::pair<std::int64_t, Bytes> Get(
      std::u16string_view path, std::u16string_view name,
      registry::store::HKEY root = registry::store::HKEY_CURRENT_USER) {
    registry::store::HKEY key = 0;
    if (store_.OpenKey(root, path, registry::store::KEY_READ, key) != 0)
      return {-1, {}};
    std::uint32_t type = 0;
    std::uint32_t size = 0;
    Bytes data;
    const auto status = store_.QueryValue(key, name, type, size, &data);
    store_.CloseKey(key);
    if (status != 0)
      return {-1, {}};
    return {type, data};
  }

  MemoryStore store_;
  registry::store::ScopedCurrentStore current_{store_};
};

}  // namespace brindel::test
