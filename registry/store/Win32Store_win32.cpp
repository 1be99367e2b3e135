// Our headers come first: <windows.h> defines the registry's constants as macros,
// which would otherwise replace the names of RegistryStore.h.
#include "registry/store/Win32Store.h"

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

namespace brindel::registry::store {

namespace {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 names pass to Windows as they are");

// Our predefined roots are the 32-bit numbers 0x80000000 upwards; Windows' are the
// same numbers sign-extended to a pointer. Every other handle is the pointer value
// Windows gave out.
constexpr std::uintptr_t kFirstRoot = 0x80000000u;
constexpr std::uintptr_t kLastRoot = 0x80000006u;
// HKEY_CURRENT_USER as RegistryStore.h numbers it (windows.h has made the name a macro).
constexpr std::uintptr_t kCurrentUser = 0x80000001u;
constexpr std::uintptr_t kUsers = 0x80000003u;

::HKEY ToNative(HKEY key) {
  if (key >= kFirstRoot && key <= kLastRoot) {
    return reinterpret_cast<::HKEY>(
        static_cast<ULONG_PTR>(static_cast<LONG>(static_cast<std::uint32_t>(key))));
  }
  return reinterpret_cast<::HKEY>(key);
}

HKEY FromNative(::HKEY key) {
  const auto value = reinterpret_cast<std::uintptr_t>(key);
  const auto root = static_cast<std::uintptr_t>(static_cast<std::uint32_t>(value));
  if (root >= kFirstRoot && root <= kLastRoot &&
      value == reinterpret_cast<std::uintptr_t>(ToNative(root))) {
    return root;
  }
  return value;
}

::HKEY AsNative(std::uintptr_t key) {
  return reinterpret_cast<::HKEY>(key);
}

const wchar_t* Wide(const std::u16string& text) {
  return reinterpret_cast<const wchar_t*>(text.c_str());
}

std::u16string FromWide(const wchar_t* text, std::size_t length) {
  return std::u16string(reinterpret_cast<const char16_t*>(text), length);
}

// The sub key path as Windows is given it: the names without empty ones, joined by
// single backslashes; NUL-terminated, which a string_view is not.
std::u16string NativePath(std::u16string_view path) {
  std::u16string native;
  for (auto part : SplitKeyPath(path)) {
    if (!native.empty())
      native += u'\\';
    native += part;
  }
  return native;
}

bool HasOverlongName(std::u16string_view path) {
  for (auto part : SplitKeyPath(path)) {
    if (part.size() > kMaxKeyNameLength)
      return true;
  }
  return false;
}

LSTATUS QueryInfo(::HKEY key, DWORD* subKeys, DWORD* maxSubKeyLen, DWORD* values,
                  DWORD* maxValueNameLen, DWORD* maxValueLen, FILETIME* lastWrite) {
  return ::RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, subKeys, maxSubKeyLen, nullptr, values,
                            maxValueNameLen, maxValueLen, nullptr, lastWrite);
}

// A value can grow between asking for its size and reading it; then the read is
// tried again with the new size, a few times.
constexpr int kReadAttempts = 4;

using DeleteKeyExW = ::LSTATUS(WINAPI*)(::HKEY, LPCWSTR, ::REGSAM, DWORD);

// RegDeleteKeyExW, where this Windows has it (it came with 64-bit Windows XP).
DeleteKeyExW FindDeleteKeyEx() {
  static const DeleteKeyExW function = [] {
    const HMODULE advapi = ::GetModuleHandleW(L"advapi32.dll");
    return advapi ? reinterpret_cast<DeleteKeyExW>(
                        reinterpret_cast<void*>(::GetProcAddress(advapi, "RegDeleteKeyExW")))
                  : nullptr;
  }();
  return function;
}

}  // namespace

Win32Store::~Win32Store() {
  if (userRoot_ != 0)
    ::RegCloseKey(reinterpret_cast<::HKEY>(userRoot_));
}

std::unique_ptr<Win32Store> Win32Store::ForUser(std::u16string_view sid, LSTATUS& status) {
  const std::u16string name(sid);
  ::HKEY opened = nullptr;
  // With whatever rights this process has there: making a key right below it needs
  // the right to create sub keys on this very handle; each key further down is checked
  // with its own rights.
  status = ::RegOpenKeyExW(ToNative(kUsers), Wide(name), 0, MAXIMUM_ALLOWED, &opened);
  if (status != ERROR_SUCCESS)
    return nullptr;
  auto store = std::make_unique<Win32Store>();
  store->userRoot_ = reinterpret_cast<HKEY>(opened);
  return store;
}

std::uintptr_t Win32Store::Native(HKEY key) const {
  if (key == kCurrentUser && userRoot_ != 0)
    return userRoot_;
  return reinterpret_cast<std::uintptr_t>(ToNative(key));
}

LSTATUS Win32Store::OpenKey(HKEY parent, std::u16string_view subKey, REGSAM access, HKEY& result) {
  result = 0;
  const std::u16string path = NativePath(subKey);
  ::HKEY opened = nullptr;
  const LSTATUS status = ::RegOpenKeyExW(AsNative(Native(parent)), Wide(path), 0, access, &opened);
  if (status == ERROR_SUCCESS)
    result = FromNative(opened);
  return status;
}

LSTATUS Win32Store::CreateKey(HKEY parent, std::u16string_view subKey, REGSAM access, HKEY& result,
                              bool* created) {
  result = 0;
  if (created)
    *created = false;
  if (HasOverlongName(subKey))
    return ERROR_INVALID_PARAMETER;
  const std::u16string path = NativePath(subKey);
  ::HKEY opened = nullptr;
  DWORD disposition = 0;
  const LSTATUS status =
      ::RegCreateKeyExW(AsNative(Native(parent)), Wide(path), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        access, nullptr, &opened, &disposition);
  if (status != ERROR_SUCCESS)
    return status;
  result = FromNative(opened);
  if (created)
    *created = disposition == REG_CREATED_NEW_KEY;
  return ERROR_SUCCESS;
}

LSTATUS Win32Store::CloseKey(HKEY key) {
  if (IsPredefinedRoot(key))
    return ERROR_SUCCESS;
  return ::RegCloseKey(AsNative(Native(key)));
}

LSTATUS Win32Store::QueryInfoKey(HKEY key, KeyInfo& info) {
  info = KeyInfo{};
  DWORD subKeys = 0;
  DWORD maxSubKeyLen = 0;
  DWORD values = 0;
  DWORD maxValueNameLen = 0;
  DWORD maxValueLen = 0;
  FILETIME lastWrite{};
  const LSTATUS status = QueryInfo(AsNative(Native(key)), &subKeys, &maxSubKeyLen, &values,
                                   &maxValueNameLen, &maxValueLen, &lastWrite);
  if (status != ERROR_SUCCESS)
    return status;
  info.subKeys = subKeys;
  info.maxSubKeyLen = maxSubKeyLen;
  info.values = values;
  info.maxValueNameLen = maxValueNameLen;
  info.maxValueLen = maxValueLen;
  info.lastWriteTime =
      (static_cast<std::uint64_t>(lastWrite.dwHighDateTime) << 32) | lastWrite.dwLowDateTime;
  return ERROR_SUCCESS;
}

LSTATUS Win32Store::EnumKey(HKEY key, std::uint32_t index, std::u16string& name) {
  name.clear();
  wchar_t buffer[kMaxKeyNameLength + 1];
  DWORD length = kMaxKeyNameLength + 1;
  const LSTATUS status = ::RegEnumKeyExW(AsNative(Native(key)), index, buffer, &length, nullptr,
                                         nullptr, nullptr, nullptr);
  if (status == ERROR_SUCCESS)
    name = FromWide(buffer, length);
  return status;
}

LSTATUS Win32Store::EnumValue(HKEY key, std::uint32_t index, std::u16string& name,
                              RegValue* value) {
  name.clear();
  if (value)
    *value = RegValue{};
  const ::HKEY native = AsNative(Native(key));
  // Room for the longest name the registry allows and its terminating NUL.
  std::vector<wchar_t> nameBuffer(kMaxValueNameLength + 1);
  DWORD nameLength = static_cast<DWORD>(nameBuffer.size());
  if (!value) {
    const LSTATUS status = ::RegEnumValueW(native, index, nameBuffer.data(), &nameLength, nullptr,
                                           nullptr, nullptr, nullptr);
    if (status == ERROR_SUCCESS)
      name = FromWide(nameBuffer.data(), nameLength);
    return status;
  }
  LSTATUS status = ERROR_MORE_DATA;
  for (int attempt = 0; attempt < kReadAttempts && status == ERROR_MORE_DATA; ++attempt) {
    DWORD maxDataLen = 0;
    status = QueryInfo(native, nullptr, nullptr, nullptr, nullptr, &maxDataLen, nullptr);
    if (status != ERROR_SUCCESS)
      return status;
    std::vector<BYTE> data(std::max<DWORD>(maxDataLen, 1));
    DWORD dataLength = static_cast<DWORD>(data.size());
    DWORD type = REG_NONE;
    nameLength = static_cast<DWORD>(nameBuffer.size());
    status = ::RegEnumValueW(native, index, nameBuffer.data(), &nameLength, nullptr, &type,
                             data.data(), &dataLength);
    if (status == ERROR_SUCCESS) {
      name = FromWide(nameBuffer.data(), nameLength);
      value->type = type;
      value->data.assign(data.begin(), data.begin() + dataLength);
    }
  }
  return status;
}

LSTATUS Win32Store::QueryValue(HKEY key, std::u16string_view name, std::uint32_t& type,
                               std::uint32_t& size, std::vector<std::uint8_t>* data) {
  type = REG_NONE;
  size = 0;
  if (data)
    data->clear();
  const ::HKEY native = AsNative(Native(key));
  const std::u16string valueName(name);
  DWORD nativeType = REG_NONE;
  DWORD length = 0;
  LSTATUS status =
      ::RegQueryValueExW(native, Wide(valueName), nullptr, &nativeType, nullptr, &length);
  if (status != ERROR_SUCCESS)
    return status;
  if (data && length > 0) {
    std::vector<std::uint8_t> bytes;
    status = ERROR_MORE_DATA;
    for (int attempt = 0; attempt < kReadAttempts && status == ERROR_MORE_DATA; ++attempt) {
      // After ERROR_MORE_DATA the length holds the size the value has now.
      bytes.resize(std::max<DWORD>(length, 1));
      length = static_cast<DWORD>(bytes.size());
      status =
          ::RegQueryValueExW(native, Wide(valueName), nullptr, &nativeType, bytes.data(), &length);
    }
    if (status != ERROR_SUCCESS)
      return status;
    bytes.resize(length);
    *data = std::move(bytes);
  }
  type = nativeType;
  size = length;
  return ERROR_SUCCESS;
}

LSTATUS Win32Store::SetValue(HKEY key, std::u16string_view name, std::uint32_t type,
                             std::span<const std::uint8_t> data) {
  const std::u16string valueName(name);
  const auto size = static_cast<DWORD>(data.size());
  if (type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ) {
    // For the text types advapi32 reads the character after the data, and the one
    // before them when the size is 1, and stores two bytes more than it was given
    // when the data do not end in a NUL and that next character is one. Given the
    // data between non-zero guard bytes, it stores exactly what it was given and reads
    // nothing outside the buffer.
    std::vector<BYTE> guarded(data.size() + 4, 0xFF);
    std::copy(data.begin(), data.end(), guarded.begin() + 2);
    return ::RegSetValueExW(AsNative(Native(key)), Wide(valueName), 0, type, guarded.data() + 2,
                            size);
  }
  // An empty value still needs a valid pointer.
  static const BYTE kNothing = 0;
  return ::RegSetValueExW(AsNative(Native(key)), Wide(valueName), 0, type,
                          data.empty() ? &kNothing : data.data(), size);
}

LSTATUS Win32Store::DeleteKey(HKEY key, std::u16string_view subKey, REGSAM viewFlags) {
  const std::u16string path = NativePath(subKey);
  if (const DeleteKeyExW deleteKeyEx = FindDeleteKeyEx())
    return deleteKeyEx(AsNative(Native(key)), Wide(path), viewFlags & KEY_WOW64_RES, 0);
  return ::RegDeleteKeyW(AsNative(Native(key)), Wide(path));
}

LSTATUS Win32Store::DeleteValue(HKEY key, std::u16string_view name) {
  const std::u16string valueName(name);
  return ::RegDeleteValueW(AsNative(Native(key)), Wide(valueName));
}

LSTATUS Win32Store::ConnectRegistry(std::u16string_view machine, HKEY root, HKEY& result) {
  result = 0;
  const std::u16string machineName(machine);
  ::HKEY connected = nullptr;
  const LSTATUS status = ::RegConnectRegistryW(machineName.empty() ? nullptr : Wide(machineName),
                                               AsNative(Native(root)), &connected);
  if (status == ERROR_SUCCESS)
    result = FromNative(connected);
  return status;
}

LSTATUS Win32Store::FlushKey(HKEY key) {
  return ::RegFlushKey(AsNative(Native(key)));
}

LSTATUS Win32Store::DeleteTree(HKEY key, std::u16string_view subKey) {
  const std::u16string path = NativePath(subKey);
  return ::RegDeleteTreeW(AsNative(Native(key)), Wide(path));
}

}  // namespace brindel::registry::store
