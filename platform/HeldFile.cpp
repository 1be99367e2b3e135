#include "platform/HeldFile.h"

#include <algorithm>
#include <mutex>
#include <vector>

#include "platform/HeldFileList.h"

namespace brindel::platform {

namespace {

// The identities of the files held now, one entry per HeldFile.
struct Held {
  std::mutex mutex;
  std::vector<FileIdentity> identities;
};

Held& HeldFiles() {
  static Held held;
  return held;
}

}  // namespace

void AddHeldFile(const FileIdentity& identity) {
  Held& held = HeldFiles();
  std::lock_guard lock(held.mutex);
  held.identities.push_back(identity);
}

void RemoveHeldFile(const FileIdentity& identity) {
  Held& held = HeldFiles();
  std::lock_guard lock(held.mutex);
  const auto found = std::find(held.identities.begin(), held.identities.end(), identity);
  if (found != held.identities.end())
    held.identities.erase(found);
}

bool IsHeldFile(const std::filesystem::path& path) {
  const auto identity = IdentityOf(path);
  if (!identity)
    return false;
  Held& held = HeldFiles();
  std::lock_guard lock(held.mutex);
  return std::find(held.identities.begin(), held.identities.end(), *identity) !=
         held.identities.end();
}

}  // namespace brindel::platform
