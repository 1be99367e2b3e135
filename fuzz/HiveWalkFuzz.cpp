// A user hive of any bytes, opened read-only as --hive HKCU=FILE opens it: the whole
// tree exported as the backup exports a profile, a search over it, and the analysis
// of every profile in it.

#include <cstdint>

#include "fuzz/FuzzSupport.h"
#include "regfile/ExRegistry.h"
#include "registry/store/hive/HiveStore.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace brindel;
  static fuzz::ScratchFile hive("walk.dat");
  static fuzz::ScratchFile exported("walk.reg");
  hive.Write(data, size);
  registry::store::HiveStore store(registry::store::HiveStore::Mode::ReadOnly);
  try {
    store.Mount(registry::store::HiveStore::MountPoint::CurrentUser, hive.Path());
  } catch (const platform::Exception&) {
    return 0;
  }
  const registry::store::ScopedCurrentStore current(store);
  {
    regfile::TExRegistry registry;
    if (registry.Open(u"Software", false))
      registry.ExportKey(exported.Path().u16string());
  }
  fuzz::AnalyseEveryProfile(false);
  store.Close();
  return 0;
}
