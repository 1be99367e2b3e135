#include "registry/store/SplitStore.h"

namespace brindel::registry::store {

SplitStore::~SplitStore() {
  for (const auto& [key, target] : handles_)
    target.first->CloseKey(target.second);
}

std::pair<RegistryStore*, HKEY> SplitStore::Resolve(HKEY key) {
  if (key == HKEY_CURRENT_USER)
    return {user_.get(), key};
  if (IsPredefinedRoot(key))
    return {machine_.get(), key};
  const auto found = handles_.find(key);
  if (found == handles_.end())
    return {nullptr, 0};
  return found->second;
}

HKEY SplitStore::Give(RegistryStore* store, HKEY handle) {
  const HKEY key = next_++;
  handles_.emplace(key, std::make_pair(store, handle));
  return key;
}

LSTATUS SplitStore::OpenKey(HKEY parent, std::u16string_view subKey, REGSAM access, HKEY& result) {
  result = 0;
  const auto [store, handle] = Resolve(parent);
  if (store == nullptr)
    return ERROR_INVALID_HANDLE;
  HKEY opened = 0;
  const LSTATUS status = store->OpenKey(handle, subKey, access, opened);
  if (status == ERROR_SUCCESS)
    result = Give(store, opened);
  return status;
}

LSTATUS SplitStore::CreateKey(HKEY parent, std::u16string_view subKey, REGSAM access, HKEY& result,
                              bool* created) {
  result = 0;
  const auto [store, handle] = Resolve(parent);
  if (store == nullptr)
    return ERROR_INVALID_HANDLE;
  HKEY opened = 0;
  const LSTATUS status = store->CreateKey(handle, subKey, access, opened, created);
  if (status == ERROR_SUCCESS)
    result = Give(store, opened);
  return status;
}

LSTATUS SplitStore::CloseKey(HKEY key) {
  if (IsPredefinedRoot(key))
    return ERROR_SUCCESS;
  const auto found = handles_.find(key);
  if (found == handles_.end())
    return ERROR_INVALID_HANDLE;
  const auto [store, handle] = found->second;
  handles_.erase(found);
  return store->CloseKey(handle);
}

LSTATUS SplitStore::QueryInfoKey(HKEY key, KeyInfo& info) {
  const auto [store, handle] = Resolve(key);
  return store == nullptr ? ERROR_INVALID_HANDLE : store->QueryInfoKey(handle, info);
}

LSTATUS SplitStore::EnumKey(HKEY key, std::uint32_t index, std::u16string& name) {
  const auto [store, handle] = Resolve(key);
  return store == nullptr ? ERROR_INVALID_HANDLE : store->EnumKey(handle, index, name);
}

LSTATUS SplitStore::EnumValue(HKEY key, std::uint32_t index, std::u16string& name,
                              RegValue* value) {
  const auto [store, handle] = Resolve(key);
  return store == nullptr ? ERROR_INVALID_HANDLE : store->EnumValue(handle, index, name, value);
}

LSTATUS SplitStore::QueryValue(HKEY key, std::u16string_view name, std::uint32_t& type,
                               std::uint32_t& size, std::vector<std::uint8_t>* data) {
  const auto [store, handle] = Resolve(key);
  return store == nullptr ? ERROR_INVALID_HANDLE
                          : store->QueryValue(handle, name, type, size, data);
}

LSTATUS SplitStore::SetValue(HKEY key, std::u16string_view name, std::uint32_t type,
                             std::span<const std::uint8_t> data) {
  const auto [store, handle] = Resolve(key);
  return store == nullptr ? ERROR_INVALID_HANDLE : store->SetValue(handle, name, type, data);
}

LSTATUS SplitStore::DeleteKey(HKEY key, std::u16string_view subKey, REGSAM viewFlags) {
  const auto [store, handle] = Resolve(key);
  return store == nullptr ? ERROR_INVALID_HANDLE : store->DeleteKey(handle, subKey, viewFlags);
}

LSTATUS SplitStore::DeleteValue(HKEY key, std::u16string_view name) {
  const auto [store, handle] = Resolve(key);
  return store == nullptr ? ERROR_INVALID_HANDLE : store->DeleteValue(handle, name);
}

LSTATUS SplitStore::ConnectRegistry(std::u16string_view machine, HKEY root, HKEY& result) {
  result = 0;
  const auto [store, handle] = Resolve(root);
  if (store == nullptr || !IsPredefinedRoot(root))
    return ERROR_INVALID_HANDLE;
  HKEY connected = 0;
  const LSTATUS status = store->ConnectRegistry(machine, handle, connected);
  if (status == ERROR_SUCCESS)
    result = Give(store, connected);
  return status;
}

LSTATUS SplitStore::FlushKey(HKEY key) {
  const auto [store, handle] = Resolve(key);
  return store == nullptr ? ERROR_INVALID_HANDLE : store->FlushKey(handle);
}

}  // namespace brindel::registry::store
