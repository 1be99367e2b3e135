#include "registry/store/RegistryStore.h"

namespace brindel::registry::store {
namespace {
RegistryStore* gCurrent = nullptr;
}

RegistryStore* CurrentStore() {
  return gCurrent;
}

ScopedCurrentStore::ScopedCurrentStore(RegistryStore& store) : previous_(gCurrent) {
  gCurrent = &store;
}

ScopedCurrentStore::~ScopedCurrentStore() {
  gCurrent = previous_;
}

bool IsPredefinedRoot(HKEY key) {
  return key >= HKEY_CLASSES_ROOT && key <= HKEY_DYN_DATA;
}

}  // namespace brindel::registry::store
