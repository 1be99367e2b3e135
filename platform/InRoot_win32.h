#pragma once

// The file operations of the Windows variants on paths below the Windows root (an
// attached disk such as D:\ or a folder it is mounted in): each asks for the path it
// gives the system. Only _win32.cpp files include this.

#include <filesystem>
#include <optional>
#include <string>

namespace brindel::platform::inroot {

// The path the system is given for `path`: below the root, each junction and
// symbolic link on the way resolved within the root (the last one only with
// `followLast`; without, the link itself is meant: replaced, deleted), so that the
// system follows none; elsewhere the path as it stands. nullopt, with the last error
// set, when a folder on the way is missing, a link leads where the root does not
// reach (another volume, a server) or round in a circle.
std::optional<std::wstring> SystemPath(const std::wstring& path, bool followLast);

inline std::optional<std::wstring> SystemPath(const std::filesystem::path& path, bool followLast) {
  return SystemPath(path.wstring(), followLast);
}

}  // namespace brindel::platform::inroot
