// A user hive of any bytes, opened for writing on a copy: the analysis and repair of
// every profile in it and the commit that writes the hive anew, then the written hive
// opened again, as the next run would.

#include <cstdint>

#include "fuzz/FuzzSupport.h"
#include "registry/store/hive/HiveStore.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace brindel;
  using registry::store::HiveStore;
  static fuzz::ScratchFile hive("repair.dat");
  hive.Write(data, size);
  {
    HiveStore store(HiveStore::Mode::ReadWrite);
    try {
      store.Mount(HiveStore::MountPoint::CurrentUser, hive.Path());
    } catch (const platform::Exception&) {
      return 0;
    }
    const registry::store::ScopedCurrentStore current(store);
    fuzz::AnalyseEveryProfile(true);
    store.Close();
  }
  HiveStore again(HiveStore::Mode::ReadOnly);
  try {
    again.Mount(HiveStore::MountPoint::CurrentUser, hive.Path());
  } catch (const platform::Exception&) {
  }
  return 0;
}
