#include "regfile/StoreExport.h"

#include <string>

#include "regfile/ExRegistry.h"

namespace brindel::regfile {

using namespace registry::store;

namespace {

constexpr std::string_view kHeaderLine = "REGEDIT4\r\n";
constexpr std::string_view kFinalLine = "\r\n";

// One text for all roots: the header once, the key lines of every root in order, each
// root as the export writes a tree with no key open, the final empty line once.
bool WriteStoreText(RegistryStore& store, const std::vector<HKEY>& roots, const TExportSink& sink) {
  ScopedCurrentStore current(store);
  if (!sink(kHeaderLine))
    return false;
  for (const HKEY root : roots) {
    TExRegistry reg;
    reg.SetRoot(root, u"");
    if (!reg.ExportKeyLines(sink))
      return false;
  }
  return sink(kFinalLine);
}

}  // namespace

bool SaveStoreAsReg(RegistryStore& store, const std::vector<HKEY>& roots,
                    std::u16string_view fileName) {
  return WriteFileBeside(fileName, [&](platform::TFileSink& file) {
    const TExportSink sink = [&file](std::string_view bytes) { return file.Write(bytes); };
    try {
      return WriteStoreText(store, roots, sink);
    } catch (...) {
      return false;
    }
  });
}

bool SaveStoreAsReg(RegistryStore& store, const std::vector<HKEY>& roots, TMemoryStream& stream) {
  // The stream gets the text only when it is complete.
  std::string text;
  try {
    if (!WriteStoreText(store, roots, [&text](std::string_view bytes) {
          text.append(bytes);
          return true;
        })) {
      return false;
    }
    stream.Write(text);
    return true;
  } catch (...) {
    return false;
  }
}

}  // namespace brindel::regfile
