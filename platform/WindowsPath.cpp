#include "platform/WindowsPath.h"

#include <vector>

#include "platform/FileSystem.h"
#include "platform/InRoot.h"
#include "platform/Text.h"

namespace brindel::platform {
namespace {

std::string& RootSetting() {
  static std::string root;
  return root;
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
  std::vector<std::u16string> parts;
  std::size_t start = 0;
  while (start <= rest.size()) {
    std::size_t end = rest.find_first_of(u"\\/", start);
    if (end == std::u16string_view::npos)
      end = rest.size();
    parts.emplace_back(rest.substr(start, end - start));
    start = end + 1;
  }
  // Found as the installation finds it: without letter case, links within the root.
  const auto path = ResolveBelowRoot(parts, true);
  if (!path || !(FileExists(*path) || DirectoryExists(*path)))
    return std::nullopt;
  return path;
}

}  // namespace brindel::platform
