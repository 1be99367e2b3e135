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
#include "regfile/RegTextDecode.h"
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

// The bytes that begin a .reg text of the format, header line included, and the bytes
// of its final empty line, as the export writes them.
std::string_view RegTextHeaderBytes(RegTextFormat format);
std::string_view RegTextFinalLine(RegTextFormat format);

// Whether a .reg text can hold a name at all: a key line has no escape for a line
// break, a NUL or a "\" within a key name, a value line none for a NUL in a value
// name. The export leaves out what it cannot hold and names it.
bool RegTextHoldsKeyName(std::u16string_view name);
bool RegTextHoldsValueName(std::u16string_view name);
// A name for a message: line breaks and NULs as \r, \n and \0, so that the sentence
// stays on one line.
std::u16string VisibleName(std::u16string_view name);

// Writes a file through write's sink without touching fileName until the end: the
// bytes go into a new file beside it, which takes its place only when write returned
// true and every byte reached the disk's cache; otherwise the new file is removed and
// fileName stays as it was. A link keeps its place and the file it names is replaced;
// a device or a pipe takes the bytes directly. False when the file was not written;
// no error escapes.
bool WriteFileBeside(std::u16string_view fileName,
                     const std::function<bool(platform::TFileSink& sink)>& write);
// Whether WriteFileBeside hands the bytes straight to fileName (a device or a pipe,
// which cannot be begun again) instead of writing a new file beside it.
bool WritesDirectly(std::u16string_view fileName);

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
  //
  // The text is REGEDIT4 in the ANSI code page, as long as the code page holds every
  // key and value name and REGEDIT4 the text of every REG_EXPAND_SZ and REG_MULTI_SZ
  // value (one byte per character); otherwise the whole text is "Windows Registry
  // Editor Version 5.00" in UTF-16LE with a byte-order mark. A value that no line form
  // of the text holds as it is (a string with a lone line break, data after the first
  // NUL, a type without a form of its own) is written as hex(N): with its exact
  // bytes. What no .reg text can hold at all is left out and named by ExportLeftOut:
  // a key whose name holds a line break, a NUL or a "\" (with everything below it),
  // a value whose name holds a NUL, and the keys and values that could not be read.
  bool ExportKey(std::u16string_view fileName, bool InStream,
                 std::unique_ptr<TMemoryStream>& ExportStream);
  bool ExportKey(std::u16string_view fileName);

  // Hands the whole text of an export in the given format to a sink as it is made.
  // False when the tree could not be read, the sink refused bytes, or the format is
  // REGEDIT4 and the tree turned out to need Version 5.00 (ExportNeedsVersion5).
  bool ExportKeyText(platform::TFileSink& sink, RegTextFormat format);
  // What makes one text into a file: called with the text's writer, it begins a new
  // file, hands the writer its sink, and puts the file in place only when the writer
  // returned true; true when the file is in place.
  using TExportText = std::function<bool(platform::TFileSink& sink)>;
  using TExportFile = std::function<bool(const TExportText& text)>;
  // The export as a file that `file` makes: begun as REGEDIT4, and begun once more as
  // Version 5.00 when the tree turns out to need it, the first file then left
  // unplaced. What the last call of `file` returned.
  bool ExportKeyFile(const TExportFile& file);
  // The key and value lines of the tree in the given format, without the header
  // before them and the empty line after them (RegTextHeaderBytes, RegTextFinalLine),
  // handed to sink as they are made. False as for ExportKeyText; what sink took before
  // stays with it.
  bool ExportKeyLines(const TExportSink& sink, RegTextFormat format = RegTextFormat::Regedit4);
  // Whether the last export stopped because its REGEDIT4 text could not hold the tree.
  bool ExportNeedsVersion5() const { return fExportNeedsVersion5; }
  // What the last export left out, each as a German sentence naming the key or value.
  const std::vector<std::u16string>& ExportLeftOut() const { return fExportLeftOut; }

  // --- Import ---
  //
  // Applies a .reg text as the export writes it (REGEDIT4 or Version 5.00; the
  // grammar is RegImportReader's), line by line: a key line
  // switches to its root (SetRoot, keeping the server) and opens or creates its key
  // from the root, which stays open afterwards; "[root]" alone stands on the root
  // itself (the current path is empty, as with no key open). A value line sets its
  // value in the key opened last, or, before any key line, in the object's open key.
  // Without Stream the file fileName is read; with one, the stream from its position
  // to its end, and fileName only names the text in messages. There is no
  // transaction: the lines before a fault stay applied.
  // Raises platform::Exception: ERegTextError for a file that cannot be read or is no
  // regular file, a missing header ("Bad file format.  Missing REGEDIT4 in first
  // line."), a key line deeper than the registry allows (in German) and syntax
  // errors ("Syntax error in reg file %s at line %d with string: %s");
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
  // What a walk does with what it finds; the walk itself knows neither the search
  // nor the export, which each bring their own.
  class TWalkVisitor {
   public:
    virtual ~TWalkVisitor() = default;
    // A value of the key at keyPath, its name whole (NULs included).
    virtual void Value(std::u16string_view keyPath, std::u16string_view name,
                       std::uint32_t dataType, const std::uint8_t* data,
                       std::int32_t DataLen) = 0;
    // A key without values, once.
    virtual void KeyWithoutValues(std::u16string_view keyPath) = 0;
    // Whether the walk goes into the sub key at keyPath (whose last name is name).
    virtual bool EntersKey(std::u16string_view keyPath, std::u16string_view name) = 0;
    // A key that cannot be opened or read: the walk leaves it with all below it.
    virtual void UnreadableKey(std::u16string_view keyPath) = 0;
    // A value that could not be read or handled; name may be empty when unknown.
    virtual void UnreadableValue(std::u16string_view keyPath, std::u16string_view name) = 0;
  };
  // Walk's visitor: hands each value to a TWalkProc, its name up to the first NUL.
  class TProcVisitor;
  // The export's visitor: writes each value and says what it leaves out.
  class TExportVisitor;
  struct WalkState {
    TWalkVisitor* visitor = nullptr;
    bool valuesRequired = true;
    registry::store::RegValue value;  // the walk's one data buffer
    // The path of the key being visited, from the root: one text that grows and
    // shrinks by a name as the walk goes down and up, so that a deep tree costs no
    // more than its deepest path.
    std::u16string path;
  };
  // The key subKey below parent, which is the key at state.path, and everything below
  // it, each part handed to state's visitor.
  void VisitKey(WalkState& state, HKEY parent, std::u16string_view subKey);

  // Encodes the lines of an export into bytes for its sink as they are made.
  class TRegTextWriter;
  // The walk with the value writer: the key and value lines of the tree into writer.
  // Throws TNeedsVersion5 (no platform error, which the walk would drop) when a
  // REGEDIT4 writer meets what REGEDIT4 cannot hold.
  void WalkExport(TRegTextWriter& writer);
  // keyOnly: the call for a key without values, which writes its key line alone.
  void ExportValue(std::u16string_view keyName, std::u16string_view valueName,
                   std::uint32_t dataType, const std::uint8_t* data, std::int32_t DataLen,
                   bool keyOnly);
  // What an export leaves out, and why.
  enum class TLeftOut { UnreadableKey, UnreadableValue, KeyName, ValueName };
  void LeaveOut(TLeftOut why, std::u16string_view keyPath, std::u16string_view name);

  std::u16string fSaveServer;
  // The writer of the export in progress; none between exports.
  TRegTextWriter* fExportWriter = nullptr;
  std::u16string fLastExportKey;
  bool fExportNeedsVersion5 = false;
  std::vector<std::u16string> fExportLeftOut;
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
