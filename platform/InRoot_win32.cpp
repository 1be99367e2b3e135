#include <windows.h>
#include <winioctl.h>

#include <deque>
#include <vector>

#include "platform/InRoot.h"
#include "platform/InRoot_win32.h"
#include "platform/Text.h"
#include "platform/WindowsPath.h"

namespace brindel::platform {

namespace {

// As many junctions and links in one path as Windows itself follows.
constexpr int kMaxLinks = 63;
constexpr ULONG kSymlinkRelative = 1;  // SYMLINK_FLAG_RELATIVE

std::wstring Wide(std::u16string_view text) {
  return std::wstring(text.begin(), text.end());
}

std::wstring FullPath(const std::wstring& path) {
  const DWORD size = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (size == 0)
    return path;
  std::wstring full(size, L'\0');
  const DWORD length = ::GetFullPathNameW(path.c_str(), size, full.data(), nullptr);
  full.resize(length < size ? length : 0);
  return full.empty() ? path : full;
}

bool IsSeparator(wchar_t c) {
  return c == L'\\' || c == L'/';
}

// The root, made absolute, without a trailing separator ("D:" for "D:\").
std::wstring RootPath() {
  std::wstring root = FullPath(Wide(FromUtf8(WindowsRoot())));
  while (!root.empty() && IsSeparator(root.back()))
    root.pop_back();
  return root;
}

bool SameText(std::wstring_view a, std::wstring_view b) {
  return SameTextIgnoreCase(
      std::u16string_view(reinterpret_cast<const char16_t*>(a.data()), a.size()),
      std::u16string_view(reinterpret_cast<const char16_t*>(b.data()), b.size()));
}

bool Below(const std::wstring& absolute, const std::wstring& root) {
  return absolute.size() >= root.size() &&
         SameText(std::wstring_view(absolute).substr(0, root.size()), root) &&
         (absolute.size() == root.size() || IsSeparator(absolute[root.size()]));
}

std::deque<std::wstring> Split(std::wstring_view path) {
  std::deque<std::wstring> parts;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = start;
    while (end < path.size() && !IsSeparator(path[end]))
      ++end;
    const std::wstring_view part = path.substr(start, end - start);
    if (!part.empty() && part != L".")
      parts.emplace_back(part);
    start = end + 1;
  }
  return parts;
}

// Where a junction or a symbolic link leads, as that Windows would follow it.
struct Target {
  bool absolute = false;
  // false: another volume or a server, which the root is not; or a link whose target
  // cannot be read, which the system would follow all the same
  bool reachable = true;
  std::deque<std::wstring> parts;
};

// A reparse point that stands for another name (a junction, a symbolic link), not for
// data kept elsewhere (a file in the cloud, a deduplicated one).
bool IsNameSurrogate(DWORD tag) {
  return (tag & 0x20000000u) != 0;
}

// The reparse tag as the folder listing gives it; 0 when it gives none.
DWORD ListedTag(const std::wstring& path) {
  WIN32_FIND_DATAW found{};
  const HANDLE search = ::FindFirstFileW(path.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE)
    return 0;
  ::FindClose(search);
  return found.dwReserved0;
}

std::uint16_t U16(const std::vector<BYTE>& b, std::size_t at) {
  return at + 2 <= b.size() ? static_cast<std::uint16_t>(b[at] | b[at + 1] << 8) : 0;
}

std::uint32_t U32(const std::vector<BYTE>& b, std::size_t at) {
  return at + 4 <= b.size() ? static_cast<std::uint32_t>(U16(b, at) | U16(b, at + 2) << 16) : 0;
}

// The target of the reparse point at `path` when it is a junction or a symbolic link
// (not reachable when it cannot be followed within the root); nullopt for any other
// kind (a file held in the cloud, a deduplicated one), which Windows opens as the file
// it stands for.
std::optional<Target> ReadLink(const std::wstring& path) {
  const HANDLE handle = ::CreateFileW(
      path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
      nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    Target unreadable;
    unreadable.reachable = false;
    return unreadable;
  }
  std::vector<BYTE> data(MAXIMUM_REPARSE_DATA_BUFFER_SIZE);
  DWORD got = 0;
  const BOOL read = ::DeviceIoControl(handle, FSCTL_GET_REPARSE_POINT, nullptr, 0, data.data(),
                                      static_cast<DWORD>(data.size()), &got, nullptr);
  ::CloseHandle(handle);
  if (!read) {
    // A link whose target cannot be read would still be followed by the system, to
    // wherever it leads (Wine shows the links of a Linux disk so): it is not taken.
    const DWORD tag = ListedTag(path);
    if (tag != 0 && !IsNameSurrogate(tag))
      return std::nullopt;
    Target unreadable;
    unreadable.reachable = false;
    return unreadable;
  }
  data.resize(got);
  const std::uint32_t tag = U32(data, 0);
  std::size_t names = 0;
  bool relative = false;
  if (tag == IO_REPARSE_TAG_MOUNT_POINT) {
    names = 16;
  } else if (tag == IO_REPARSE_TAG_SYMLINK) {
    names = 20;
    relative = (U32(data, 16) & kSymlinkRelative) != 0;
  } else if (!IsNameSurrogate(tag)) {
    return std::nullopt;
  } else {
    // Another kind of name surrogate, which this program cannot follow within the root.
    Target unknown;
    unknown.reachable = false;
    return unknown;
  }
  const std::size_t offset = names + U16(data, 8);
  const std::size_t length = U16(data, 10);
  if (offset + length > data.size())
    return std::nullopt;
  std::wstring name(length / 2, L'\0');
  for (std::size_t i = 0; i < name.size(); ++i)
    name[i] = static_cast<wchar_t>(U16(data, offset + 2 * i));
  Target target;
  if (relative) {
    target.parts = Split(name);
    return target;
  }
  // "\??\C:\Users\anna": a drive is the root, whichever letter the other PC gave it.
  std::wstring_view rest = name;
  if (rest.starts_with(L"\\??\\") || rest.starts_with(L"\\\\?\\"))
    rest.remove_prefix(4);
  target.absolute = true;
  if (rest.size() >= 2 && rest[1] == L':' && (rest.size() == 2 || IsSeparator(rest[2]))) {
    target.parts = Split(rest.substr(2));
  } else if (!rest.empty() && IsSeparator(rest[0]) && !(rest.size() > 1 && IsSeparator(rest[1]))) {
    target.parts = Split(rest);
  } else {
    target.reachable = false;  // a volume by its GUID, UNC\server\share
  }
  return target;
}

std::wstring Join(const std::wstring& root, const std::vector<std::wstring>& names) {
  std::wstring path = root;
  for (const std::wstring& name : names)
    path += L"\\" + name;
  return path;
}

// Walks `todo` from the root one name at a time, each junction or link on the way
// read and its target walked instead.
std::optional<std::wstring> Walk(const std::wstring& root, std::deque<std::wstring> todo,
                                 bool followLast) {
  std::vector<std::wstring> names;
  int links = 0;
  while (!todo.empty()) {
    const std::wstring part = std::move(todo.front());
    todo.pop_front();
    if (part == L"..") {
      if (!names.empty())
        names.pop_back();
      continue;
    }
    const bool last = todo.empty();
    names.push_back(part);
    const std::wstring path = Join(root, names);
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
      const DWORD error = ::GetLastError();
      if (last && (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND))
        return path;
      ::SetLastError(error);
      return std::nullopt;
    }
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 && (!last || followLast)) {
      if (auto target = ReadLink(path)) {
        if (++links > kMaxLinks) {
          ::SetLastError(ERROR_CANT_RESOLVE_FILENAME);
          return std::nullopt;
        }
        if (!target->reachable) {
          ::SetLastError(ERROR_CANT_RESOLVE_FILENAME);
          return std::nullopt;
        }
        names.pop_back();
        if (target->absolute)
          names.clear();
        todo.insert(todo.begin(), target->parts.begin(), target->parts.end());
        continue;
      }
    }
    if (last)
      return path;
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
      ::SetLastError(ERROR_PATH_NOT_FOUND);
      return std::nullopt;
    }
  }
  return Join(root, names);
}

}  // namespace

bool BelowWindowsRoot(const std::string& path) {
  if (WindowsRoot().empty() || path.empty())
    return false;
  return Below(FullPath(Wide(FromUtf8(path))), RootPath());
}

std::optional<std::string> ResolveBelowRoot(const std::vector<std::u16string>& parts, bool) {
  std::deque<std::wstring> todo;
  for (const std::u16string& part : parts) {
    for (std::wstring& name : Split(Wide(part)))
      todo.push_back(std::move(name));
  }
  // Windows matches names without regard to letter case itself.
  const auto path = Walk(RootPath(), std::move(todo), true);
  if (!path)
    return std::nullopt;
  return ToUtf8(std::u16string(path->begin(), path->end()));
}

namespace detail {

// Windows has no call that resolves below a root: the walk is the only way.
void UseSystemResolution(bool) {}

}  // namespace detail

namespace inroot {

std::optional<std::wstring> SystemPath(const std::wstring& path, bool followLast) {
  if (WindowsRoot().empty() || path.empty())
    return path;
  const std::wstring root = RootPath();
  const std::wstring absolute = FullPath(path);
  if (!Below(absolute, root))
    return path;
  return Walk(root, Split(std::wstring_view(absolute).substr(root.size())), followLast);
}

}  // namespace inroot

}  // namespace brindel::platform
