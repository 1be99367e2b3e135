#include "registry/store/MemoryStore.h"

#include <algorithm>
#include <iterator>
#include <memory>
#include <unordered_set>

#include "platform/Text.h"

namespace brindel::registry::store {

namespace memory {

struct Value {
  std::u16string name;
  std::uint32_t type = REG_NONE;
  std::vector<std::uint8_t> data;

  void Assign(std::uint32_t newType, std::span<const std::uint8_t> bytes) {
    type = newType;
    data.assign(bytes.begin(), bytes.end());
  }
};

// Equal names without regard to letter case hash alike: the hash is of the upper case
// by which they compare.
std::size_t HashOfName(std::u16string_view name) {
  std::uint64_t hash = 14695981039346656037ull;  // FNV-1a
  for (const char16_t unit : name) {
    hash ^= platform::UpperUnit(unit);
    hash *= 1099511628211ull;
  }
  return static_cast<std::size_t>(hash);
}

// The positions of a key's values, found by name without regard to letter case. It
// holds positions only; the names it hashes and compares are those of the values.
class ValueIndex {
 public:
  explicit ValueIndex(const std::vector<Value>& values)
      : positions_(values.size(), Hash{&values}, Same{&values}) {
    for (std::size_t i = 0; i < values.size(); ++i)
      positions_.insert(i);
  }

  std::size_t Find(std::u16string_view name) const {
    const auto found = positions_.find(name);
    return found == positions_.end() ? static_cast<std::size_t>(-1) : *found;
  }
  void Add(std::size_t position) { positions_.insert(position); }
  // Only the last position can go without moving the others.
  void RemoveLast(std::size_t position) { positions_.erase(position); }

 private:
  struct Hash {
    using is_transparent = void;
    const std::vector<Value>* values;
    std::size_t operator()(std::size_t position) const {
      return HashOfName((*values)[position].name);
    }
    std::size_t operator()(std::u16string_view name) const { return HashOfName(name); }
  };
  struct Same {
    using is_transparent = void;
    const std::vector<Value>* values;
    std::u16string_view Name(std::size_t position) const { return (*values)[position].name; }
    static std::u16string_view Name(std::u16string_view name) { return name; }
    template <class A, class B>
    bool operator()(const A& a, const B& b) const {
      return platform::SameTextIgnoreCase(Name(a), Name(b));
    }
  };

  std::unordered_set<std::size_t, Hash, Same> positions_;
};

// A key's sub keys found by name without regard to letter case. It holds the keys
// themselves; the names it hashes and compares are theirs.
class ChildIndex {
 public:
  Key* Find(std::u16string_view name) const {
    const auto found = keys_.find(name);
    return found == keys_.end() ? nullptr : *found;
  }
  void Add(Key* key) { keys_.insert(key); }
  void Remove(Key* key) { keys_.erase(key); }

 private:
  static std::u16string_view Name(const Key* key);
  static std::u16string_view Name(std::u16string_view name) { return name; }
  struct Hash {
    using is_transparent = void;
    template <class T>
    std::size_t operator()(const T& key) const {
      return HashOfName(Name(key));
    }
  };
  struct Same {
    using is_transparent = void;
    template <class A, class B>
    bool operator()(const A& a, const B& b) const {
      return platform::SameTextIgnoreCase(Name(a), Name(b));
    }
  };

  std::unordered_set<Key*, Hash, Same> keys_;
};

struct Key : std::enable_shared_from_this<Key> {
  std::u16string name;
  Key* parent = nullptr;
  std::size_t depth = 0;  // levels below the root
  // Kept sorted as the registry enumerates sub keys: case-insensitively. A new sub key
  // waits in `added` and a deleted one stays in its place, marked deleted, until the
  // list is next enumerated or counted: keys made or deleted by the hundred thousand
  // neither move the rest each time nor are sorted one by one.
  std::vector<std::shared_ptr<Key>> children;
  std::vector<std::shared_ptr<Key>> added;
  std::size_t deletedChildren = 0;  // among children and added
  // The sub keys that are not deleted, made once there are many of them.
  std::unique_ptr<ChildIndex> childIndex;
  std::vector<Value> values;
  // Made once the key has many values; dropped when a value other than the last is
  // removed, which moves the ones after it, and made again when next needed.
  std::unique_ptr<ValueIndex> valueIndex;
  MemoryStore::Protection protection = MemoryStore::Protection::None;
  std::map<MemoryStore::Operation, LSTATUS> faults;
  bool fixed = false;  // a root
  bool deleted = false;
  std::uint64_t lastWrite = 0;

  // The sub keys as the registry lists them: deleted ones gone, added ones in place.
  void Settle() {
    if (deletedChildren == 0 && added.empty())
      return;
    const auto isDeleted = [](const std::shared_ptr<Key>& child) { return child->deleted; };
    std::erase_if(children, isDeleted);
    std::erase_if(added, isDeleted);
    const auto before = [](const std::shared_ptr<Key>& a, const std::shared_ptr<Key>& b) {
      return platform::CompareTextIgnoreCase(a->name, b->name) < 0;
    };
    std::sort(added.begin(), added.end(), before);
    const auto middle = static_cast<std::ptrdiff_t>(children.size());
    children.insert(children.end(), std::make_move_iterator(added.begin()),
                    std::make_move_iterator(added.end()));
    std::inplace_merge(children.begin(), children.begin() + middle, children.end(), before);
    added.clear();
    deletedChildren = 0;
  }

  bool HasChildren() const { return children.size() + added.size() > deletedChildren; }
};

std::u16string_view ChildIndex::Name(const Key* key) {
  return key->name;
}

}  // namespace memory

template class KeyTree<MemoryStore, memory::Key>;

namespace {

// Up to this many values or sub keys a key is searched one by one, which costs less
// than keeping an index.
constexpr std::size_t kValuesWithoutIndex = 16;
constexpr std::size_t kChildrenWithoutIndex = 16;

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
    auto node = std::make_shared<Node>();
    node->fixed = true;
    roots_[root] = std::move(node);
  }
}

MemoryStore::~MemoryStore() = default;

LSTATUS MemoryStore::Fault(const Node& node, Operation operation) const {
  auto fault = node.faults.find(operation);
  return fault == node.faults.end() ? ERROR_SUCCESS : fault->second;
}

LSTATUS MemoryStore::StartOperation() {
  ++operations_;
  return operations_ == failingOperation_ ? failingCode_ : ERROR_SUCCESS;
}

LSTATUS MemoryStore::Prepare(Node& node, Operation operation) {
  switch (operation) {
    case Operation::Create:
    case Operation::SetValue:
    case Operation::DeleteKey:
    case Operation::DeleteValue:
      // A change meets its fault in CheckWrite, after the key's protection.
      return ERROR_SUCCESS;
    default:
      break;
  }
  if (LSTATUS status = Fault(node, operation); status != ERROR_SUCCESS)
    return status;
  if (operation == Operation::QueryInfo || operation == Operation::EnumKey)
    node.Settle();
  return ERROR_SUCCESS;
}

LSTATUS MemoryStore::CheckOpen(const Node& node, REGSAM access) const {
  if (LSTATUS status = Fault(node, Operation::Open); status != ERROR_SUCCESS)
    return status;
  if (node.protection == Protection::Unreadable)
    return ERROR_ACCESS_DENIED;
  if (node.protection == Protection::ReadOnly && (access & ~kReadRights) != 0)
    return ERROR_ACCESS_DENIED;
  return ERROR_SUCCESS;
}

LSTATUS MemoryStore::CheckWrite(const Node& node, Operation operation) const {
  if (node.protection != Protection::None)
    return ERROR_ACCESS_DENIED;
  return Fault(node, operation);
}

std::size_t MemoryStore::FindValue(Node& node, std::u16string_view name) {
  if (node.values.size() <= kValuesWithoutIndex)
    return KeyTree::FindValue(node, name);
  if (!node.valueIndex)
    node.valueIndex = std::make_unique<memory::ValueIndex>(node.values);
  return node.valueIndex->Find(name);
}

std::size_t MemoryStore::AddValue(Node& node, std::u16string_view name) {
  const std::size_t position = KeyTree::AddValue(node, name);
  if (node.valueIndex)
    node.valueIndex->Add(position);
  return position;
}

void MemoryStore::EraseValue(Node& node, std::size_t index) {
  // The values after it move up: the index is made again when next needed, unless
  // the value was the last.
  if (node.valueIndex && index + 1 == node.values.size())
    node.valueIndex->RemoveLast(index);
  else
    node.valueIndex.reset();
  KeyTree::EraseValue(node, index);
}

bool MemoryStore::CanReach(const Node& node, std::size_t levels) {
  return levels <= kMaxKeyDepth && node.depth + levels <= kMaxKeyDepth;
}

std::shared_ptr<MemoryStore::Node> MemoryStore::Child(Node& node, std::u16string_view name) {
  if (node.children.size() + node.added.size() <= kChildrenWithoutIndex) {
    if (auto child = KeyTree::Child(node, name))
      return child;
    for (const auto& child : node.added) {
      if (!child->deleted && platform::SameTextIgnoreCase(child->name, name))
        return child;
    }
    return nullptr;
  }
  if (!node.childIndex) {
    node.childIndex = std::make_unique<memory::ChildIndex>();
    for (const auto* list : {&node.children, &node.added}) {
      for (const auto& child : *list) {
        if (!child->deleted)
          node.childIndex->Add(child.get());
      }
    }
  }
  Node* child = node.childIndex->Find(name);
  return child != nullptr ? child->shared_from_this() : nullptr;
}

LSTATUS MemoryStore::AddChild(Node& parent, std::u16string_view name,
                              std::shared_ptr<Node>& child) {
  child = std::make_shared<Node>();
  child->name = std::u16string(name);
  child->parent = &parent;
  child->depth = parent.depth + 1;
  child->lastWrite = NextWriteTime();
  // Its place among the others is found when the sub keys are next listed.
  parent.added.push_back(child);
  if (parent.childIndex)
    parent.childIndex->Add(child.get());
  parent.lastWrite = NextWriteTime();
  return ERROR_SUCCESS;
}

void MemoryStore::RemoveChild(Node& parent, const Node& child) {
  ++parent.deletedChildren;
  if (parent.childIndex)
    parent.childIndex->Remove(const_cast<Node*>(&child));
}

void MemoryStore::Touch(Node& node, KeyChange /*change*/) {
  node.lastWrite = NextWriteTime();
}

bool MemoryStore::ReadData(const Node& /*node*/, const Value& value,
                           std::vector<std::uint8_t>& data) const {
  data = value.data;
  return true;
}

std::uint32_t MemoryStore::DataSize(const Value& value) {
  return static_cast<std::uint32_t>(value.data.size());
}

LSTATUS MemoryStore::Flush(Node& node) const {
  return Fault(node, Operation::Flush);
}

std::shared_ptr<MemoryStore::Node> MemoryStore::FindPath(HKEY root, std::u16string_view path) {
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
