// The strict import reader (brindel-cli import, restore): any bytes, checked, then
// imported into a registry in memory as TExRegistry::ImportRegFile does.

#include <cstdint>
#include <string_view>

#include "platform/Errors.h"
#include "regfile/ExRegistry.h"
#include "regfile/MemoryStream.h"
#include "registry/store/MemoryStore.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace brindel;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  registry::store::MemoryStore store;
  const registry::store::ScopedCurrentStore current(store);
  try {
    regfile::TMemoryStream check;
    check.Write(text);
    check.SetPosition(0);
    regfile::TExRegistry::CheckRegFile(u"fuzz.reg", &check);
  } catch (const platform::Exception&) {
  }
  try {
    regfile::TMemoryStream stream;
    stream.Write(text);
    stream.SetPosition(0);
    regfile::TExRegistry registry;
    registry.ImportRegFile(u"fuzz.reg", &stream);
  } catch (const platform::Exception&) {
  }
  return 0;
}
