#pragma once

#include <map>
#include <memory>
#include <utility>

#include "registry/store/RegistryStore.h"

namespace brindel::registry::store {

// One registry made of two: HKEY_CURRENT_USER from one store, every other root from
// another. A user who is not logged on has only a hive file, while the machine part of
// the running Windows is live and cannot be opened as a file: the user's hive store
// and the live registry make that user's registry together.
//
// Handles are this store's own; each stands for a handle of the store it came from.
class SplitStore : public RegistryStore {
 public:
  SplitStore(std::unique_ptr<RegistryStore> user, std::unique_ptr<RegistryStore> machine)
      : user_(std::move(user)), machine_(std::move(machine)) {}
  ~SplitStore() override;
  SplitStore(const SplitStore&) = delete;
  SplitStore& operator=(const SplitStore&) = delete;

  RegistryStore& User() { return *user_; }
  RegistryStore& Machine() { return *machine_; }

  LSTATUS OpenKey(HKEY parent, std::u16string_view subKey, REGSAM access, HKEY& result) override;
  LSTATUS CreateKey(HKEY parent, std::u16string_view subKey, REGSAM access, HKEY& result,
                    bool* created = nullptr) override;
  LSTATUS CloseKey(HKEY key) override;
  LSTATUS QueryInfoKey(HKEY key, KeyInfo& info) override;
  LSTATUS EnumKey(HKEY key, std::uint32_t index, std::u16string& name) override;
  LSTATUS EnumValue(HKEY key, std::uint32_t index, std::u16string& name, RegValue* value) override;
  LSTATUS QueryValue(HKEY key, std::u16string_view name, std::uint32_t& type, std::uint32_t& size,
                     std::vector<std::uint8_t>* data) override;
  LSTATUS SetValue(HKEY key, std::u16string_view name, std::uint32_t type,
                   std::span<const std::uint8_t> data) override;
  LSTATUS DeleteKey(HKEY key, std::u16string_view subKey, REGSAM viewFlags) override;
  LSTATUS DeleteValue(HKEY key, std::u16string_view name) override;
  LSTATUS ConnectRegistry(std::u16string_view machine, HKEY root, HKEY& result) override;
  LSTATUS FlushKey(HKEY key) override;

 private:
  // The store and its handle that `key` stands for; null store for an unknown handle.
  std::pair<RegistryStore*, HKEY> Resolve(HKEY key);
  // A handle of this store for `handle` of `store`.
  HKEY Give(RegistryStore* store, HKEY handle);

  std::unique_ptr<RegistryStore> user_;
  std::unique_ptr<RegistryStore> machine_;
  std::map<HKEY, std::pair<RegistryStore*, HKEY>> handles_;
  HKEY next_ = 0x1000;
};

}  // namespace brindel::registry::store
