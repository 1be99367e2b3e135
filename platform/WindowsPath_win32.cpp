#include <windows.h>

#include "platform/Text.h"
#include "platform/WindowsPath.h"

namespace brindel::platform {
namespace {

std::u16string FromWide(const wchar_t* text, UINT length) {
  return std::u16string(reinterpret_cast<const char16_t*>(text), length);
}

bool Exists(const std::u16string& path) {
  return ::GetFileAttributesW(reinterpret_cast<const wchar_t*>(path.c_str())) !=
         INVALID_FILE_ATTRIBUTES;
}

}  // namespace

namespace detail {

// Windows compares file names without regard to letter case itself, so an entry
// below the root needs no search, only a look whether it is there.
std::optional<std::string> EntryBelow(const std::string& folder, std::u16string_view name) {
  const std::u16string path = FromUtf8(folder) + u"\\" + std::u16string(name);
  if (!Exists(path))
    return std::nullopt;
  return ToUtf8(path);
}

}  // namespace detail

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
