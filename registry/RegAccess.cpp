#include "registry/RegAccess.h"

#include <cstring>

#include "platform/Errors.h"
#include "platform/Text.h"

namespace brindel::registry {

using namespace store;
using platform::ERegistryException;
using platform::Format;

TRegValueKind ValueKindOfType(std::uint32_t registryType) {
  switch (registryType) {
    case REG_SZ:
      return TRegValueKind::vkString;
    case REG_EXPAND_SZ:
      return TRegValueKind::vkExpandString;
    case REG_DWORD:
      return TRegValueKind::vkInteger;
    case REG_BINARY:
      return TRegValueKind::vkBinary;
    default:
      return TRegValueKind::vkUnknown;
  }
}

TRegAccess::TRegAccess() = default;

TRegAccess::TRegAccess(REGSAM access) : access_(access) {}

TRegAccess::~TRegAccess() {
  Close();
  if (closeRoot_)
    Store().CloseKey(root_);
}

RegistryStore& TRegAccess::Store() const {
  if (store_ != nullptr)
    return *store_;
  RegistryStore* current = CurrentStore();
  if (current == nullptr) {
    throw ERegistryException(u"Es ist keine Registry zum Arbeiten geöffnet.");
  }
  return *current;
}

void TRegAccess::UseRoot(HKEY root) {
  if (root == root_)
    return;
  if (closeRoot_) {
    Store().CloseKey(root_);
    closeRoot_ = false;
  }
  root_ = root;
  Close();
}

TRegAccess::PathTarget TRegAccess::Target(std::u16string_view path) const {
  if (!path.empty() && path.front() == u'\\')
    return {root_, path.substr(1)};
  return {currentKey_ != 0 ? currentKey_ : root_, path};
}

std::u16string TRegAccess::FullPath(std::u16string_view path) const {
  const bool fromRoot = !path.empty() && path.front() == u'\\';
  if (fromRoot)
    return std::u16string(path.substr(1));
  if (currentKey_ != 0 && !currentPath_.empty()) {
    return currentPath_ + u"\\" + std::u16string(path);
  }
  return std::u16string(path);
}

void TRegAccess::ChangeKey(HKEY key, std::u16string path) {
  Close();
  currentKey_ = key;
  currentPath_ = std::move(path);
}

bool TRegAccess::Open(std::u16string_view path, bool create) {
  if (root_ == 0) {
    lastError_ = ERROR_INVALID_HANDLE;
    return false;
  }
  const auto [base, relative] = Target(path);
  HKEY opened = 0;
  if (!create || relative.empty()) {
    lastError_ = Store().OpenKey(base, relative, access_, opened);
  } else {
    lastError_ = Store().CreateKey(base, relative, access_, opened);
  }
  if (lastError_ != ERROR_SUCCESS)
    return false;
  std::u16string full = FullPath(path);
  ChangeKey(opened, std::move(full));
  return true;
}

bool TRegAccess::OpenReadOnly(std::u16string_view path) {
  if (root_ == 0) {
    lastError_ = ERROR_INVALID_HANDLE;
    return false;
  }
  const auto [base, relative] = Target(path);
  const REGSAM view = access_ & KEY_WOW64_RES;
  for (REGSAM mask : {KEY_READ, REGSAM{0x20009}, REGSAM{0x1}}) {
    HKEY opened = 0;
    lastError_ = Store().OpenKey(base, relative, mask | view, opened);
    if (lastError_ == ERROR_SUCCESS) {
      access_ = mask | view;
      std::u16string full = FullPath(path);
      ChangeKey(opened, std::move(full));
      return true;
    }
  }
  return false;
}

void TRegAccess::Close() {
  if (currentKey_ != 0) {
    Store().CloseKey(currentKey_);
    currentKey_ = 0;
  }
  currentPath_.clear();
}

bool TRegAccess::GetKeyInfo(TRegKeyInfo& info) {
  info = TRegKeyInfo{};
  KeyInfo raw;
  lastError_ = Store().QueryInfoKey(currentKey_, raw);
  if (lastError_ != ERROR_SUCCESS)
    return false;
  info.NumSubKeys = raw.subKeys;
  info.MaxSubKeyLen = raw.maxSubKeyLen;
  info.NumValues = raw.values;
  info.MaxValueLen = raw.maxValueNameLen;
  info.MaxDataLen = raw.maxValueLen;
  info.FileTime = raw.lastWriteTime;
  return true;
}

void TRegAccess::GetSubKeyNames(TStringList& names) {
  names.Clear();
  TRegKeyInfo info;
  if (!GetKeyInfo(info))
    return;
  for (std::uint32_t i = 0; i < info.NumSubKeys; ++i) {
    std::u16string name;
    lastError_ = Store().EnumKey(currentKey_, i, name);
    if (lastError_ != ERROR_SUCCESS)
      break;
    names.Add(std::move(name));
  }
}

void TRegAccess::GetValueNames(TStringList& names) {
  names.Clear();
  TRegKeyInfo info;
  if (!GetKeyInfo(info))
    return;
  for (std::uint32_t i = 0; i < info.NumValues; ++i) {
    std::u16string name;
    lastError_ = Store().EnumValue(currentKey_, i, name, nullptr);
    if (lastError_ != ERROR_SUCCESS)
      break;
    names.Add(std::move(name));
  }
}

bool TRegAccess::GetDataInfo(std::u16string_view name, std::uint32_t& type, std::uint32_t& size) {
  lastError_ = Store().QueryValue(currentKey_, name, type, size, nullptr);
  return lastError_ == ERROR_SUCCESS;
}

bool TRegAccess::ValueExists(std::u16string_view name) {
  std::uint32_t type = 0;
  std::uint32_t size = 0;
  return GetDataInfo(name, type, size);
}

TRegValueKind TRegAccess::GetValueKind(std::u16string_view name) {
  std::uint32_t type = 0;
  std::uint32_t size = 0;
  if (!GetDataInfo(name, type, size))
    return TRegValueKind::vkUnknown;
  return ValueKindOfType(type);
}

int TRegAccess::GetValueSize(std::u16string_view name) {
  std::uint32_t type = 0;
  std::uint32_t size = 0;
  if (!GetDataInfo(name, type, size))
    return -1;
  return static_cast<int>(size);
}

std::vector<std::uint8_t> TRegAccess::GetData(std::u16string_view name) {
  std::uint32_t type = 0;
  std::uint32_t size = 0;
  std::vector<std::uint8_t> data;
  lastError_ = Store().QueryValue(currentKey_, name, type, size, &data);
  if (lastError_ != ERROR_SUCCESS) {
    throw ERegistryException(Format(u"Fehler beim Holen der Daten für '%s'", {name}));
  }
  return data;
}

std::u16string TRegAccess::ReadString(std::u16string_view name) {
  std::uint32_t type = 0;
  std::uint32_t size = 0;
  if (!GetDataInfo(name, type, size) || size == 0)
    return {};
  const TRegValueKind kind = ValueKindOfType(type);
  if (kind != TRegValueKind::vkString && kind != TRegValueKind::vkExpandString) {
    throw ERegistryException(Format(u"Ungültiger Datentyp für '%s'", {name}));
  }
  const std::vector<std::uint8_t> data = GetData(name);
  std::u16string text(data.size() / 2, u'\0');
  std::memcpy(text.data(), data.data(), text.size() * 2);
  // The text ends at its first NUL, wherever the data put one.
  if (auto nul = text.find(u'\0'); nul != std::u16string::npos)
    text.resize(nul);
  return text;
}

int TRegAccess::ReadBinary(std::u16string_view name, std::span<std::uint8_t> buffer) {
  std::uint32_t type = 0;
  std::uint32_t size = 0;
  if (!GetDataInfo(name, type, size))
    return 0;
  const TRegValueKind kind = ValueKindOfType(type);
  if ((kind != TRegValueKind::vkBinary && kind != TRegValueKind::vkUnknown) ||
      size > buffer.size()) {
    throw ERegistryException(Format(u"Ungültiger Datentyp für '%s'", {name}));
  }
  const std::vector<std::uint8_t> data = GetData(name);
  // The value may have changed between the two queries; never copy past the buffer.
  if (data.size() > buffer.size()) {
    throw ERegistryException(Format(u"Ungültiger Datentyp für '%s'", {name}));
  }
  std::memcpy(buffer.data(), data.data(), data.size());
  return static_cast<int>(data.size());
}

void TRegAccess::PutData(std::u16string_view name, std::uint32_t type,
                         std::span<const std::uint8_t> data) {
  lastError_ = Store().SetValue(currentKey_, name, type, data);
  if (lastError_ != ERROR_SUCCESS) {
    throw ERegistryException(Format(u"Fehler beim Setzen der Daten für '%s'", {name}));
  }
}

void TRegAccess::WriteBinary(std::u16string_view name, std::span<const std::uint8_t> data) {
  PutData(name, REG_BINARY, data);
}

void TRegAccess::WriteString(std::u16string_view name, std::u16string_view text) {
  std::vector<std::uint8_t> data((text.size() + 1) * 2, 0);
  std::memcpy(data.data(), text.data(), text.size() * 2);
  PutData(name, REG_SZ, data);
}

void TRegAccess::WriteInteger(std::u16string_view name, std::int32_t value) {
  const auto bits = static_cast<std::uint32_t>(value);
  const std::uint8_t data[4] = {
      static_cast<std::uint8_t>(bits), static_cast<std::uint8_t>(bits >> 8),
      static_cast<std::uint8_t>(bits >> 16), static_cast<std::uint8_t>(bits >> 24)};
  PutData(name, REG_DWORD, data);
}

bool TRegAccess::DeleteKey(std::u16string_view path) {
  const auto [base, relative] = Target(path);
  lastError_ = DeleteKeyBelow(base, relative);
  return lastError_ == ERROR_SUCCESS;
}

LSTATUS TRegAccess::DeleteKeyBelow(HKEY base, std::u16string_view path) {
  HKEY key = 0;
  // With a write-only mask the key opens but cannot be enumerated, so its sub keys
  // stay and the registry then refuses to delete the key itself.
  if (Store().OpenKey(base, path, access_, key) == ERROR_SUCCESS) {
    KeyInfo info;
    if (Store().QueryInfoKey(key, info) == ERROR_SUCCESS) {
      for (std::uint32_t i = info.subKeys; i-- > 0;) {
        std::u16string name;
        if (Store().EnumKey(key, i, name) == ERROR_SUCCESS)
          DeleteKeyBelow(key, name);
      }
    }
    Store().CloseKey(key);
  }
  return Store().DeleteKey(base, path, access_ & KEY_WOW64_RES);
}

bool TRegAccess::DeleteValue(std::u16string_view name) {
  lastError_ = Store().DeleteValue(currentKey_, name);
  return lastError_ == ERROR_SUCCESS;
}

bool TRegAccess::Connect(std::u16string_view machine) {
  HKEY remote = 0;
  lastError_ = Store().ConnectRegistry(machine, root_, remote);
  if (lastError_ != ERROR_SUCCESS)
    return false;
  UseRoot(remote);
  closeRoot_ = true;
  return true;
}

}  // namespace brindel::registry
