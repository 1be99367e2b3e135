#pragma once

// Reading .reg text: REGEDIT4 and "Windows Registry Editor Version 5.00".
//
// Three stages, so that readers with different rules share one line reader:
//   1. DecodeRegText: bytes to UTF-16 text lines, by byte-order mark.
//   2. RegLineReader: the header, then logical lines (continuations joined), each
//      knowing the file lines it came from.
//   3. A rule set that turns logical lines into operations: ParseRegText is the
//      lenient one, which reads what regedit writes and accepts what regedit accepts.
// LoadRegText puts it together: parse everything, then apply it to a store.

#include <cstdint>
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

struct RegTextOp {
  RegTextOpKind kind = RegTextOpKind::CreateKey;
  int line = 0;         // first file line of the statement
  HKEY root = 0;        // a predefined root
  std::u16string path;  // below the root, names separated by "\"; empty: the root
  std::u16string name;  // value name; empty: the default value
  RegValue value;       // SetValue only
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

// A root's name for messages and the name table of key lines: the long names of the
// four roots a store has; empty for any other handle.
std::u16string_view RegRootName(HKEY root);

}  // namespace brindel::registry::store
