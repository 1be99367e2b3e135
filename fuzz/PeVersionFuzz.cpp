// The version resource reader of OUTLOOK.EXE: any bytes as a PE file, then every query
// the installation detection makes of the block it finds.

#include <cstdint>
#include <vector>

#include "platform/FileVersion.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace brindel::platform;
  const std::vector<std::uint8_t> file(data, data + size);
  auto block = ExtractVersionResource(file);
  if (!block)
    return 0;
  FileVersionInfo info;
  info.Assign(std::move(*block));
  info.QueryValue(u"\\");
  if (const auto translation = info.QueryValue(u"\\VarFileInfo\\Translation")) {
    (void)translation;
  }
  for (const auto* name :
       {u"\\StringFileInfo\\040704B0\\FileVersion", u"\\StringFileInfo\\040904B0\\ProductName",
        u"\\StringFileInfo\\000004B0\\CompanyName"}) {
    info.QueryString(name);
  }
  return 0;
}
