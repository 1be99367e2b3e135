// The lenient .reg loader (--reg, --demo): any bytes, loaded into a registry in memory,
// then the analysis and repair of whatever profiles they made.

#include <cstdint>
#include <span>

#include "fuzz/FuzzSupport.h"
#include "registry/store/MemoryStore.h"
#include "regfile/RegText.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace brindel;
  registry::store::MemoryStore store;
  try {
    regfile::LoadRegText(std::span(data, size), store);
  } catch (const platform::Exception&) {
    return 0;
  }
  const registry::store::ScopedCurrentStore current(store);
  fuzz::AnalyseEveryProfile(true);
  return 0;
}
