#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "support/Process.h"

namespace brindel::test {

// Runs a shell script as root of a user and mount namespace of its own, where it can
// mount a small RAM disk for itself alone, to run out of room on purpose. The script
// gets `args` as $1, $2, ...
inline ProcessResult RunWithOwnMounts(const std::string& script,
                                      const std::vector<std::string>& args) {
  std::vector<std::string> all{"--user", "--map-root-user", "--mount", "sh", "-c", script, "sh"};
  all.insert(all.end(), args.begin(), args.end());
  return RunProcess("/usr/bin/unshare", all);
}

// Whether RunWithOwnMounts can mount a RAM disk here: tried on `folder`, for the try
// alone. A system without user namespaces cannot, nor can Windows; a test then skips.
inline bool CanMountOwnDisks(const std::string& folder) {
#ifdef _WIN32
  (void)folder;
  return false;
#else
  return std::filesystem::exists("/usr/bin/unshare") &&
         RunWithOwnMounts("mount -t tmpfs none \"$1\"", {folder}).exitCode == 0;
#endif
}

}  // namespace brindel::test
