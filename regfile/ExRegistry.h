#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "regfile/ExRegistryException.h"
#include "regfile/MemoryStream.h"
#include "regfile/SearchNode.h"
#include "registry/RegAccess.h"
#include "registry/StringList.h"

namespace brindel::regfile {

using registry::store::HKEY;

// The names of the predefined roots in .reg key lines. A handle outside the table has
// the empty name; a name outside it (compared with letter case) has no handle.
std::u16string_view RootKeyName(HKEY root);
std::optional<HKEY> RootKeyFromName(std::u16string_view name);

// Called by Walk for every value of a key tree, and once with an empty value name,
// type 0 and no data for every key that has no values. keyName is the key's path from
// the root as the registry spells it; data is valid during the call only.
using TWalkProc =
    std::function<void(std::u16string_view keyName, std::u16string_view valueName,
                       std::uint32_t dataType, const std::uint8_t* data, std::int32_t DataLen)>;

// The registry key object with the operations on whole key trees: walking them and
// exporting them as REGEDIT4 text. Like its base, it starts on HKEY_CURRENT_USER with
// KEY_ALL_ACCESS and no key open; the tree operations start at the open key, or at the
// root when none is open.
class TExRegistry : public registry::TRegAccess {
 public:
  using TRegAccess::TRegAccess;
  ~TExRegistry() override;

  // Switches to a predefined root, on another machine when server is not empty. Key
  // lines of the export are named after this root from now on, whatever root the
  // object uses later. Raises platform::Exception when the connection fails.
  void SetRoot(HKEY root, std::u16string_view server);

  // Depth first: a key's values in the registry's order, then each subkey with
  // everything below it. Keys that cannot be opened or whose information is refused
  // are left out with everything below them; a value whose enumeration or walkProc
  // raises is left out. Any other failure to read a key's information raises
  // EExRegistryException. Without valuesRequired only the types and sizes count.
  void Walk(const TWalkProc& walkProc, bool valuesRequired);

  // Total data size of all values of the tree, or -1 when that total is 0.
  void GetValuesSize(std::int32_t& size);

  // Writes the tree as .reg text to fileName, created or replaced. With InStream the
  // same bytes go into a new stream instead, which is stored in ExportStream once the
  // tree has been read, with its position at its end; the caller owns it. False when
  // the tree could not be read or the text not written; no error escapes.
  bool ExportKey(std::u16string_view fileName, bool InStream,
                 std::unique_ptr<TMemoryStream>& ExportStream);
  bool ExportKey(std::u16string_view fileName);

 private:
  struct WalkState;
  void VisitKey(WalkState& state, const std::u16string& path);

  void BuildExportLines();
  void ExportValue(std::u16string_view keyName, std::u16string_view valueName,
                   std::uint32_t dataType, const std::uint8_t* data, std::int32_t DataLen);
  std::u16string KeyLine(std::u16string_view keyName) const;
  // Appends "hex...:" and the bytes to the current line, continuing it on further
  // lines where it grows too long; flushEmpty: the REG_NONE rule for no bytes.
  void AppendByteList(std::u16string& line, std::u16string_view tag,
                      std::span<const std::uint8_t> bytes, bool flushEmpty);
  void WriteExportLines(TMemoryStream& stream) const;

  std::u16string fSaveServer;
  std::unique_ptr<registry::TStringList> fExportStrings;
  std::u16string fLastExportKey;
  TSearchParams fSearchParams;
  std::u16string fSearchString;
  std::vector<std::unique_ptr<TSearchNode>> fSearchStack;
  bool fMatchWholeString = false;
  bool fCancelSearch = false;
  HKEY fLocalRoot = 0;
  std::int32_t fValuesSize = 0;
};

}  // namespace brindel::regfile
