#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace brindel::platform {

// Where a Windows installation is mounted, when the program works on one from
// another system (empty: none). Paths such as "C:\Program Files\..." that the
// installation's registry names are then looked up below this folder.
void SetWindowsRoot(std::string folder);
const std::string& WindowsRoot();

// The local file system path of a path that the registry names: with a Windows root,
// a drive path ("C:\a\b") is looked up below it, each component without regard to
// letter case, as Windows compares names, and every link on the way within the root
// (InRoot.h). Without one, the path as it stands. nullopt when a component cannot be
// found.
std::optional<std::string> LocalPathOf(std::u16string_view windowsPath);

}  // namespace brindel::platform

namespace brindel::platform {

// The Windows and system directories, as GetWindowsDirectoryW and
// GetSystemDirectoryW give them. Off Windows those of the mounted installation
// ("C:\Windows", "C:\Windows\System32"), or empty when none is mounted.
std::u16string WindowsDirectory();
std::u16string SystemDirectory();

}  // namespace brindel::platform
