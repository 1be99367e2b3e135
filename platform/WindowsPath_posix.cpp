#include <dirent.h>
#include <sys/stat.h>

#include "platform/Text.h"
#include "platform/WindowsPath.h"

namespace brindel::platform {
namespace {

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

namespace detail {

// The Windows disk is mounted on a system whose file names differ by letter case,
// while Windows does not tell them apart.
std::optional<std::string> EntryBelow(const std::string& folder, std::u16string_view name) {
  const auto entry = FindEntry(folder, ToUtf8(name));
  if (!entry)
    return std::nullopt;
  return folder + "/" + *entry;
}

}  // namespace detail

}  // namespace brindel::platform

namespace brindel::platform {

std::u16string WindowsDirectory() {
  return WindowsRoot().empty() ? u"" : u"C:\\Windows";
}

std::u16string SystemDirectory() {
  return WindowsRoot().empty() ? u"" : u"C:\\Windows\\System32";
}

}  // namespace brindel::platform
