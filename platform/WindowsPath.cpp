#include "platform/WindowsPath.h"

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
      const auto entry = detail::EntryBelow(path, part);
      if (!entry)
        return std::nullopt;
      path = *entry;
    }
    start = end + 1;
  }
  return path;
}

}  // namespace brindel::platform
