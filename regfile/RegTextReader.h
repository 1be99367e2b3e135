#pragma once

// The lenient grammar of .reg texts: REGEDIT4 and "Windows Registry Editor Version
// 5.00" as regedit writes them, and what regedit accepts besides. It reads the
// statements of the line reader (RegLineReader.h) into operations on named keys;
// RegText.h applies them to a store.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "regfile/RegLineReader.h"
#include "regfile/RegTextDecode.h"
#include "regfile/RegTextError.h"
#include "registry/store/RegistryStore.h"

namespace brindel::regfile {

// What a statement does. Each operation names its key in full, so it can be applied
// on its own.
enum class RegTextOpKind {
  CreateKey,    // [key]: open or create the key and its missing parents
  DeleteKey,    // [-key]: delete the key with everything below it; absent is fine
  SetValue,     // "name"=data or @=data
  DeleteValue,  // "name"=- or @=-; absent is fine
};

struct RegTextOp {
  RegTextOpKind kind = RegTextOpKind::CreateKey;
  int line = 0;                     // first file line of the statement
  registry::store::HKEY root = 0;   // a predefined root
  std::u16string path;              // below the root, names separated by "\"; empty: the root
  std::u16string name;              // value name; empty: the default value
  registry::store::RegValue value;  // SetValue only
};

// Reads a .reg text statement by statement: deletions; the escapes \\, \", \r and \n
// in quoted texts, which only blanks or a comment may follow; long and short root
// names in any letter case; hex lists of one- or two-digit bytes separated by
// commas; German faults naming the file line counted from 1. Decodes the bytes and
// checks the header when it is made; throws ERegTextError on the first fault.
// Changes nothing anywhere.
class RegTextReader {
 public:
  explicit RegTextReader(std::span<const std::uint8_t> bytes);
  RegTextReader(const RegTextReader&) = delete;
  RegTextReader& operator=(const RegTextReader&) = delete;

  RegTextFormat Format() const { return format_; }
  RegTextEncoding Encoding() const { return encoding_; }
  // The next operation, in file order; false at the end of the text.
  bool Next(RegTextOp& op);

 private:
  RegTextEncoding encoding_ = RegTextEncoding::Ansi;
  RegTextFormat format_ = RegTextFormat::Regedit4;
  std::vector<RegTextLine> lines_;
  RegLineReader reader_;
  bool haveKey_ = false;
  registry::store::HKEY keyRoot_ = 0;
  std::u16string keyPath_;
};

struct ParsedRegText {
  RegTextFormat format = RegTextFormat::Regedit4;
  RegTextEncoding encoding = RegTextEncoding::Ansi;
  std::vector<RegTextOp> ops;  // in file order
};

// Reads a whole .reg text. Throws ERegTextError on the first fault, naming its line.
// Changes nothing anywhere.
ParsedRegText ParseRegText(std::span<const std::uint8_t> bytes);

}  // namespace brindel::regfile
