#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "regfile/MemoryStream.h"
#include "registry/store/RegistryStore.h"

namespace brindel::regfile {

// Saves whole roots of a store as one .reg text, each root written as the export
// writes a tree with no key open: the root's own key line first, then everything
// below it. The text is REGEDIT4, or Version 5.00 when one of the roots needs it, as
// ExportKey decides. Roots the store does not have are left out. The store serves as the
// process's current store meanwhile. The file is written as ExportKey writes its
// file: beside it first, so that a failed save leaves it as it was. False when a root
// could not be read or the text not written, as the export reports it.
// What the export left out of the text (ExportLeftOut) is added to leftOut when given.
bool SaveStoreAsReg(registry::store::RegistryStore& store,
                    const std::vector<registry::store::HKEY>& roots, std::u16string_view fileName,
                    std::vector<std::u16string>* leftOut = nullptr);
// The same text, written into the stream at its position once it is complete; the
// stream is left as it was when the save fails.
bool SaveStoreAsReg(registry::store::RegistryStore& store,
                    const std::vector<registry::store::HKEY>& roots, TMemoryStream& stream);

}  // namespace brindel::regfile
