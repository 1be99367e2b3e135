#pragma once

#include <initializer_list>
#include <map>
#include <string>
#include <vector>

#include "registry/store/RegistryStore.h"

namespace brindel::profile {

// The current store seen through a watch, while the object lives: every operation
// goes to that store unchanged, and the first one that fails with a result other
// than the expected ones is kept. The helpers of the export and the repair read a
// key that fails to open, or a list that fails to enumerate, as an empty one; the
// watch tells such a failure from a real "nothing there", so that a backup that left
// something out, or a repair that could not do an item, does not end as if it had
// worked. A watch is made only while the process has a current store.
class TStoreWatch : public registry::store::RegistryStore {
 public:
  using HKEY = registry::store::HKEY;
  using LSTATUS = registry::store::LSTATUS;
  using REGSAM = registry::store::REGSAM;

  // Results that are answers for the action watched, not failures (success always
  // is one).
  explicit TStoreWatch(std::initializer_list<LSTATUS> Expected);
  ~TStoreWatch() override;
  TStoreWatch(const TStoreWatch&) = delete;
  TStoreWatch& operator=(const TStoreWatch&) = delete;

  bool Failed() const { return failure_ != registry::store::ERROR_SUCCESS; }
  // The first failure in German, naming the key and the store's reason; empty while
  // there is none.
  std::u16string FailureText() const;

  LSTATUS OpenKey(HKEY parent, std::u16string_view subKey, REGSAM access, HKEY& result) override;
  LSTATUS CreateKey(HKEY parent, std::u16string_view subKey, REGSAM access, HKEY& result,
                    bool* created = nullptr) override;
  LSTATUS CloseKey(HKEY key) override;
  LSTATUS QueryInfoKey(HKEY key, registry::store::KeyInfo& info) override;
  LSTATUS EnumKey(HKEY key, std::uint32_t index, std::u16string& name) override;
  LSTATUS EnumValue(HKEY key, std::uint32_t index, std::u16string& name,
                    registry::store::RegValue* value) override;
  LSTATUS QueryValue(HKEY key, std::u16string_view name, std::uint32_t& type, std::uint32_t& size,
                     std::vector<std::uint8_t>* data) override;
  LSTATUS SetValue(HKEY key, std::u16string_view name, std::uint32_t type,
                   std::span<const std::uint8_t> data) override;
  LSTATUS DeleteKey(HKEY key, std::u16string_view subKey, REGSAM viewFlags) override;
  LSTATUS DeleteValue(HKEY key, std::u16string_view name) override;
  LSTATUS ConnectRegistry(std::u16string_view machine, HKEY root, HKEY& result) override;
  LSTATUS FlushKey(HKEY key) override;

 private:
  enum class TAction { Open, Read, Change, Delete };

  // The path of a handle, as far as the watch saw it opened.
  std::u16string PathOf(HKEY key, std::u16string_view subKey = {}) const;
  LSTATUS Note(LSTATUS status, TAction action, HKEY key, std::u16string_view subKey = {});

  registry::store::RegistryStore& store_;
  registry::store::ScopedCurrentStore current_;
  std::vector<LSTATUS> expected_;
  std::map<HKEY, std::u16string> paths_;
  LSTATUS failure_ = registry::store::ERROR_SUCCESS;
  TAction failedAction_ = TAction::Read;
  std::u16string failedPath_;
};

}  // namespace brindel::profile
