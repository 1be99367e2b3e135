#include "regfile/StoreExport.h"

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "regfile/ExRegistry.h"

namespace brindel::regfile {

using namespace registry::store;

namespace {

constexpr std::string_view kHeader = "REGEDIT4\r\n";
constexpr std::string_view kFinalLine = "\r\n";

// One export per root, joined into one text: the header once, the key lines of every
// root in order, the final empty line once.
bool BuildStoreText(RegistryStore& store, const std::vector<HKEY>& roots, std::string& text) {
  ScopedCurrentStore current(store);
  text.assign(kHeader);
  for (const HKEY root : roots) {
    TExRegistry reg;
    reg.SetRoot(root, u"");
    std::unique_ptr<TMemoryStream> exported;
    if (!reg.ExportKey(u"", true, exported) || !exported)
      return false;
    std::string_view body = exported->Bytes();
    if (!body.starts_with(kHeader) || !body.ends_with(kFinalLine))
      return false;
    body.remove_prefix(kHeader.size());
    body.remove_suffix(kFinalLine.size());
    text.append(body);
  }
  text.append(kFinalLine);
  return true;
}

}  // namespace

bool SaveStoreAsReg(RegistryStore& store, const std::vector<HKEY>& roots,
                    std::u16string_view fileName) {
  std::string text;
  try {
    if (!BuildStoreText(store, roots, text))
      return false;
    std::ofstream file(std::filesystem::path(std::u16string(fileName)),
                       std::ios::binary | std::ios::trunc);
    if (!file)
      return false;
    file.write(text.data(), static_cast<std::streamsize>(text.size()));
    file.close();
    return static_cast<bool>(file);
  } catch (...) {
    return false;
  }
}

bool SaveStoreAsReg(RegistryStore& store, const std::vector<HKEY>& roots, TMemoryStream& stream) {
  std::string text;
  try {
    if (!BuildStoreText(store, roots, text))
      return false;
    stream.Write(text);
    return true;
  } catch (...) {
    return false;
  }
}

}  // namespace brindel::regfile
