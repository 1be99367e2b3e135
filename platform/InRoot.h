#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace brindel::platform {

// A Windows installation from another PC (WindowsRoot) is that PC's drive C:, and its
// paths are taken as that PC takes them: the root is its "\", a link or junction below
// it leads to where it leads on that PC, an absolute one from the root, and ".." never
// leads out of it. A link on such a disk can therefore neither make the program read a
// file of the system it runs on nor write there. Every file operation of platform/ on
// a path below the root goes this way; paths elsewhere are the system's as they are.

// True when `path` is the Windows root or lies below it, as written.
bool BelowWindowsRoot(const std::string& path);

// The path that the names `parts` reach from the Windows root, each link on the way
// (the last one too) followed within the root. With `ignoreCase` each name is matched
// without regard to letter case, as Windows matches them, the exact spelling first.
// The path is the root followed by the names as the disk spells them; a last name
// that is not there is kept as it was given. nullopt when a folder on the way is
// missing or the links lead round in a circle (the system's reason is then
// LastFileErrorText's).
std::optional<std::string> ResolveBelowRoot(const std::vector<std::u16string>& parts,
                                            bool ignoreCase);

namespace detail {
// Whether a path below the root may be resolved by the system itself (Linux: openat2
// with RESOLVE_IN_ROOT) where it can; otherwise, and where it cannot, the program walks
// it one name at a time. The tests take both ways.
void UseSystemResolution(bool use);
}  // namespace detail

}  // namespace brindel::platform
