#include "registry/store/MemoryStore.h"

#include <algorithm>

#include "platform/Text.h"

namespace brindel::registry::store {

using platform::CompareTextIgnoreCase;
using platform::SameTextIgnoreCase;

struct MemoryStore::Node {
  std::u16string name;
  Node* parent = nullptr;
  // Kept sorted as the registry enumerates sub keys: case-insensitively. A deleted
  // sub key stays in its place, marked deleted, until the list is next enumerated or
  // counted, so that deleting thousands of sub keys does not move the rest each time.
  std::vector<std::shared_ptr<Node>> children;
  std::size_t deletedChildren = 0;
  std::vector<std::pair<std::u16string, RegValue>> values;
  Protection protection = Protection::None;
  std::map<Operation, LSTATUS> faults;
  bool deleted = false;
  std::uint64_t lastWrite = 0;

  std::vector<std::shared_ptr<Node>>::iterator LowerBound(std::u16string_view childName) {
    return std::lower_bound(children.begin(), children.end(), childName,
                            [](const std::shared_ptr<Node>& node, std::u16string_view n) {
                              return CompareTextIgnoreCase(node->name, n) < 0;
                            });
  }

  std::shared_ptr<Node> Child(std::u16string_view childName) {
    auto it = LowerBound(childName);
    if (it != children.end() && !(*it)->deleted && SameTextIgnoreCase((*it)->name, childName)) {
      return *it;
    }
    return nullptr;
  }

  // Puts a new sub key in its place, taking the place of a deleted one of that name.
  void InsertChild(std::shared_ptr<Node> child) {
    auto it = LowerBound(child->name);
    if (it != children.end() && (*it)->deleted && SameTextIgnoreCase((*it)->name, child->name)) {
      *it = std::move(child);
      --deletedChildren;
    } else {
      children.insert(it, std::move(child));
    }
  }

  void RemoveDeletedChildren() {
    if (deletedChildren == 0)
      return;
    std::erase_if(children, [](const std::shared_ptr<Node>& child) { return child->deleted; });
    deletedChildren = 0;
  }

  bool HasChildren() const { return children.size() > deletedChildren; }

  std::vector<std::pair<std::u16string, RegValue>>::iterator FindValue(std::u16string_view n) {
    return std::find_if(values.begin(), values.end(),
                        [n](const auto& entry) { return SameTextIgnoreCase(entry.first, n); });
  }
};

namespace {

// Rights that a read-only key grants: what KEY_READ asks for, plus the view flags.
constexpr REGSAM kReadRights = KEY_READ | KEY_WOW64_RES;

std::uint64_t NextWriteTime() {
  // A monotonic stand-in for the key's last write time; only its order matters here.
  static std::uint64_t clock = 0x01D0000000000000ull;
  return ++clock;
}

}  // namespace

MemoryStore::MemoryStore() {
  for (HKEY root : {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS}) {
    roots_[root] = std::make_shared<Node>();
  }
}

MemoryStore::~MemoryStore() = default;

LSTATUS MemoryStore::Resolve(HKEY key, REGSAM needed, std::shared_ptr<Node>& node) const {
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

LSTATUS MemoryStore::Fault(const Node& node, Operation operation) const {
  auto fault = node.faults.find(operation);
  return fault == node.faults.end() ? ERROR_SUCCESS : fault->second;
}

LSTATUS MemoryStore::CountOperation() {
  ++operations_;
  return operations_ == failingOperation_ ? failingCode_ : ERROR_SUCCESS;
}

HKEY MemoryStore::NewHandle(std::shared_ptr<Node> node, REGSAM access) {
  const HKEY handle = nextHandle_;
  nextHandle_ += 4;
  handles_[handle] = Handle{std::move(node), access};
  return handle;
}

namespace {

LSTATUS CheckOpenRights(MemoryStore::Protection protection, REGSAM access) {
  if (protection == MemoryStore::Protection::Unreadable)
    return ERROR_ACCESS_DENIED;
  if (protection == MemoryStore::Protection::ReadOnly && (access & ~kReadRights) != 0) {
    return ERROR_ACCESS_DENIED;
  }
  return ERROR_SUCCESS;
}

}  // namespace

LSTATUS MemoryStore::OpenKey(HKEY parent, std::u16string_view subKey, REGSAM access, HKEY& result) {
  result = 0;
  if (LSTATUS status = CountOperation(); status != ERROR_SUCCESS)
    return status;
  std::shared_ptr<Node> node;
  // Opening below a handle needs no right on that handle, as on Windows.
  if (LSTATUS status = Find(parent, subKey, node); status != ERROR_SUCCESS)
    return status;
  if (LSTATUS status = Fault(*node, Operation::Open); status != ERROR_SUCCESS)
    return status;
  if (LSTATUS status = CheckOpenRights(node->protection, access); status != ERROR_SUCCESS) {
    return status;
  }
  result = NewHandle(std::move(node), access);
  return ERROR_SUCCESS;
}

LSTATUS MemoryStore::CreateKey(HKEY parent, std::u16string_view subKey, REGSAM access, HKEY& result,
                               bool* created) {
  result = 0;
  if (created)
    *created = false;
  if (LSTATUS status = CountOperation(); status != ERROR_SUCCESS)
    return status;
  std::shared_ptr<Node> node;
  if (LSTATUS status = Resolve(parent, 0, node); status != ERROR_SUCCESS)
    return status;
  const auto parts = SplitKeyPath(subKey);
  for (auto part : parts) {
    if (part.size() > kMaxKeyNameLength)
      return ERROR_INVALID_PARAMETER;
  }
  // Creating a missing key needs the right to add sub keys: on the handle for the
  // first level, and on every key that gets a new child.
  bool firstLevel = true;
  for (auto part : parts) {
    auto child = node->Child(part);
    if (!child) {
      if (firstLevel && !IsPredefinedRoot(parent) &&
          (handles_.at(parent).access & KEY_CREATE_SUB_KEY) == 0) {
        return ERROR_ACCESS_DENIED;
      }
      if (node->protection != Protection::None)
        return ERROR_ACCESS_DENIED;
      if (LSTATUS status = Fault(*node, Operation::Create); status != ERROR_SUCCESS) {
        return status;
      }
      child = std::make_shared<Node>();
      child->name = std::u16string(part);
      child->parent = node.get();
      child->lastWrite = NextWriteTime();
      node->InsertChild(child);
      node->lastWrite = NextWriteTime();
      if (created)
        *created = true;
    }
    node = child;
    firstLevel = false;
  }
  if (LSTATUS status = Fault(*node, Operation::Open); status != ERROR_SUCCESS)
    return status;
  if (LSTATUS status = CheckOpenRights(node->protection, access); status != ERROR_SUCCESS) {
    return status;
  }
  result = NewHandle(std::move(node), access);
  return ERROR_SUCCESS;
}

LSTATUS MemoryStore::CloseKey(HKEY key) {
  if (roots_.count(key))
    return ERROR_SUCCESS;
  return handles_.erase(key) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

LSTATUS MemoryStore::QueryInfoKey(HKEY key, KeyInfo& info) {
  info = KeyInfo{};
  if (LSTATUS status = CountOperation(); status != ERROR_SUCCESS)
    return status;
  std::shared_ptr<Node> node;
  if (LSTATUS status = Resolve(key, KEY_QUERY_VALUE, node); status != ERROR_SUCCESS) {
    return status;
  }
  if (LSTATUS status = Fault(*node, Operation::QueryInfo); status != ERROR_SUCCESS)
    return status;
  node->RemoveDeletedChildren();
  info.subKeys = static_cast<std::uint32_t>(node->children.size());
  info.values = static_cast<std::uint32_t>(node->values.size());
  for (const auto& child : node->children) {
    info.maxSubKeyLen = std::max(info.maxSubKeyLen, static_cast<std::uint32_t>(child->name.size()));
  }
  for (const auto& [name, value] : node->values) {
    info.maxValueNameLen = std::max(info.maxValueNameLen, static_cast<std::uint32_t>(name.size()));
    info.maxValueLen = std::max(info.maxValueLen, static_cast<std::uint32_t>(value.data.size()));
  }
  info.lastWriteTime = node->lastWrite;
  return ERROR_SUCCESS;
}

LSTATUS MemoryStore::EnumKey(HKEY key, std::uint32_t index, std::u16string& name) {
  name.clear();
  if (LSTATUS status = CountOperation(); status != ERROR_SUCCESS)
    return status;
  std::shared_ptr<Node> node;
  if (LSTATUS status = Resolve(key, KEY_ENUMERATE_SUB_KEYS, node); status != ERROR_SUCCESS) {
    return status;
  }
  if (LSTATUS status = Fault(*node, Operation::EnumKey); status != ERROR_SUCCESS)
    return status;
  node->RemoveDeletedChildren();
  if (index >= node->children.size())
    return ERROR_NO_MORE_ITEMS;
  name = node->children[index]->name;
  return ERROR_SUCCESS;
}

LSTATUS MemoryStore::EnumValue(HKEY key, std::uint32_t index, std::u16string& name,
                               RegValue* value) {
  name.clear();
  if (LSTATUS status = CountOperation(); status != ERROR_SUCCESS)
    return status;
  std::shared_ptr<Node> node;
  if (LSTATUS status = Resolve(key, KEY_QUERY_VALUE, node); status != ERROR_SUCCESS) {
    return status;
  }
  if (LSTATUS status = Fault(*node, Operation::EnumValue); status != ERROR_SUCCESS)
    return status;
  if (index >= node->values.size())
    return ERROR_NO_MORE_ITEMS;
  name = node->values[index].first;
  if (value)
    *value = node->values[index].second;
  return ERROR_SUCCESS;
}

LSTATUS MemoryStore::QueryValue(HKEY key, std::u16string_view name, std::uint32_t& type,
                                std::uint32_t& size, std::vector<std::uint8_t>* data) {
  type = REG_NONE;
  size = 0;
  if (data)
    data->clear();
  if (LSTATUS status = CountOperation(); status != ERROR_SUCCESS)
    return status;
  std::shared_ptr<Node> node;
  if (LSTATUS status = Resolve(key, KEY_QUERY_VALUE, node); status != ERROR_SUCCESS) {
    return status;
  }
  if (LSTATUS status = Fault(*node, Operation::QueryValue); status != ERROR_SUCCESS) {
    return status;
  }
  auto it = node->FindValue(name);
  if (it == node->values.end())
    return ERROR_FILE_NOT_FOUND;
  if (data) {
    if (LSTATUS status = Fault(*node, Operation::QueryValueData); status != ERROR_SUCCESS) {
      return status;
    }
    *data = it->second.data;
  }
  type = it->second.type;
  size = static_cast<std::uint32_t>(it->second.data.size());
  return ERROR_SUCCESS;
}

LSTATUS MemoryStore::SetValue(HKEY key, std::u16string_view name, std::uint32_t type,
                              std::span<const std::uint8_t> data) {
  if (LSTATUS status = CountOperation(); status != ERROR_SUCCESS)
    return status;
  std::shared_ptr<Node> node;
  if (LSTATUS status = Resolve(key, KEY_SET_VALUE, node); status != ERROR_SUCCESS)
    return status;
  if (name.size() > kMaxValueNameLength)
    return ERROR_INVALID_PARAMETER;
  if (node->protection != Protection::None)
    return ERROR_ACCESS_DENIED;
  if (LSTATUS status = Fault(*node, Operation::SetValue); status != ERROR_SUCCESS)
    return status;
  RegValue value{type, std::vector<std::uint8_t>(data.begin(), data.end())};
  if (auto it = node->FindValue(name); it != node->values.end()) {
    it->second = std::move(value);
  } else {
    node->values.emplace_back(std::u16string(name), std::move(value));
  }
  node->lastWrite = NextWriteTime();
  return ERROR_SUCCESS;
}

LSTATUS MemoryStore::DeleteKey(HKEY key, std::u16string_view subKey, REGSAM /*viewFlags*/) {
  if (LSTATUS status = CountOperation(); status != ERROR_SUCCESS)
    return status;
  std::shared_ptr<Node> node;
  if (LSTATUS status = Find(key, subKey, node); status != ERROR_SUCCESS)
    return status;
  if (node->parent == nullptr)
    return ERROR_ACCESS_DENIED;  // a root
  if (node->protection != Protection::None)
    return ERROR_ACCESS_DENIED;
  if (LSTATUS status = Fault(*node, Operation::DeleteKey); status != ERROR_SUCCESS)
    return status;
  // The registry deletes only keys without sub keys; Windows answers with access denied.
  if (node->HasChildren())
    return ERROR_ACCESS_DENIED;
  Node* parent = node->parent;
  ++parent->deletedChildren;
  parent->lastWrite = NextWriteTime();
  node->deleted = true;
  node->parent = nullptr;
  return ERROR_SUCCESS;
}

LSTATUS MemoryStore::DeleteValue(HKEY key, std::u16string_view name) {
  if (LSTATUS status = CountOperation(); status != ERROR_SUCCESS)
    return status;
  std::shared_ptr<Node> node;
  if (LSTATUS status = Resolve(key, KEY_SET_VALUE, node); status != ERROR_SUCCESS)
    return status;
  if (node->protection != Protection::None)
    return ERROR_ACCESS_DENIED;
  if (LSTATUS status = Fault(*node, Operation::DeleteValue); status != ERROR_SUCCESS) {
    return status;
  }
  auto it = node->FindValue(name);
  if (it == node->values.end())
    return ERROR_FILE_NOT_FOUND;
  node->values.erase(it);
  node->lastWrite = NextWriteTime();
  return ERROR_SUCCESS;
}

LSTATUS MemoryStore::ConnectRegistry(std::u16string_view /*machine*/, HKEY /*root*/, HKEY& result) {
  result = 0;
  return ERROR_BAD_NETPATH;
}

LSTATUS MemoryStore::FlushKey(HKEY key) {
  if (LSTATUS status = CountOperation(); status != ERROR_SUCCESS)
    return status;
  std::shared_ptr<Node> node;
  if (LSTATUS status = Resolve(key, 0, node); status != ERROR_SUCCESS)
    return status;
  return Fault(*node, Operation::Flush);
}

LSTATUS MemoryStore::Find(HKEY key, std::u16string_view subKey, std::shared_ptr<Node>& node) const {
  if (LSTATUS status = Resolve(key, 0, node); status != ERROR_SUCCESS)
    return status;
  for (auto part : SplitKeyPath(subKey)) {
    node = node->Child(part);
    if (!node)
      return ERROR_FILE_NOT_FOUND;
  }
  return ERROR_SUCCESS;
}

std::shared_ptr<MemoryStore::Node> MemoryStore::FindPath(HKEY root,
                                                         std::u16string_view path) const {
  std::shared_ptr<Node> node;
  if (!roots_.count(root) || Find(root, path, node) != ERROR_SUCCESS)
    return nullptr;
  return node;
}

bool MemoryStore::SetProtection(HKEY root, std::u16string_view path, Protection protection) {
  auto node = FindPath(root, path);
  if (!node)
    return false;
  node->protection = protection;
  return true;
}

bool MemoryStore::InjectFault(HKEY root, std::u16string_view path, Operation operation,
                              LSTATUS code) {
  auto node = FindPath(root, path);
  if (!node)
    return false;
  if (code == ERROR_SUCCESS) {
    node->faults.erase(operation);
  } else {
    node->faults[operation] = code;
  }
  return true;
}

void MemoryStore::FailOperation(std::uint64_t number, LSTATUS code) {
  operations_ = 0;
  failingOperation_ = code == ERROR_SUCCESS ? 0 : number;
  failingCode_ = code;
}

}  // namespace brindel::registry::store
