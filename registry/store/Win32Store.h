#pragma once

#include <memory>

#include "registry/store/RegistryStore.h"

namespace brindel::registry::store {

// The live Windows registry: every operation is the advapi32 call of the same name,
// with its access masks (view flags included) passed through unchanged and its result
// codes returned as they are. Only Windows builds have it.
//
// Three things are made to agree with the other stores before Windows sees a call,
// because the code above the seam relies on them:
//   - Empty names in a sub key path (a leading, doubled or trailing backslash) are
//     passed over. Windows itself takes doubled and trailing backslashes but refuses a
//     leading one with ERROR_BAD_PATHNAME.
//   - A key name longer than the registry allows is refused with
//     ERROR_INVALID_PARAMETER before anything is created: Wine's registry takes such a
//     name, and Windows creates a missing path one key at a time, so its refusal could
//     come after the parents were made.
//   - Text data (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ) are stored with exactly the
//     bytes given. advapi32 adds a NUL character that the size leaves out when it
//     finds one in the memory after the data, reading past them to look.
class Win32Store : public RegistryStore {
 public:
  Win32Store() = default;
  // The registry as another user who is logged on has it: HKEY_CURRENT_USER is the key
  // HKEY_USERS\<sid>, where Windows has loaded that user's hive. Null, with the result
  // of opening that key in `status`, when it cannot be opened (ERROR_FILE_NOT_FOUND: the
  // user is not logged on; ERROR_ACCESS_DENIED: only an administrator may).
  static std::unique_ptr<Win32Store> ForUser(std::u16string_view sid, LSTATUS& status);
  ~Win32Store() override;
  Win32Store(const Win32Store&) = delete;
  Win32Store& operator=(const Win32Store&) = delete;

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

  // RegDeleteTreeW: a key with everything below it, for cleaning up what a test or a
  // tool made; the program itself deletes only through DeleteKey.
  LSTATUS DeleteTree(HKEY key, std::u16string_view subKey);

 private:
  // The handle Windows is given for `key`.
  std::uintptr_t Native(HKEY key) const;

  HKEY userRoot_ = 0;  // HKEY_USERS\<sid> standing for HKEY_CURRENT_USER; 0: the caller's own
};

}  // namespace brindel::registry::store
