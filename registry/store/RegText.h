#pragma once

// Reading .reg text: REGEDIT4 and "Windows Registry Editor Version 5.00".
//
// Three stages, so that readers with different rules share one line reader:
//   1. DecodeRegText: bytes to UTF-16 text lines, by byte-order mark.
//   2. RegLineReader: the header, then logical lines (continuations joined), each
//      knowing the file lines it came from.
//   3. RegTextReader: turns logical lines into operations by a rule set. The lenient
//      rules (ParseRegText, LoadRegText) read what regedit writes and accept what
//      regedit accepts; the import rules are those of TExRegistry's import, which
//      reads REGEDIT4 as the export writes it and refuses the rest.
// LoadRegText puts it together: parse everything, then apply it to a store.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Errors.h"
#include "registry/store/RegistryStore.h"

namespace brindel::registry::store {

// A fault in a .reg text, or a change that a store refused while loading one.
// Line() is the line of the file, counted from 1; 0 when the fault is the file's
// as a whole. The message is the complete German text, line number included.
class ERegTextError : public platform::Exception {
 public:
  ERegTextError(int line, std::u16string message);
  int Line() const noexcept { return line_; }

 private:
  int line_;
};

// --- 1. Decoding -------------------------------------------------------------------

enum class RegTextEncoding { Ansi, Utf8, Utf16LE, Utf16BE };

struct RegTextLine {
  int number = 0;  // line of the file, from 1
  std::u16string text;
};

struct RegTextDecoded {
  RegTextEncoding encoding = RegTextEncoding::Ansi;
  std::vector<RegTextLine> lines;
};

// Decodes by byte-order mark: FF FE is UTF-16LE, FE FF UTF-16BE, EF BB BF UTF-8.
// Without a mark the bytes are the ANSI code page (Windows-1252), with one exception:
// a file whose header is "Windows Registry Editor Version 5.00" and whose bytes are
// valid UTF-8 is read as UTF-8, because editors and tools other than regedit save
// Version 5.00 files so, and Windows-1252 text with letters beyond ASCII is almost
// never valid UTF-8. Lines end at CR LF, LF or a lone CR; a break at the very end
// starts no further line. NUL characters are kept; the rule set decides about them.
// A dangling odd byte of a UTF-16 text becomes U+FFFD.
RegTextDecoded DecodeRegText(std::span<const std::uint8_t> bytes);

// --- 2. Lines ----------------------------------------------------------------------

// One statement of the file: a physical line, or several joined by continuation.
struct RegLogicalLine {
  struct Part {
    std::size_t offset = 0;  // where this file line's text starts in `text`
    int line = 0;            // line of the file
  };
  std::u16string text;  // trimmed; continuation backslashes removed
  std::vector<Part> parts;

  int FirstLine() const { return parts.empty() ? 0 : parts.front().line; }
  int LastLine() const { return parts.empty() ? 0 : parts.back().line; }
  // The file line that holds the character at `offset` of `text`.
  int LineAt(std::size_t offset) const;
};

// How lines are joined. A line whose trimmed text ends in a backslash continues on
// the next line, whose leading blanks are skipped.
struct RegLineRules {
  // A next line that begins with one of these (after its blanks) starts a statement
  // of its own: it is not joined, and the backslash stays where it was.
  std::u16string_view continuationStops = u"\"@[";
  // Comment lines (";") are not continued, so a stray backslash at the end of a
  // comment cannot swallow the next statement.
  bool commentsContinue = false;
  // Comment lines inside a continuation are passed over and the joining goes on.
  bool skipCommentsInContinuation = true;
  // The four characters \r\n in a statement's first line stand for a line break,
  // as the export writes one; replaced before any line is joined to it.
  bool lineBreakEscapes = false;
};

// Walks the lines of a decoded text. The lines must outlive the reader.
class RegLineReader {
 public:
  explicit RegLineReader(std::span<const RegTextLine> lines, RegLineRules rules = {});

  // Passes over blank and comment lines and returns the next line as it stands
  // (untrimmed), or null at the end. Meant for the header, before the first Next.
  const RegTextLine* ReadHeader();
  // The next logical line, blank and comment lines included. False at the end.
  bool Next(RegLogicalLine& line);

 private:
  std::span<const RegTextLine> lines_;
  RegLineRules rules_;
  std::size_t index_ = 0;
};

// Leading and trailing characters up to U+0020 removed.
std::u16string_view TrimRegText(std::u16string_view text);

// --- 3. The lenient rule set ---------------------------------------------------------

enum class RegTextFormat { Regedit4, Version5 };

// What a statement does. Each operation names its key in full, so it can be applied
// on its own.
enum class RegTextOpKind {
  CreateKey,    // [key]: open or create the key and its missing parents
  DeleteKey,    // [-key]: delete the key with everything below it; absent is fine
  SetValue,     // "name"=data or @=data
  DeleteValue,  // "name"=- or @=-; absent is fine
};

// How the data of a value line were written, which decides how a value is set.
enum class RegTextDataForm {
  String,  // "text"
  Dword,   // dword:
  Hex,     // hex: and hex(N):
};

struct RegTextOp {
  RegTextOpKind kind = RegTextOpKind::CreateKey;
  int line = 0;  // first file line of the statement
  // A predefined root. 0 for a value line before the first key line, which the
  // import rules allow: such a value goes to the key the caller has open.
  HKEY root = 0;
  std::u16string path;  // below the root, names separated by "\"; empty: the root
  std::u16string name;  // value name; empty: the default value
  RegValue value;       // SetValue only
  RegTextDataForm form = RegTextDataForm::String;  // SetValue only
};

// What the two rule sets of RegTextReader disagree about.
struct RegTextRules {
  // The grammar of key and value lines, and the words of its faults.
  enum class Statements {
    // regedit's: deletions; the escapes \\, \", \r and \n in quoted texts, which only
    // blanks or a comment may follow; long and short root names in any letter case;
    // German texts naming the file line counted from 1.
    Lenient,
    // The export's: "[root]" and "[root\path]" with the seven predefined root names
    // exactly as written; no deletions; \\ and \" in value names; string data are the
    // characters between the first and the last of the rest of the line. Faults read
    // "Syntax error in reg file %s at line %d with string: %s", lines counted from the
    // header line as 0; numbers that are no hexadecimal 32-bit number raise
    // platform::EConvertError.
    Import,
  };

  RegLineRules lines;
  Statements statements = Statements::Lenient;
  // Only "REGEDIT4", exactly so, with nothing around it; else also the header of
  // Version 5.00, trimmed.
  bool regedit4Only = false;
  // A NUL character ends the text; else NULs at the end are dropped and any other
  // is a fault.
  bool nulEndsText = false;
  // A line of no known kind is a fault; else it is passed over.
  bool unknownLinesFail = false;
  // Value lines before the first key line are read (with root 0); else a fault.
  bool valuesBeforeKey = false;
  // Hex lists: every run of hex digits is a number, anything else separates, each
  // number is a byte modulo 256. Else: bytes of one or two digits, separated by
  // commas.
  bool hexRuns = false;
  // In a REGEDIT4 text the numbers of hex(2): and hex(7): are UTF-16 code units
  // (their low 16 bits), as the export writes the low byte of each; else bytes of
  // the ANSI code page.
  bool textNumbersAreCodeUnits = false;

  static RegTextRules Lenient();
  static RegTextRules Import();
};

// Reads a .reg text statement by statement, by one rule set. Decodes the bytes and
// checks the header when it is made; throws ERegTextError (and, with the import
// rules, platform::EConvertError) on the first fault. Changes nothing anywhere.
class RegTextReader {
 public:
  // sourceName: the file name for the import's messages.
  RegTextReader(std::span<const std::uint8_t> bytes, const RegTextRules& rules,
                std::u16string_view sourceName = {});
  RegTextReader(const RegTextReader&) = delete;
  RegTextReader& operator=(const RegTextReader&) = delete;

  RegTextFormat Format() const { return format_; }
  RegTextEncoding Encoding() const { return encoding_; }
  // The next operation, in file order; false at the end of the text.
  bool Next(RegTextOp& op);

 private:
  RegTextRules rules_;
  std::u16string sourceName_;
  RegTextEncoding encoding_ = RegTextEncoding::Ansi;
  RegTextFormat format_ = RegTextFormat::Regedit4;
  std::vector<RegTextLine> lines_;
  RegLineReader reader_;
  int headerLine_ = 0;
  bool haveKey_ = false;
  HKEY keyRoot_ = 0;
  std::u16string keyPath_;
};

struct ParsedRegText {
  RegTextFormat format = RegTextFormat::Regedit4;
  RegTextEncoding encoding = RegTextEncoding::Ansi;
  std::vector<RegTextOp> ops;  // in file order
};

// Reads a whole .reg file by the lenient rules. Throws ERegTextError on the first
// fault, naming its line. Changes nothing anywhere.
ParsedRegText ParseRegText(std::span<const std::uint8_t> bytes);

// Applies parsed operations in order. When the store refuses one, the changes made
// so far are undone as far as the store allows and ERegTextError names the line.
void ApplyRegText(const ParsedRegText& text, RegistryStore& store);

// Parses, then applies: bad input leaves the store as it was.
void LoadRegText(std::span<const std::uint8_t> bytes, RegistryStore& store);
// The same for a file; its errors name the file.
void LoadRegTextFile(std::u16string_view fileName, RegistryStore& store);

// The bytes of a .reg file. Throws ERegTextError, with a German text naming the
// file, when it is missing, cannot be read or is too large to be a registry file.
std::vector<std::uint8_t> ReadRegTextFile(std::u16string_view fileName);

// A root's name for messages and the name table of key lines: the long names of the
// four roots a store has; empty for any other handle.
std::u16string_view RegRootName(HKEY root);

// The seven predefined roots by the names the export writes, compared with letter
// case: HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS,
// HKEY_PERFORMANCE_DATA, HKEY_CURRENT_CONFIG, HKEY_DYN_DATA. Empty or none outside
// the table.
std::optional<HKEY> PredefinedRootFromName(std::u16string_view name);
std::u16string_view PredefinedRootName(HKEY root);

}  // namespace brindel::registry::store
