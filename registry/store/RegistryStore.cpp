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

std::vector<std::u16string_view> SplitKeyPath(std::u16string_view path) {
  std::vector<std::u16string_view> parts;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find(u'\\', start);
    if (end == std::u16string_view::npos)
      end = path.size();
    if (end > start)
      parts.push_back(path.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

bool IsPredefinedRoot(HKEY key) {
  return key >= HKEY_CLASSES_ROOT && key <= HKEY_DYN_DATA;
}

}  // namespace brindel::registry::store
