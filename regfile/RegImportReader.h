#pragma once

// The grammar of TExRegistry's import: .reg text exactly as the export writes it, and
// nothing else. It shares the decoding and the line reader with the lenient grammar,
// and differs from it in everything it reads:
// - the header is "REGEDIT4" or "Windows Registry Editor Version 5.00", exactly so,
//   with nothing around it;
// - a NUL character ends the text;
// - a comment line is joined like any other line, and the four characters \r\n in a
//   statement's first line stand for a line break, as the export writes one;
// - key lines are "[root]" and "[root\path]" with the seven predefined root names
//   exactly as written; there are no deletions;
// - value lines may come before the first key line; \\ and \" are the escapes of
//   value names; string data are the characters between the first and the last of
//   the rest of the line;
// - in hex data every run of hex digits is a number and anything else separates;
//   the text of hex(2): and hex(7): is one UTF-16 code unit per number;
// - in Version 5.00 \r and \n in quoted texts are line breaks, the four characters
//   \r\n are no escape of their own, and hex(2): and hex(7): hold UTF-16 bytes;
// - a key line more than 512 levels deep is a fault;
// - a line of no known kind is a fault.
// Faults read "Syntax error in reg file %s at line %d with string: %s", lines counted
// from the header line as 0; numbers that are no hexadecimal 32-bit number raise
// platform::EConvertError.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "regfile/RegLineReader.h"
#include "regfile/RegTextDecode.h"
#include "registry/store/RegistryStore.h"

namespace brindel::regfile {

// One statement of an import text.
struct RegImportStatement {
  enum class Kind {
    Key,    // [root] or [root\path]
    Value,  // "name"=data or @=data, for the key opened last
  };
  // How the data of a value line were written, which decides how the value is set.
  enum class Form {
    String,  // "text"
    Dword,   // dword:
    Hex,     // hex: and hex(N):
  };

  Kind kind = Kind::Key;
  registry::store::HKEY root = 0;   // Key: a predefined root
  std::u16string path;              // Key: below the root; empty: the root itself
  std::u16string name;              // Value: empty: the default value
  registry::store::RegValue value;  // Value
  Form form = Form::String;         // Value
};

// Reads an import text statement by statement, decoding each line as it comes to it,
// so that its memory does not grow with the text; the bytes must outlive it. Checks
// the header when it is made; throws ERegTextError or platform::EConvertError on the
// first fault. Changes nothing anywhere.
class RegImportReader {
 public:
  // sourceName: the file name for the messages.
  RegImportReader(std::span<const std::uint8_t> bytes, std::u16string_view sourceName);
  RegImportReader(const RegImportReader&) = delete;
  RegImportReader& operator=(const RegImportReader&) = delete;

  // The next statement, in file order; false at the end of the text.
  bool Next(RegImportStatement& statement);

 private:
  // The decoded lines, one at a time, up to the first NUL character, which ends the
  // text: the line it ends is dropped too when nothing is left of it.
  class Lines : public regfile::RegLineSource {
   public:
    explicit Lines(std::span<const std::uint8_t> bytes) : decoded_(bytes) {}
    bool Next(regfile::RegTextLine& line) override;

   private:
    regfile::RegTextLines decoded_;
    bool first_ = true;
    bool ended_ = false;
  };

  std::u16string sourceName_;
  Lines lines_;
  regfile::RegLineReader reader_;
  int headerLine_ = 0;
  RegTextFormat format_ = RegTextFormat::Regedit4;
};

}  // namespace brindel::regfile
