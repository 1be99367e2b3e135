#include <windows.h>

#include "platform/Text.h"
#include "platform/WindowsPath.h"

namespace brindel::platform {
namespace {

std::u16string FromWide(const wchar_t* text, UINT length) {
  return std::u16string(reinterpret_cast<const char16_t*>(text), length);
}

}  // namespace

std::u16string WindowsDirectory() {
  if (!WindowsRoot().empty())
    return u"C:\\Windows";
  wchar_t buffer[MAX_PATH + 1] = {};
  const UINT length = ::GetWindowsDirectoryW(buffer, MAX_PATH + 1);
  return length == 0 || length > MAX_PATH ? std::u16string() : FromWide(buffer, length);
}

std::u16string SystemDirectory() {
  if (!WindowsRoot().empty())
    return u"C:\\Windows\\System32";
  wchar_t buffer[MAX_PATH + 1] = {};
  const UINT length = ::GetSystemDirectoryW(buffer, MAX_PATH + 1);
  return length == 0 || length > MAX_PATH ? std::u16string() : FromWide(buffer, length);
}

}  // namespace brindel::platform
