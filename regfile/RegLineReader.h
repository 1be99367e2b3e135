#pragma once

// The second stage of reading a .reg text: decoded lines (RegTextDecode.h) to
// statements. A statement is a physical line, or several joined by continuation,
// each knowing the file lines it came from. The grammars read their statements
// from here, each with its own rules of joining.

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "regfile/RegTextDecode.h"

namespace brindel::regfile {

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
  // as the export writes one; replaced before any line is joined to it. Not in a key
  // line, where the backslashes join key names.
  bool lineBreakEscapes = false;
};

// Walks the lines of a decoded text, or of a source that decodes them as they are
// read. The lines, or the source, must outlive the reader.
class RegLineReader {
 public:
  explicit RegLineReader(std::span<const RegTextLine> lines, RegLineRules rules = {});
  explicit RegLineReader(RegLineSource& source, RegLineRules rules = {});

  // Passes over blank and comment lines and returns the next line as it stands
  // (untrimmed), or null at the end. Meant for the header, before the first Next.
  const RegTextLine* ReadHeader();
  // Joins the lines after the header by other rules, which the header may decide.
  void SetRules(RegLineRules rules) { rules_ = rules; }
  // The next logical line, blank and comment lines included. False at the end.
  bool Next(RegLogicalLine& line);

 private:
  // The line the reader stands on, or null at the end; Advance moves past it.
  const RegTextLine* Peek();
  void Advance();

  std::span<const RegTextLine> lines_;
  RegLineRules rules_;
  std::size_t index_ = 0;
  RegLineSource* source_ = nullptr;
  RegTextLine ahead_;  // from the source: the line Peek returned
  bool haveAhead_ = false;
  RegTextLine header_;  // from the source: the line ReadHeader returned
};

// The characters that platform::Trim removes: U+0000 to U+0020.
inline bool IsRegBlank(char16_t unit) {
  return unit <= u' ';
}

}  // namespace brindel::regfile
