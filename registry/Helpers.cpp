#include "registry/Helpers.h"

#include "platform/Errors.h"
#include "platform/Text.h"
#include "platform/Wow64.h"

namespace brindel::registry {

using namespace store;

HKEY RegRootFromSelector(unsigned selector) {
  switch (selector) {
    case 1:
      return HKEY_CURRENT_USER;
    case 2:
      return HKEY_LOCAL_MACHINE;
    case 3:
      return HKEY_CLASSES_ROOT;
    default:
      return 0;
  }
}

namespace {

// One key object on the selector's root with the given mask, opened on path.
// Returns false when it cannot be opened.
bool OpenAt(TRegAccess& reg, unsigned selector, std::u16string_view path, bool create = false) {
  const HKEY root = RegRootFromSelector(selector);
  if (root == 0)
    return false;
  reg.UseRoot(root);
  return reg.Open(path, create);
}

}  // namespace

bool RegValueExistsAt(unsigned selector, std::u16string_view path, std::u16string_view name) {
  TRegAccess reg(KEY_READ);
  return OpenAt(reg, selector, path) && reg.ValueExists(name);
}

TRegValueKind RegValueKindAt(unsigned selector, std::u16string_view path,
                             std::u16string_view name) {
  TRegAccess reg(KEY_READ);
  if (!OpenAt(reg, selector, path))
    return TRegValueKind::vkUnknown;
  return reg.GetValueKind(name);
}

std::u16string RegReadStringAt(unsigned selector, std::u16string_view path,
                               std::u16string_view name) {
  TRegAccess reg(RegViewAccess(path, KEY_READ));
  if (!OpenAt(reg, selector, path) || !reg.ValueExists(name))
    return {};
  try {
    return reg.ReadString(name);
  } catch (const platform::ERegistryException&) {
    return {};
  }
}

std::vector<std::uint8_t> RegReadBinaryAt(unsigned selector, std::u16string_view path,
                                          std::u16string_view name) {
  TRegAccess reg(RegViewAccess(path, KEY_READ));
  if (!OpenAt(reg, selector, path) || !reg.ValueExists(name))
    return {};
  const int size = reg.GetValueSize(name);
  if (size <= 0)
    return {};
  std::vector<std::uint8_t> data(static_cast<std::size_t>(size));
  data.resize(static_cast<std::size_t>(reg.ReadBinary(name, data)));
  return data;
}

bool RegWriteBinaryAt(unsigned selector, std::u16string_view path, std::u16string_view name,
                      const std::vector<std::uint8_t>& data) {
  TRegAccess reg(KEY_WRITE);
  if (!OpenAt(reg, selector, path, true))
    return false;
  reg.WriteBinary(name, data);
  return true;
}

bool RegDeleteKeyAt(unsigned selector, std::u16string_view path, std::u16string_view subKey) {
  TRegAccess reg(KEY_WRITE);
  if (!OpenAt(reg, selector, path))
    return false;
  return reg.DeleteKey(subKey);
}

REGSAM RegViewAccess(std::u16string_view path, REGSAM access) {
  if (!platform::RunningUnderWow64())
    return access;
  const bool redirected =
      platform::AsciiUpperCase(path).find(u"WOW6432NODE") != std::u16string::npos;
  return access | (redirected ? KEY_WOW64_32KEY : KEY_WOW64_64KEY);
}

}  // namespace brindel::registry
