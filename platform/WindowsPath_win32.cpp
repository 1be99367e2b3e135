#include <windows.h>

#include "platform/Text.h"
#include "platform/WindowsPath.h"

namespace brindel::platform {
namespace {

std::string& RootSetting() {
  static std::string root;
  return root;
}

std::u16string FromWide(const wchar_t* text, UINT length) {
  return std::u16string(reinterpret_cast<const char16_t*>(text), length);
}

bool Exists(const std::u16string& path) {
  return ::GetFileAttributesW(reinterpret_cast<const wchar_t*>(path.c_str())) !=
         INVALID_FILE_ATTRIBUTES;
}

}  // namespace

void SetWindowsRoot(std::string folder) {
  RootSetting() = std::move(folder);
}

const std::string& WindowsRoot() {
  return RootSetting();
}

// Windows compares file names without regard to letter case itself, so a path below
// the root needs no search, only the refusal to climb out of it.
std::optional<std::string> LocalPathOf(std::u16string_view windowsPath) {
  const std::string& root = RootSetting();
  if (root.empty())
    return ToUtf8(windowsPath);
  std::u16string_view rest = windowsPath;
  if (rest.size() >= 2 && rest[1] == u':')
    rest.remove_prefix(2);
  std::u16string path = FromUtf8(root);
  std::size_t start = 0;
  while (start <= rest.size()) {
    std::size_t end = rest.find_first_of(u"\\/", start);
    if (end == std::u16string_view::npos)
      end = rest.size();
    const std::u16string_view part = rest.substr(start, end - start);
    if (!part.empty() && part != u".") {
      if (part == u"..")
        return std::nullopt;
      path += u'\\';
      path += part;
      if (!Exists(path))
        return std::nullopt;
    }
    start = end + 1;
  }
  return ToUtf8(path);
}

std::u16string WindowsDirectory() {
  if (!RootSetting().empty())
    return u"C:\\Windows";
  wchar_t buffer[MAX_PATH + 1] = {};
  const UINT length = ::GetWindowsDirectoryW(buffer, MAX_PATH + 1);
  return length == 0 || length > MAX_PATH ? std::u16string() : FromWide(buffer, length);
}

std::u16string SystemDirectory() {
  if (!RootSetting().empty())
    return u"C:\\Windows\\System32";
  wchar_t buffer[MAX_PATH + 1] = {};
  const UINT length = ::GetSystemDirectoryW(buffer, MAX_PATH + 1);
  return length == 0 || length > MAX_PATH ? std::u16string() : FromWide(buffer, length);
}

}  // namespace brindel::platform
