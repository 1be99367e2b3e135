#pragma once

#include <map>
#include <memory>
#include <vector>

#include "registry/store/RegistryStore.h"

namespace brindel::registry::store {

// A complete registry in memory: the roots HKEY_CLASSES_ROOT, HKEY_CURRENT_USER,
// HKEY_LOCAL_MACHINE and HKEY_USERS, case-insensitive names that keep their stored
// case, sub keys enumerated in the registry's sorted order, values in creation order,
// and handles that enforce their access rights. Keys can be made read-only or
// unreadable, and single operations can be made to fail, so that missing rights and
// failing calls behave as they do on Windows.
class MemoryStore : public RegistryStore {
 public:
  enum class Operation {
    Open,
    Create,
    QueryInfo,
    EnumKey,
    EnumValue,
    QueryValue,      // every query of a value
    QueryValueData,  // only a query that asks for the bytes
    SetValue,
    DeleteKey,
    DeleteValue,
    Flush,
  };

  enum class Protection {
    None,
    ReadOnly,    // opens with read rights only; no changes to the key or below it
    Unreadable,  // does not open at all
  };

  MemoryStore();
  ~MemoryStore() override;

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

  // Marks an existing key (root + path). Returns false when the key does not exist.
  bool SetProtection(HKEY root, std::u16string_view path, Protection protection);
  // Makes every later `operation` on the existing key at root + path fail with
  // `code`; Create fails when a sub key would be created below that key. A code of 0
  // removes the fault. Returns false when the key does not exist.
  bool InjectFault(HKEY root, std::u16string_view path, Operation operation, LSTATUS code);
  // Makes the operation `number` from now (1: the next one) fail with `code`, whatever
  // key it works on, and only that one; a number or code of 0 removes it. Counted are
  // the operations that InjectFault knows, one per call; closing a handle is not.
  void FailOperation(std::uint64_t number, LSTATUS code);
  // The operations counted since the store was made or FailOperation was last called.
  std::uint64_t OperationCount() const { return operations_; }
  // Number of handles given out and not yet closed; a leak shows here.
  std::size_t OpenHandleCount() const { return handles_.size(); }

 private:
  struct Node;
  struct Handle {
    std::shared_ptr<Node> node;
    REGSAM access = 0;
  };

  LSTATUS Resolve(HKEY key, REGSAM needed, std::shared_ptr<Node>& node) const;
  LSTATUS Fault(const Node& node, Operation operation) const;
  // Counts one operation; the result of the failure set by FailOperation when it is
  // this one.
  LSTATUS CountOperation();
  HKEY NewHandle(std::shared_ptr<Node> node, REGSAM access);
  // The key below `key` at the sub key path; no right is needed on `key` for it.
  LSTATUS Find(HKEY key, std::u16string_view subKey, std::shared_ptr<Node>& node) const;
  std::shared_ptr<Node> FindPath(HKEY root, std::u16string_view path) const;

  std::map<HKEY, std::shared_ptr<Node>> roots_;
  std::map<HKEY, Handle> handles_;
  HKEY nextHandle_ = 0x1000;
  std::uint64_t operations_ = 0;
  std::uint64_t failingOperation_ = 0;
  LSTATUS failingCode_ = ERROR_SUCCESS;
};

}  // namespace brindel::registry::store
