#pragma once

// The first stage of reading a .reg text: its bytes to UTF-16 text lines, by
// byte-order mark. The line reader (RegLineReader.h) and the grammars that read
// statements from those lines come after it.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace brindel::regfile {

// The header lines of the two formats, as regedit writes them.
inline constexpr std::u16string_view kRegedit4Header = u"REGEDIT4";
inline constexpr std::u16string_view kVersion5Header = u"Windows Registry Editor Version 5.00";

// The two formats of a .reg text, known by their header lines.
enum class RegTextFormat { Regedit4, Version5 };

enum class RegTextEncoding { Ansi, Utf8, Utf16LE, Utf16BE };

struct RegTextLine {
  int number = 0;  // line of the file, from 1
  std::u16string text;
};

struct RegTextDecoded {
  RegTextEncoding encoding = RegTextEncoding::Ansi;
  std::vector<RegTextLine> lines;
};

// Where the line reader takes its lines from, one at a time.
class RegLineSource {
 public:
  virtual ~RegLineSource() = default;
  // The next line of the text; false at its end.
  virtual bool Next(RegTextLine& line) = 0;
};

// The lines of a .reg text, decoded one at a time exactly as DecodeRegText decodes
// them all, so that a large file is never held as text beside its bytes. The bytes
// must outlive it.
class RegTextLines : public RegLineSource {
 public:
  explicit RegTextLines(std::span<const std::uint8_t> bytes);

  RegTextEncoding Encoding() const { return encoding_; }
  bool Next(RegTextLine& line) override;

 private:
  std::size_t Units() const;
  char16_t Unit(std::size_t index) const;

  std::span<const std::uint8_t> text_;  // after the byte-order mark
  RegTextEncoding encoding_ = RegTextEncoding::Ansi;
  std::size_t pos_ = 0;  // in code units of the encoding
  int number_ = 0;
};

// Decodes by byte-order mark: FF FE is UTF-16LE, FE FF UTF-16BE, EF BB BF UTF-8.
// Without a mark the bytes are the ANSI code page (Windows-1252), with one exception:
// a file whose header is "Windows Registry Editor Version 5.00" and whose bytes are
// valid UTF-8 is read as UTF-8, because editors and tools other than regedit save
// Version 5.00 files so, and Windows-1252 text with letters beyond ASCII is almost
// never valid UTF-8. Lines end at CR LF, LF or a lone CR; a break at the very end
// starts no further line. NUL characters are kept; the grammar decides about them.
// A dangling odd byte of a UTF-16 text becomes U+FFFD.
RegTextDecoded DecodeRegText(std::span<const std::uint8_t> bytes);

// A .reg file larger than this is no registry export; the limit keeps a wrong file
// from filling the memory.
inline constexpr std::uintmax_t kMaxRegTextFileSize = 256u * 1024u * 1024u;

// The bytes of a .reg file. Throws ERegTextError, with a German text naming the
// file, when it is missing, cannot be read or is larger than kMaxRegTextFileSize.
std::string ReadRegTextFile(std::u16string_view fileName);

}  // namespace brindel::regfile
