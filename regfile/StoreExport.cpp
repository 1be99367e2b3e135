#include "regfile/StoreExport.h"

#include <string>

#include "regfile/ExRegistry.h"

namespace brindel::regfile {

using namespace registry::store;

namespace {

// One text for all roots: the header once, the key lines of every root in order, each
// root as the export writes a tree with no key open, the final empty line once. False
// with needsVersion5 set when REGEDIT4 cannot hold the roots.
bool WriteStoreText(RegistryStore& store, const std::vector<HKEY>& roots, RegTextFormat format,
                    const TExportSink& sink, bool& needsVersion5,
                    std::vector<std::u16string>* leftOut = nullptr) {
  ScopedCurrentStore current(store);
  if (!sink(RegTextHeaderBytes(format)))
    return false;
  for (const HKEY root : roots) {
    TExRegistry reg;
    reg.SetRoot(root, u"");
    if (!reg.ExportKeyLines(sink, format)) {
      needsVersion5 = reg.ExportNeedsVersion5();
      return false;
    }
    if (leftOut != nullptr)
      leftOut->insert(leftOut->end(), reg.ExportLeftOut().begin(), reg.ExportLeftOut().end());
  }
  return sink(RegTextFinalLine(format));
}

}  // namespace

bool SaveStoreAsReg(RegistryStore& store, const std::vector<HKEY>& roots,
                    std::u16string_view fileName, std::vector<std::u16string>* leftOut) {
  // Begun as REGEDIT4, and once more as Version 5.00 when the roots need it; a device
  // or a pipe, which cannot be begun again, gets the format found out first.
  std::vector<RegTextFormat> formats = {RegTextFormat::Regedit4, RegTextFormat::Version5};
  if (WritesDirectly(fileName)) {
    bool needsVersion5 = false;
    try {
      WriteStoreText(
          store, roots, RegTextFormat::Regedit4, [](std::string_view) { return true; },
          needsVersion5);
    } catch (...) {
    }
    formats = {needsVersion5 ? RegTextFormat::Version5 : RegTextFormat::Regedit4};
  }
  for (const RegTextFormat format : formats) {
    bool needsVersion5 = false;
    std::vector<std::u16string> missing;
    const bool written = WriteFileBeside(fileName, [&](platform::TFileSink& file) {
      const TExportSink sink = [&file](std::string_view bytes) { return file.Write(bytes); };
      try {
        return WriteStoreText(store, roots, format, sink, needsVersion5, &missing);
      } catch (...) {
        return false;
      }
    });
    if (written && leftOut != nullptr)
      leftOut->insert(leftOut->end(), missing.begin(), missing.end());
    if (written || !needsVersion5)
      return written;
  }
  return false;
}

bool SaveStoreAsReg(RegistryStore& store, const std::vector<HKEY>& roots, TMemoryStream& stream) {
  // The stream gets the text only when it is complete.
  try {
    for (const RegTextFormat format : {RegTextFormat::Regedit4, RegTextFormat::Version5}) {
      std::string text;
      bool needsVersion5 = false;
      if (WriteStoreText(
              store, roots, format,
              [&text](std::string_view bytes) {
                text.append(bytes);
                return true;
              },
              needsVersion5)) {
        stream.Write(text);
        return true;
      }
      if (!needsVersion5)
        return false;
    }
  } catch (...) {
  }
  return false;
}

}  // namespace brindel::regfile
