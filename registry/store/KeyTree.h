#pragma once

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Text.h"
#include "registry/store/RegistryStore.h"

namespace brindel::registry::store {

// The operations a store prepares a key for, one per call of the interface that
// works on a key (closing a handle is none of them).
enum class KeyOperation {
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

// What changed of a key, for the store to note.
enum class KeyChange {
  SubKeys,
  Values,
};

// The registry as a tree of keys held in memory, with the handles given out on it:
// what MemoryStore and HiveStore have in common. It resolves handles and checks their
// rights, walks key paths, finds sub keys and values, and applies the registry's
// rules for creating and deleting; `Store` plugs in what differs between them:
//
//   LSTATUS StartOperation();                 // before anything else in a call
//   LSTATUS Descend(Node&);                   // before a key's sub keys are looked up
//   LSTATUS Prepare(Node&, KeyOperation);     // before a key's sub keys or values are used
//   LSTATUS CheckOpen(Node&, REGSAM);         // before a handle is given out
//   LSTATUS CheckWrite(Node&, KeyOperation);  // before a key or its values change
//   bool Storable(std::u16string_view name);  // a new key's or value's name is kept
//   static bool CanReach(const Node&, std::size_t levels);  // optional: a depth limit
//   static std::size_t FindValue(Node&, name), AddValue, EraseValue  // optional: an index
//   static std::shared_ptr<Node> Child(Node&, name)  // optional: sub keys found otherwise
//   LSTATUS AddChild(Node& parent, std::u16string_view name, std::shared_ptr<Node>& child);
//   void RemoveChild(Node& parent, const Node& child);
//   void Touch(Node&, KeyChange);             // after a key or its values changed
//   bool ReadData(const Node&, const Value&, std::vector<std::uint8_t>&);
//   static std::uint32_t DataSize(const Value&);
//   LSTATUS Flush(Node&);
//   void Opened(Node&);                       // a handle on the key was given out
//   void Closed(const std::shared_ptr<Node>&);  // a handle on the key was closed
//
// A value is changed after Prepare and then CheckWrite; a key to be deleted is checked
// before it is prepared, so that a store need not read a key it may not delete. These
// orders decide which result a call gives when more than one applies.
//
// `Node` has a name, a parent pointer, sorted `children` (std::shared_ptr<Node>),
// `values` (each with a name, a type and Assign(type, data)), and the flags `fixed`
// (a root or a key that cannot be deleted) and `deleted`, and HasChildren(). The
// hooks are plain members reached through `Store`, so nothing here costs a virtual
// call beyond the interface's own.
template <class Store, class Node>
class KeyTree : public RegistryStore {
 public:
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

  // Number of handles given out and not yet closed; a leak shows here.
  std::size_t OpenHandleCount() const { return handles_.size(); }

 protected:
  using Children = std::vector<std::shared_ptr<Node>>;

  struct Handle {
    std::shared_ptr<Node> node;
    REGSAM access = 0;
  };

  // The first sub key that does not sort before `name`.
  static typename Children::iterator LowerBound(Node& node, std::u16string_view name) {
    return std::lower_bound(node.children.begin(), node.children.end(), name,
                            [](const std::shared_ptr<Node>& child, std::u16string_view n) {
                              return platform::CompareTextIgnoreCase(child->name, n) < 0;
                            });
  }

  // The sub key `name` of node, without regard to letter case; null when there is
  // none. By binary search in the sorted sub keys; a store that takes sub keys in
  // another order defines its own, which `Store::` finds first.
  static std::shared_ptr<Node> Child(Node& node, std::u16string_view name) {
    auto it = LowerBound(node, name);
    if (it != node.children.end() && !(*it)->deleted &&
        platform::SameTextIgnoreCase((*it)->name, name)) {
      return *it;
    }
    return nullptr;
  }

  // Where among node.values the value `name` is, without regard to letter case;
  // kNoValue when there is none. AddValue appends a value of that name, EraseValue
  // removes one. These look at every value; a store that keeps keys of very many
  // values defines its own, which `Store::` finds first.
  static constexpr std::size_t kNoValue = static_cast<std::size_t>(-1);
  static std::size_t FindValue(Node& node, std::u16string_view name) {
    for (std::size_t i = 0; i < node.values.size(); ++i) {
      if (platform::SameTextIgnoreCase(node.values[i].name, name))
        return i;
    }
    return kNoValue;
  }
  static std::size_t AddValue(Node& node, std::u16string_view name) {
    node.values.emplace_back();
    node.values.back().name = std::u16string(name);
    return node.values.size() - 1;
  }
  static void EraseValue(Node& node, std::size_t index) {
    node.values.erase(node.values.begin() + static_cast<std::ptrdiff_t>(index));
  }
  // Whether keys `levels` below node may be made; a store that limits the depth of
  // its keys says so here, before anything of a path is made.
  static bool CanReach(const Node& /*node*/, std::size_t /*levels*/) { return true; }

  LSTATUS Resolve(HKEY key, REGSAM needed, std::shared_ptr<Node>& node) const;
  // The key below `key` at the sub key path; no right is needed on `key` for it.
  LSTATUS Find(HKEY key, std::u16string_view subKey, std::shared_ptr<Node>& node);
  HKEY NewHandle(std::shared_ptr<Node> node, REGSAM access);

  std::map<HKEY, std::shared_ptr<Node>> roots_;
  std::map<HKEY, Handle> handles_;

 private:
  Store& Self() { return static_cast<Store&>(*this); }

  HKEY nextHandle_ = 0x1000;
};

template <class Store, class Node>
LSTATUS KeyTree<Store, Node>::Resolve(HKEY key, REGSAM needed, std::shared_ptr<Node>& node) const {
  if (auto root = roots_.find(key); root != roots_.end()) {
    node = root->second;
    return ERROR_SUCCESS;
  }
  auto handle = handles_.find(key);
  if (handle == handles_.end())
    return ERROR_INVALID_HANDLE;
  if (handle->second.node->deleted)
    return ERROR_KEY_DELETED;
  if ((handle->second.access & needed) != needed)
    return ERROR_ACCESS_DENIED;
  node = handle->second.node;
  return ERROR_SUCCESS;
}

template <class Store, class Node>
LSTATUS KeyTree<Store, Node>::Find(HKEY key, std::u16string_view subKey,
                                   std::shared_ptr<Node>& node) {
  if (LSTATUS status = Resolve(key, 0, node); status != ERROR_SUCCESS)
    return status;
  for (auto part : SplitKeyPath(subKey)) {
    if (LSTATUS status = Self().Descend(*node); status != ERROR_SUCCESS)
      return status;
    node = Store::Child(*node, part);
    if (!node)
      return ERROR_FILE_NOT_FOUND;
  }
  return ERROR_SUCCESS;
}

template <class Store, class Node>
HKEY KeyTree<Store, Node>::NewHandle(std::shared_ptr<Node> node, REGSAM access) {
  const HKEY handle = nextHandle_;
  nextHandle_ += 4;
  Self().Opened(*node);
  handles_[handle] = Handle{std::move(node), access};
  return handle;
}

template <class Store, class Node>
LSTATUS KeyTree<Store, Node>::OpenKey(HKEY parent, std::u16string_view subKey, REGSAM access,
                                      HKEY& result) {
  result = 0;
  if (LSTATUS status = Self().StartOperation(); status != ERROR_SUCCESS)
    return status;
  std::shared_ptr<Node> node;
  // Opening below a handle needs no right on that handle, as on Windows.
  if (LSTATUS status = Find(parent, subKey, node); status != ERROR_SUCCESS)
    return status;
  if (LSTATUS status = Self().CheckOpen(*node, access); status != ERROR_SUCCESS)
    return status;
  result = NewHandle(std::move(node), access);
  return ERROR_SUCCESS;
}

template <class Store, class Node>
LSTATUS KeyTree<Store, Node>::CreateKey(HKEY parent, std::u16string_view subKey, REGSAM access,
                                        HKEY& result, bool* created) {
  result = 0;
  if (created)
    *created = false;
  if (LSTATUS status = Self().StartOperation(); status != ERROR_SUCCESS)
    return status;
  std::shared_ptr<Node> node;
  if (LSTATUS status = Resolve(parent, 0, node); status != ERROR_SUCCESS)
    return status;
  const auto parts = SplitKeyPath(subKey);
  for (auto part : parts) {
    if (part.size() > kMaxKeyNameLength)
      return ERROR_INVALID_PARAMETER;
  }
  // A path too deep is refused before any of its keys is made.
  if (!Store::CanReach(*node, parts.size()))
    return ERROR_INVALID_PARAMETER;
  // Creating a missing key needs the right to add sub keys on the handle for the
  // first level, and a key that takes changes at every level that gets a new child.
  bool firstLevel = true;
  for (auto part : parts) {
    if (LSTATUS status = Self().Descend(*node); status != ERROR_SUCCESS)
      return status;
    auto child = Store::Child(*node, part);
    if (!child) {
      if (firstLevel && !IsPredefinedRoot(parent) &&
          (handles_.at(parent).access & KEY_CREATE_SUB_KEY) == 0) {
        return ERROR_ACCESS_DENIED;
      }
      if (LSTATUS status = Self().CheckWrite(*node, KeyOperation::Create);
          status != ERROR_SUCCESS) {
        return status;
      }
      if (!Self().Storable(part))
        return ERROR_INVALID_PARAMETER;
      if (LSTATUS status = Self().AddChild(*node, part, child); status != ERROR_SUCCESS)
        return status;
      if (created)
        *created = true;
    }
    node = child;
    firstLevel = false;
  }
  if (LSTATUS status = Self().CheckOpen(*node, access); status != ERROR_SUCCESS)
    return status;
  result = NewHandle(std::move(node), access);
  return ERROR_SUCCESS;
}

template <class Store, class Node>
LSTATUS KeyTree<Store, Node>::CloseKey(HKEY key) {
  if (roots_.count(key))
    return ERROR_SUCCESS;
  auto handle = handles_.find(key);
  if (handle == handles_.end())
    return ERROR_INVALID_HANDLE;
  const std::shared_ptr<Node> node = std::move(handle->second.node);
  handles_.erase(handle);
  Self().Closed(node);
  return ERROR_SUCCESS;
}

template <class Store, class Node>
LSTATUS KeyTree<Store, Node>::QueryInfoKey(HKEY key, KeyInfo& info) {
  info = KeyInfo{};
  if (LSTATUS status = Self().StartOperation(); status != ERROR_SUCCESS)
    return status;
  std::shared_ptr<Node> node;
  if (LSTATUS status = Resolve(key, KEY_QUERY_VALUE, node); status != ERROR_SUCCESS)
    return status;
  if (LSTATUS status = Self().Prepare(*node, KeyOperation::QueryInfo); status != ERROR_SUCCESS)
    return status;
  info.subKeys = static_cast<std::uint32_t>(node->children.size());
  info.values = static_cast<std::uint32_t>(node->values.size());
  for (const auto& child : node->children) {
    info.maxSubKeyLen = std::max(info.maxSubKeyLen, static_cast<std::uint32_t>(child->name.size()));
  }
  for (const auto& value : node->values) {
    info.maxValueNameLen =
        std::max(info.maxValueNameLen, static_cast<std::uint32_t>(value.name.size()));
    info.maxValueLen = std::max(info.maxValueLen, Store::DataSize(value));
  }
  info.lastWriteTime = node->lastWrite;
  return ERROR_SUCCESS;
}

template <class Store, class Node>
LSTATUS KeyTree<Store, Node>::EnumKey(HKEY key, std::uint32_t index, std::u16string& name) {
  name.clear();
  if (LSTATUS status = Self().StartOperation(); status != ERROR_SUCCESS)
    return status;
  std::shared_ptr<Node> node;
  if (LSTATUS status = Resolve(key, KEY_ENUMERATE_SUB_KEYS, node); status != ERROR_SUCCESS)
    return status;
  if (LSTATUS status = Self().Prepare(*node, KeyOperation::EnumKey); status != ERROR_SUCCESS)
    return status;
  if (index >= node->children.size())
    return ERROR_NO_MORE_ITEMS;
  name = node->children[index]->name;
  return ERROR_SUCCESS;
}

template <class Store, class Node>
LSTATUS KeyTree<Store, Node>::EnumValue(HKEY key, std::uint32_t index, std::u16string& name,
                                        RegValue* value) {
  name.clear();
  if (LSTATUS status = Self().StartOperation(); status != ERROR_SUCCESS)
    return status;
  std::shared_ptr<Node> node;
  if (LSTATUS status = Resolve(key, KEY_QUERY_VALUE, node); status != ERROR_SUCCESS)
    return status;
  if (LSTATUS status = Self().Prepare(*node, KeyOperation::EnumValue); status != ERROR_SUCCESS)
    return status;
  if (index >= node->values.size())
    return ERROR_NO_MORE_ITEMS;
  const auto& entry = node->values[index];
  if (value) {
    value->type = entry.type;
    if (!Self().ReadData(*node, entry, value->data))
      return ERROR_BADDB;
  }
  name = entry.name;
  return ERROR_SUCCESS;
}

template <class Store, class Node>
LSTATUS KeyTree<Store, Node>::QueryValue(HKEY key, std::u16string_view name, std::uint32_t& type,
                                         std::uint32_t& size, std::vector<std::uint8_t>* data) {
  type = REG_NONE;
  size = 0;
  if (data)
    data->clear();
  if (LSTATUS status = Self().StartOperation(); status != ERROR_SUCCESS)
    return status;
  std::shared_ptr<Node> node;
  if (LSTATUS status = Resolve(key, KEY_QUERY_VALUE, node); status != ERROR_SUCCESS)
    return status;
  if (LSTATUS status = Self().Prepare(*node, KeyOperation::QueryValue); status != ERROR_SUCCESS)
    return status;
  const std::size_t index = Store::FindValue(*node, name);
  if (index == kNoValue)
    return ERROR_FILE_NOT_FOUND;
  const auto& value = node->values[index];
  if (data) {
    if (LSTATUS status = Self().Prepare(*node, KeyOperation::QueryValueData);
        status != ERROR_SUCCESS) {
      return status;
    }
    if (!Self().ReadData(*node, value, *data))
      return ERROR_BADDB;
  }
  type = value.type;
  size = Store::DataSize(value);
  return ERROR_SUCCESS;
}

template <class Store, class Node>
LSTATUS KeyTree<Store, Node>::SetValue(HKEY key, std::u16string_view name, std::uint32_t type,
                                       std::span<const std::uint8_t> data) {
  if (LSTATUS status = Self().StartOperation(); status != ERROR_SUCCESS)
    return status;
  std::shared_ptr<Node> node;
  if (LSTATUS status = Resolve(key, KEY_SET_VALUE, node); status != ERROR_SUCCESS)
    return status;
  if (name.size() > kMaxValueNameLength)
    return ERROR_INVALID_PARAMETER;
  if (LSTATUS status = Self().Prepare(*node, KeyOperation::SetValue); status != ERROR_SUCCESS)
    return status;
  if (LSTATUS status = Self().CheckWrite(*node, KeyOperation::SetValue); status != ERROR_SUCCESS)
    return status;
  if (!Self().Storable(name))
    return ERROR_INVALID_PARAMETER;
  std::size_t index = Store::FindValue(*node, name);
  if (index == kNoValue)
    index = Store::AddValue(*node, name);
  // A replaced value keeps its place and its spelling.
  node->values[index].Assign(type, data);
  Self().Touch(*node, KeyChange::Values);
  return ERROR_SUCCESS;
}

template <class Store, class Node>
LSTATUS KeyTree<Store, Node>::DeleteKey(HKEY key, std::u16string_view subKey,
                                        REGSAM /*viewFlags*/) {
  if (LSTATUS status = Self().StartOperation(); status != ERROR_SUCCESS)
    return status;
  std::shared_ptr<Node> node;
  if (LSTATUS status = Find(key, subKey, node); status != ERROR_SUCCESS)
    return status;
  if (node->fixed)
    return ERROR_ACCESS_DENIED;
  if (LSTATUS status = Self().CheckWrite(*node, KeyOperation::DeleteKey); status != ERROR_SUCCESS)
    return status;
  if (LSTATUS status = Self().Prepare(*node, KeyOperation::DeleteKey); status != ERROR_SUCCESS)
    return status;
  // The registry deletes only keys without sub keys; Windows answers with access denied.
  if (node->HasChildren())
    return ERROR_ACCESS_DENIED;
  Node* parent = node->parent;
  Self().RemoveChild(*parent, *node);
  Self().Touch(*parent, KeyChange::SubKeys);
  node->deleted = true;
  node->parent = nullptr;
  return ERROR_SUCCESS;
}

template <class Store, class Node>
LSTATUS KeyTree<Store, Node>::DeleteValue(HKEY key, std::u16string_view name) {
  if (LSTATUS status = Self().StartOperation(); status != ERROR_SUCCESS)
    return status;
  std::shared_ptr<Node> node;
  if (LSTATUS status = Resolve(key, KEY_SET_VALUE, node); status != ERROR_SUCCESS)
    return status;
  if (LSTATUS status = Self().Prepare(*node, KeyOperation::DeleteValue); status != ERROR_SUCCESS)
    return status;
  if (LSTATUS status = Self().CheckWrite(*node, KeyOperation::DeleteValue);
      status != ERROR_SUCCESS) {
    return status;
  }
  const std::size_t index = Store::FindValue(*node, name);
  if (index == kNoValue)
    return ERROR_FILE_NOT_FOUND;
  Store::EraseValue(*node, index);
  Self().Touch(*node, KeyChange::Values);
  return ERROR_SUCCESS;
}

template <class Store, class Node>
LSTATUS KeyTree<Store, Node>::ConnectRegistry(std::u16string_view /*machine*/, HKEY /*root*/,
                                              HKEY& result) {
  result = 0;
  return ERROR_BAD_NETPATH;
}

template <class Store, class Node>
LSTATUS KeyTree<Store, Node>::FlushKey(HKEY key) {
  if (LSTATUS status = Self().StartOperation(); status != ERROR_SUCCESS)
    return status;
  std::shared_ptr<Node> node;
  if (LSTATUS status = Resolve(key, 0, node); status != ERROR_SUCCESS)
    return status;
  return Self().Flush(*node);
}

}  // namespace brindel::registry::store
