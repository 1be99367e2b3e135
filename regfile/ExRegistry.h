#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/FileSystem.h"
#include "regfile/ExRegistryException.h"
#include "regfile/MemoryStream.h"
#include "regfile/RootKeyName.h"
#include "regfile/SearchNode.h"
#include "registry/RegAccess.h"
#include "registry/StringList.h"

namespace brindel::regfile {

using registry::store::HKEY;

struct RegImportStatement;

// Called by Walk for every value of a key tree, and once with an empty value name,
// type 0 and no data for every key that has no values. keyName is the key's path from
// the root as the registry spells it; data is valid during the call only.
using TWalkProc =
    std::function<void(std::u16string_view keyName, std::u16string_view valueName,
                       std::uint32_t dataType, const std::uint8_t* data, std::int32_t DataLen)>;

// Takes the bytes of an export as they are made, in pieces of up to a few hundred KiB;
// false when they could not be kept, which ends the export.
using TExportSink = std::function<bool(std::string_view bytes)>;

// Writes a file through write's sink without touching fileName until the end: the
// bytes go into a new file beside it, which takes its place only when write returned
// true and every byte reached the disk's cache; otherwise the new file is removed and
// fileName stays as it was. A link keeps its place and the file it names is replaced;
// a device or a pipe takes the bytes directly. False when the file was not written;
// no error escapes.
bool WriteFileBeside(std::u16string_view fileName,
                     const std::function<bool(platform::TFileSink& sink)>& write);

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

  // Writes the tree as .reg text to fileName, created or replaced, as it walks the
  // tree: into a new file beside fileName that takes its place once complete, so that
  // a failed export leaves fileName as it was. With InStream the same bytes go into a
  // new stream instead, which is stored in ExportStream once the tree has been read,
  // with its position at its end; the caller owns it. False when the tree could not
  // be read or the text not written; no error escapes.
  bool ExportKey(std::u16string_view fileName, bool InStream,
                 std::unique_ptr<TMemoryStream>& ExportStream);
  bool ExportKey(std::u16string_view fileName);
  // The whole text ExportKey writes into a file, handed to sink as it is made. False
  // when the tree could not be read or sink refused bytes.
  bool ExportKeyText(platform::TFileSink& sink);
  // The key and value lines of the tree as ExportKey writes them, without the
  // "REGEDIT4" line before them and the empty line after them, handed to sink as
  // they are made. False when the tree could not be read or sink refused bytes; what
  // sink took before stays with it.
  bool ExportKeyLines(const TExportSink& sink);

  // --- Import ---
  //
  // Applies a REGEDIT4 text as the export writes it, line by line: a key line
  // switches to its root (SetRoot, keeping the server) and opens or creates its key
  // from the root, which stays open afterwards; "[root]" alone stands on the root
  // itself (the current path is empty, as with no key open). A value line sets its
  // value in the key opened last, or, before any key line, in the object's open key.
  // Without Stream the file fileName is read; with one, the stream from its position
  // to its end, and fileName only names the text in messages. There is no
  // transaction: the lines before a fault stay applied.
  // Raises platform::Exception: ERegTextError for a file that cannot be read, a
  // missing "REGEDIT4" header ("Bad file format.  Missing REGEDIT4 in first line.")
  // and syntax errors ("Syntax error in reg file %s at line %d with string: %s");
  // platform::EConvertError for numbers that are no hexadecimal 32-bit number;
  // EExRegistryException "Unable to create key ..." when a key line's key can be
  // neither opened nor created; the write errors of WriteString, WriteInteger and
  // WriteTypedBinaryData when the registry refuses a value.
  void ImportRegFile(std::u16string_view fileName, TMemoryStream* Stream = nullptr);
  // Reads the text as ImportRegFile does and raises what it would raise for the text
  // itself, changing nothing: lets a caller refuse a bad file before touching a hive.
  static void CheckRegFile(std::u16string_view fileName, TMemoryStream* Stream = nullptr);
  // Sets valueName of the open key to the first size bytes of data with registry type
  // tp. Raises ERegistryException "Unable to set registry data for %s" when the
  // registry refuses, or when size is negative or larger than data.
  void WriteTypedBinaryData(std::u16string_view valueName, std::int32_t tp,
                            std::span<const std::uint8_t> data, std::int32_t size);

  // --- Copy, value types, multi-string values ---
  //
  // These work on the object's open key, or on its root when no key is open. A copy
  // goes from otherReg (the source) to this object; the two may work on different
  // stores (TRegAccess::UseStore).

  // Copies one value with its type and data, replacing a value of that name; with
  // deleteSource the source value is deleted afterwards. Raises EExRegistryException
  // "Unable to copy value" with the failing call's result code, or ERegistryException
  // "Unable to delete moved value".
  void CopyValueFromReg(std::u16string_view valueName, TExRegistry& otherReg, bool deleteSource);
  // Copies the key keyName below otherReg's open key, values first, then every
  // subkey with everything below it, to keyName below this object's open key,
  // creating keys as needed; with deleteSource the source key is deleted afterwards.
  // A source key that does not open copies as an empty key. Raises
  // ERegistryException "Unable to open destination" or "Unable to delete moved key",
  // and the errors of CopyValueFromReg; what was copied before stays.
  void CopyKeyFromReg(std::u16string_view keyName, TExRegistry& otherReg, bool deleteSource);
  // The registry type of a value. EExRegistryException "Unable to get value type".
  std::uint32_t GetValueType(std::u16string_view valueName);
  // The strings of a REG_MULTI_SZ value, up to the first empty one. Raises
  // EExRegistryException "Unable read MULTI_SZ value" for a value that cannot be
  // read, ERegistryException "String list expected" for one of another type.
  void ReadStrings(std::u16string_view valueName, registry::TStringList& strings);
  // Sets a REG_MULTI_SZ value: each text up to its first NUL, followed by a NUL, and
  // one more NUL at the end. EExRegistryException "Unable to write MULTI_SZ value".
  void WriteStrings(std::u16string_view valueName, const registry::TStringList& strings);

  // --- Search ---
  //
  // An incremental search for key and value names below the open key (or the root),
  // and then on up: after the start key's tree, the keys above it come back
  // innermost first, each with its values and its subkeys after the one that leads
  // to the start key. Names are compared upper-cased in a to z only. Paths are
  // reported as "\" before every key name; names the search found in upper case.

  // Starts a new search and returns its first match as FindNext does.
  bool FindFirst(std::u16string_view data, TSearchParams params, bool MatchWholeString,
                 std::u16string& retPath, std::u16string& retValue);
  // True with retPath set (and retValue, when rsValues is searched: the value's name,
  // or empty for a key match) for the next match; false when the search is exhausted
  // or was cancelled. A cancelled search goes on from the same place next time.
  bool FindNext(std::u16string& retPath, std::u16string& retValue);
  // Stops a running FindNext after its current step; meant for the message hook.
  void CancelSearch() { fCancelSearch = true; }
  // Called before every step of a search, so that a user interface can handle its
  // pending messages (and a button there can call CancelSearch). May be empty.
  void SetProcessMessages(std::function<void()> ProcessMessages) {
    fProcessMessages = std::move(ProcessMessages);
  }

 protected:
  // The key the new operations work on: the open key, or the root when none is open.
  HKEY PositionKey() const { return CurrentKey() != 0 ? CurrentKey() : RootKey(); }

 private:
  void ImportKeyLine(const RegImportStatement& statement);
  void ImportValueLine(const RegImportStatement& statement);
  bool Matches(const std::u16string& name) const;
  struct WalkState;
  void VisitKey(WalkState& state, HKEY parent, std::u16string_view subKey,
                const std::u16string& path);

  // Encodes the lines of an export into bytes for its sink as they are made.
  class TRegTextWriter;
  // The walk with the value writer: the key and value lines of the tree into writer.
  void WalkExport(TRegTextWriter& writer);
  void ExportValue(std::u16string_view keyName, std::u16string_view valueName,
                   std::uint32_t dataType, const std::uint8_t* data, std::int32_t DataLen);

  std::u16string fSaveServer;
  // The writer of the export in progress; none between exports.
  TRegTextWriter* fExportWriter = nullptr;
  std::u16string fLastExportKey;
  TSearchParams fSearchParams;
  std::u16string fSearchString;
  std::vector<std::unique_ptr<TSearchNode>> fSearchStack;
  bool fMatchWholeString = false;
  bool fCancelSearch = false;
  HKEY fLocalRoot = 0;
  std::int32_t fValuesSize = 0;
  std::function<void()> fProcessMessages;
};

}  // namespace brindel::regfile
