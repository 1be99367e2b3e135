#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "registry/StringList.h"
#include "registry/store/RegistryStore.h"

namespace brindel::registry {

using store::HKEY;
using store::LSTATUS;
using store::REGSAM;

// The kinds of value the program tells apart. The numbers of the binary and the
// integer kind are the other way round from the registry type codes.
enum class TRegValueKind {
  vkUnknown = 0,
  vkString = 1,
  vkExpandString = 2,
  vkInteger = 3,
  vkBinary = 4,
};

TRegValueKind ValueKindOfType(std::uint32_t registryType);

// What the registry reports about a key; all zero when the query fails.
struct TRegKeyInfo {
  std::uint32_t NumSubKeys = 0;
  std::uint32_t MaxSubKeyLen = 0;
  std::uint32_t NumValues = 0;
  std::uint32_t MaxValueLen = 0;
  std::uint32_t MaxDataLen = 0;
  std::uint64_t FileTime = 0;
};

// The registry key object: one root, one access mask, at most one open key. Works on
// the process's current registry store. Releasing it closes the open key and a
// connected root.
class TRegAccess {
 public:
  TRegAccess();
  explicit TRegAccess(REGSAM access);
  virtual ~TRegAccess();
  TRegAccess(const TRegAccess&) = delete;
  TRegAccess& operator=(const TRegAccess&) = delete;

  HKEY RootKey() const { return root_; }
  REGSAM Access() const { return access_; }
  void SetAccess(REGSAM access) { access_ = access; }
  HKEY CurrentKey() const { return currentKey_; }
  const std::u16string& CurrentPath() const { return currentPath_; }
  LSTATUS LastError() const { return lastError_; }

  // Works on this store instead of the process's current one, so that two objects
  // can copy between a registry in memory and a hive. Bind before opening anything;
  // the store must outlive the object.
  void UseStore(store::RegistryStore& store) { store_ = &store; }
  store::RegistryStore* BoundStore() const { return store_; }

  // Takes another root; closes the open key and a connected root. Nothing happens
  // when it is the current root.
  void UseRoot(HKEY root);
  // A path that begins with "\" is taken from the root; any other path relative to
  // the open key, or to the root when none is open. On failure the open key stays.
  bool Open(std::u16string_view path, bool create);
  // Opens without creating, trying KEY_READ, then 0x20009, then 0x1.
  bool OpenReadOnly(std::u16string_view path);
  void Close();

  bool GetKeyInfo(TRegKeyInfo& info);
  void GetSubKeyNames(TStringList& names);
  void GetValueNames(TStringList& names);
  bool ValueExists(std::u16string_view name);
  TRegValueKind GetValueKind(std::u16string_view name);
  int GetValueSize(std::u16string_view name);

  // Raise ERegistryException with the data-type, read or write error text.
  std::u16string ReadString(std::u16string_view name);
  int ReadBinary(std::u16string_view name, std::span<std::uint8_t> buffer);
  void WriteBinary(std::u16string_view name, std::span<const std::uint8_t> data);
  void WriteString(std::u16string_view name, std::u16string_view text);
  void WriteInteger(std::u16string_view name, std::int32_t value);

  bool DeleteKey(std::u16string_view path);
  bool DeleteValue(std::u16string_view name);
  bool Connect(std::u16string_view machine);

 protected:
  store::RegistryStore& Store() const;
  // Where a path leads: a path that begins with a backslash from the root, any other from the
  // open key, or from the root when none is open; and the path below that key.
  struct PathTarget {
    HKEY base;
    std::u16string_view relative;
  };
  PathTarget Target(std::u16string_view path) const;
  void ChangeKey(HKEY key, std::u16string path);
  std::u16string FullPath(std::u16string_view path) const;
  // The registry type and size of a value of the open key; false when it cannot be
  // queried.
  bool GetDataInfo(std::u16string_view name, std::uint32_t& type, std::uint32_t& size);
  // The bytes of a value whose type the caller has checked with GetDataInfo. The
  // value can have gone since: a query that fails now raises the read error.
  std::vector<std::uint8_t> GetData(std::u16string_view name);
  void PutData(std::u16string_view name, std::uint32_t type, std::span<const std::uint8_t> data);
  void SetLastError(LSTATUS status) { lastError_ = status; }
  bool CloseRootFlag() const { return closeRoot_; }

 private:
  // Deletes the sub keys of base\path as far as the access mask lets it see them,
  // then the key itself.
  LSTATUS DeleteKeyBelow(HKEY base, std::u16string_view path);

  HKEY root_ = store::HKEY_CURRENT_USER;
  REGSAM access_ = store::KEY_ALL_ACCESS;
  HKEY currentKey_ = 0;
  std::u16string currentPath_;
  bool closeRoot_ = false;
  LSTATUS lastError_ = 0;
  store::RegistryStore* store_ = nullptr;  // null: the process's current store
};

}  // namespace brindel::registry
