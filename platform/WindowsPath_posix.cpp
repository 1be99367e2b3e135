#include <dirent.h>
#include <sys/stat.h>

#include "platform/Text.h"
#include "platform/WindowsPath.h"

namespace brindel::platform {
namespace {

std::string& RootSetting() {
  static std::string root;
  return root;
}

// The entry of `folder` whose name equals `name` without regard to letter case; an
// exact match wins.
std::optional<std::string> FindEntry(const std::string& folder, const std::string& name) {
  struct stat info {};
  if (::stat((folder + "/" + name).c_str(), &info) == 0)
    return name;
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr)
    return std::nullopt;
  std::optional<std::string> found;
  const std::u16string wanted = FromUtf8(name);
  while (dirent* entry = ::readdir(dir)) {
    if (SameTextIgnoreCase(FromUtf8(entry->d_name), wanted)) {
      found = entry->d_name;
      break;
    }
  }
  ::closedir(dir);
  return found;
}

}  // namespace

void SetWindowsRoot(std::string folder) {
  RootSetting() = std::move(folder);
}

const std::string& WindowsRoot() {
  return RootSetting();
}

std::optional<std::string> LocalPathOf(std::u16string_view windowsPath) {
  const std::string& root = RootSetting();
  if (root.empty())
    return ToUtf8(windowsPath);
  std::u16string_view rest = windowsPath;
  if (rest.size() >= 2 && rest[1] == u':')
    rest.remove_prefix(2);
  std::string path = root;
  std::size_t start = 0;
  while (start <= rest.size()) {
    std::size_t end = rest.find_first_of(u"\\/", start);
    if (end == std::u16string_view::npos)
      end = rest.size();
    const std::u16string_view part = rest.substr(start, end - start);
    if (!part.empty() && part != u".") {
      if (part == u"..")
        return std::nullopt;  // never leave the mounted installation
      const auto entry = FindEntry(path, ToUtf8(part));
      if (!entry)
        return std::nullopt;
      path += "/" + *entry;
    }
    start = end + 1;
  }
  return path;
}

}  // namespace brindel::platform

namespace brindel::platform {

std::u16string WindowsDirectory() {
  return RootSetting().empty() ? u"" : u"C:\\Windows";
}

std::u16string SystemDirectory() {
  return RootSetting().empty() ? u"" : u"C:\\Windows\\System32";
}

}  // namespace brindel::platform
