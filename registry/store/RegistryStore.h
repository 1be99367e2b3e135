#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace brindel::registry::store {

// Handles and result codes as the Windows registry API has them, so that the code
// above this seam reads the same on every platform.
using HKEY = std::uintptr_t;
using LSTATUS = std::int32_t;
using REGSAM = std::uint32_t;

inline constexpr HKEY HKEY_CLASSES_ROOT = 0x80000000u;
inline constexpr HKEY HKEY_CURRENT_USER = 0x80000001u;
inline constexpr HKEY HKEY_LOCAL_MACHINE = 0x80000002u;
inline constexpr HKEY HKEY_USERS = 0x80000003u;
inline constexpr HKEY HKEY_PERFORMANCE_DATA = 0x80000004u;
inline constexpr HKEY HKEY_CURRENT_CONFIG = 0x80000005u;
inline constexpr HKEY HKEY_DYN_DATA = 0x80000006u;

inline constexpr LSTATUS ERROR_SUCCESS = 0;
inline constexpr LSTATUS ERROR_FILE_NOT_FOUND = 2;
inline constexpr LSTATUS ERROR_PATH_NOT_FOUND = 3;
inline constexpr LSTATUS ERROR_ACCESS_DENIED = 5;
inline constexpr LSTATUS ERROR_INVALID_HANDLE = 6;
inline constexpr LSTATUS ERROR_NOT_ENOUGH_MEMORY = 8;
inline constexpr LSTATUS ERROR_INVALID_DATA = 13;
inline constexpr LSTATUS ERROR_BAD_NETPATH = 53;
inline constexpr LSTATUS ERROR_INVALID_PARAMETER = 87;
inline constexpr LSTATUS ERROR_MORE_DATA = 234;
inline constexpr LSTATUS ERROR_NO_MORE_ITEMS = 259;
inline constexpr LSTATUS ERROR_BADDB = 1009;
inline constexpr LSTATUS ERROR_BADKEY = 1010;
inline constexpr LSTATUS ERROR_CANTOPEN = 1011;
inline constexpr LSTATUS ERROR_CANTWRITE = 1013;
inline constexpr LSTATUS ERROR_KEY_DELETED = 1018;

// Access rights of a key handle.
inline constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
inline constexpr REGSAM KEY_SET_VALUE = 0x0002;
inline constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
inline constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
inline constexpr REGSAM KEY_NOTIFY = 0x0010;
inline constexpr REGSAM KEY_CREATE_LINK = 0x0020;
inline constexpr REGSAM KEY_WOW64_64KEY = 0x0100;
inline constexpr REGSAM KEY_WOW64_32KEY = 0x0200;
inline constexpr REGSAM KEY_WOW64_RES = 0x0300;
inline constexpr REGSAM DELETE_RIGHT = 0x00010000;
inline constexpr REGSAM READ_CONTROL = 0x00020000;
inline constexpr REGSAM KEY_READ = 0x20019;
inline constexpr REGSAM KEY_WRITE = 0x20006;
inline constexpr REGSAM KEY_EXECUTE = 0x20019;
inline constexpr REGSAM KEY_ALL_ACCESS = 0xF003F;

// Registry value types.
inline constexpr std::uint32_t REG_NONE = 0;
inline constexpr std::uint32_t REG_SZ = 1;
inline constexpr std::uint32_t REG_EXPAND_SZ = 2;
inline constexpr std::uint32_t REG_BINARY = 3;
inline constexpr std::uint32_t REG_DWORD = 4;
inline constexpr std::uint32_t REG_DWORD_BIG_ENDIAN = 5;
inline constexpr std::uint32_t REG_LINK = 6;
inline constexpr std::uint32_t REG_MULTI_SZ = 7;
inline constexpr std::uint32_t REG_RESOURCE_LIST = 8;
inline constexpr std::uint32_t REG_QWORD = 11;

// The registry's own limits on name lengths, in UTF-16 code units.
inline constexpr std::size_t kMaxKeyNameLength = 255;
inline constexpr std::size_t kMaxValueNameLength = 16383;
// The registry's limit on depth: keys lie at most this many levels below their root.
inline constexpr std::size_t kMaxKeyDepth = 512;

// What RegQueryInfoKeyW reports; lengths in UTF-16 code units, data in bytes.
struct KeyInfo {
  std::uint32_t subKeys = 0;
  std::uint32_t maxSubKeyLen = 0;
  std::uint32_t values = 0;
  std::uint32_t maxValueNameLen = 0;
  std::uint32_t maxValueLen = 0;
  std::uint64_t lastWriteTime = 0;  // FILETIME: 100-ns intervals since 1601
};

// One value: its registry type number, kept whatever it is, and its bytes.
struct RegValue {
  std::uint32_t type = REG_NONE;
  std::vector<std::uint8_t> data;
};

// The one seam between the program and a registry. Shaped like the advapi32 calls:
// every operation returns a result code (0 on success) and never throws. Handles
// are either a predefined root or a handle this store gave out. A sub key path
// holds names separated by backslashes; an empty path means the key itself.
class RegistryStore {
 public:
  virtual ~RegistryStore() = default;

  // RegOpenKeyExW.
  virtual LSTATUS OpenKey(HKEY parent, std::u16string_view subKey, REGSAM access, HKEY& result) = 0;
  // RegCreateKeyExW: opens or creates, missing parents included.
  virtual LSTATUS CreateKey(HKEY parent, std::u16string_view subKey, REGSAM access, HKEY& result,
                            bool* created = nullptr) = 0;
  // RegCloseKey. Closing a predefined root succeeds and does nothing.
  virtual LSTATUS CloseKey(HKEY key) = 0;
  // RegQueryInfoKeyW; needs KEY_QUERY_VALUE.
  virtual LSTATUS QueryInfoKey(HKEY key, KeyInfo& info) = 0;
  // RegEnumKeyExW; needs KEY_ENUMERATE_SUB_KEYS. ERROR_NO_MORE_ITEMS past the end.
  virtual LSTATUS EnumKey(HKEY key, std::uint32_t index, std::u16string& name) = 0;
  // RegEnumValueW; needs KEY_QUERY_VALUE. value may be null when only the name is wanted.
  virtual LSTATUS EnumValue(HKEY key, std::uint32_t index, std::u16string& name,
                            RegValue* value) = 0;
  // RegQueryValueExW; needs KEY_QUERY_VALUE. An empty name is the default value.
  // Gives the type and data size; the bytes too when `data` is not null (asking
  // for the size first and the bytes second are two calls, as on Windows).
  virtual LSTATUS QueryValue(HKEY key, std::u16string_view name, std::uint32_t& type,
                             std::uint32_t& size, std::vector<std::uint8_t>* data) = 0;
  // RegSetValueExW; needs KEY_SET_VALUE. A replaced value keeps its place and spelling.
  virtual LSTATUS SetValue(HKEY key, std::u16string_view name, std::uint32_t type,
                           std::span<const std::uint8_t> data) = 0;
  // RegDeleteKeyExW: deletes a sub key that has no sub keys of its own.
  virtual LSTATUS DeleteKey(HKEY key, std::u16string_view subKey, REGSAM viewFlags) = 0;
  // RegDeleteValueW; needs KEY_SET_VALUE.
  virtual LSTATUS DeleteValue(HKEY key, std::u16string_view name) = 0;
  // RegConnectRegistryW. Stores without a network refuse with ERROR_BAD_NETPATH.
  virtual LSTATUS ConnectRegistry(std::u16string_view machine, HKEY root, HKEY& result) = 0;
  // RegFlushKey: makes the changes so far durable.
  virtual LSTATUS FlushKey(HKEY key) = 0;
};

// The process's current store, through which TRegAccess and everything above it
// work. Null until one is installed.
RegistryStore* CurrentStore();

// Installs a store as the process's current one for this object's lifetime and puts
// the previous one back afterwards. Front ends and tests use it; it does not own.
class ScopedCurrentStore {
 public:
  explicit ScopedCurrentStore(RegistryStore& store);
  ~ScopedCurrentStore();
  ScopedCurrentStore(const ScopedCurrentStore&) = delete;
  ScopedCurrentStore& operator=(const ScopedCurrentStore&) = delete;

 private:
  RegistryStore* previous_;
};

bool IsPredefinedRoot(HKEY key);

// The key names of a sub key path, in order. Empty names (a doubled or trailing
// backslash) are passed over, as the stores of this program do.
std::vector<std::u16string_view> SplitKeyPath(std::u16string_view path);

}  // namespace brindel::registry::store
