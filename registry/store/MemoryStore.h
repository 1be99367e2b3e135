#pragma once

#include <map>
#include <memory>
#include <vector>

#include "registry/store/KeyTree.h"

namespace brindel::registry::store {

namespace memory {
struct Key;
struct Value;
}  // namespace memory

// A complete registry in memory: the roots HKEY_CLASSES_ROOT, HKEY_CURRENT_USER,
// HKEY_LOCAL_MACHINE and HKEY_USERS, case-insensitive names that keep their stored
// case, sub keys enumerated in the registry's sorted order, values in creation order,
// keys at most kMaxKeyDepth levels below their root as in the registry, and handles
// that enforce their access rights. Keys can be made read-only or
// unreadable, and single operations can be made to fail, so that missing rights and
// failing calls behave as they do on Windows.
class MemoryStore : public KeyTree<MemoryStore, memory::Key> {
 public:
  using Operation = KeyOperation;

  enum class Protection {
    None,
    ReadOnly,    // opens with read rights only; no changes to the key or below it
    Unreadable,  // does not open at all
  };

  MemoryStore();
  ~MemoryStore() override;

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

 private:
  friend class KeyTree<MemoryStore, memory::Key>;
  using Node = memory::Key;
  using Value = memory::Value;

  // What the tree asks of its store; see KeyTree.
  // Counts one operation; the result of the failure set by FailOperation when it is
  // this one.
  LSTATUS StartOperation();
  // Every key is in memory: nothing to read before its sub keys are looked up.
  LSTATUS Descend(Node&) { return ERROR_SUCCESS; }
  LSTATUS Prepare(Node& node, Operation operation);
  LSTATUS CheckOpen(const Node& node, REGSAM access) const;
  LSTATUS CheckWrite(const Node& node, Operation operation) const;
  // Any name the interface can pass is kept as given.
  bool Storable(std::u16string_view) const { return true; }
  LSTATUS AddChild(Node& parent, std::u16string_view name, std::shared_ptr<Node>& child);
  void RemoveChild(Node& parent, const Node& child);
  void Touch(Node& node, KeyChange change);
  bool ReadData(const Node& node, const Value& value, std::vector<std::uint8_t>& data) const;
  static std::uint32_t DataSize(const Value& value);
  LSTATUS Flush(Node& node) const;
  // Every key stays in memory, whatever handles are open on it.
  void Opened(Node&) {}
  void Closed(const std::shared_ptr<Node>&) {}

  // Values are found by name through an index once a key has many of them, so that
  // filling a key of a million values does not compare each new name with all the
  // others.
  static std::size_t FindValue(Node& node, std::u16string_view name);
  static std::size_t AddValue(Node& node, std::u16string_view name);
  static void EraseValue(Node& node, std::size_t index);
  // Keys lie at most kMaxKeyDepth levels below their root.
  static bool CanReach(const Node& node, std::size_t levels);
  // Sub keys are found through an index once a key has many of them, and new ones
  // are sorted in when the key is next listed, so that filling a key with hundreds of
  // thousands of sub keys in any order does not move the others for each.
  static std::shared_ptr<Node> Child(Node& node, std::u16string_view name);

  LSTATUS Fault(const Node& node, Operation operation) const;
  std::shared_ptr<Node> FindPath(HKEY root, std::u16string_view path);

  std::uint64_t operations_ = 0;
  std::uint64_t failingOperation_ = 0;
  LSTATUS failingCode_ = ERROR_SUCCESS;
};

// Its code is made once, in MemoryStore.cpp, where its keys are known.
extern template class KeyTree<MemoryStore, memory::Key>;

}  // namespace brindel::registry::store
