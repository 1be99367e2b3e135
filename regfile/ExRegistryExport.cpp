// The export of a key tree as .reg text. Other tools read these files, so every byte
// is fixed: the key lines, the escaping, one line form per value type, the wrapping of
// byte lists and the encoding of the file.
//
// REGEDIT4 in the ANSI code page is the text as long as it holds the tree; a name the
// code page lacks, or text of REG_EXPAND_SZ and REG_MULTI_SZ beyond one byte per
// character, makes the whole text "Windows Registry Editor Version 5.00" in UTF-16LE.
// Which one a tree needs shows only on the way through it, so an export begins as
// REGEDIT4 and begins again when it meets such a name or value.
//
// The text is written as the walk goes: each line is encoded straight into a buffer
// of bytes that goes to the file (or stream) whenever it is full, so an export needs
// the same little memory for a key of ten values as for a whole hive.

#include <algorithm>
#include <array>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "platform/AnsiCodePage.h"
#include "platform/Errors.h"
#include "platform/FileSystem.h"
#include "platform/InRoot.h"
#include "platform/Text.h"
#include "regfile/ExRegistry.h"

namespace brindel::regfile {

using namespace registry::store;

namespace {

// Type 188 has no name of its own; it is written like REG_NONE with its own tag.
constexpr std::uint32_t kRegType188 = 188;

constexpr std::string_view kHeaderLine = "REGEDIT4\r\n";
constexpr std::string_view kLineBreak = "\r\n";

// A byte list line is continued once it reaches this many characters: it ends in a
// backslash, and the next one begins with two spaces.
constexpr std::size_t kWrapColumn = 77;
constexpr std::string_view kContinuation = "\\\r\n  ";
constexpr std::size_t kContinuationColumn = 2;

// The bytes of the text go to the sink in pieces of this size. A buffer that stays
// in the processor's cache while the system copies it into the file is written more
// than twice as fast as one of a MiB.
constexpr std::size_t kBufferSize = std::size_t{1} << 18;
// Text is converted in pieces of at most this many code units, so that the bytes of
// one piece always fit into the buffer.
constexpr std::size_t kTextPiece = std::size_t{1} << 14;
static_assert(kTextPiece * platform::TAnsiEncoder::kMaxBytesPerUnit <= kBufferSize);

// Each byte of a byte list as two lower-case hexadecimal digits and the comma that
// follows all but the last byte, four bytes wide so that one copy writes them.
constexpr std::array<std::array<char, 4>, 256> kHexPairs = [] {
  constexpr char kDigits[] = "0123456789abcdef";
  std::array<std::array<char, 4>, 256> pairs{};
  for (std::size_t byte = 0; byte < pairs.size(); ++byte)
    pairs[byte] = {kDigits[byte >> 4], kDigits[byte & 0x0F], ',', '\0'};
  return pairs;
}();

// The tag of a type written as a byte list: "hex(%x):" with the type number in
// lower-case hexadecimal, the short "hex:" for REG_BINARY.
std::string TagOf(std::uint32_t type) {
  if (type == REG_BINARY)
    return "hex:";
  constexpr char kDigits[] = "0123456789abcdef";
  std::string digits;
  do {
    digits.insert(digits.begin(), kDigits[type & 0x0F]);
    type >>= 4;
  } while (type != 0);
  return "hex(" + digits + "):";
}

// Text of ASCII characters in UTF-16LE, as a Version 5.00 text holds it.
std::string WidenedAscii(std::string_view text) {
  std::string bytes;
  bytes.reserve(2 * text.size());
  for (const char ch : text) {
    bytes += ch;
    bytes += '\0';
  }
  return bytes;
}

// Ends an export from inside the walk, which drops the platform's errors of a single
// value: a sink that refuses bytes or a text the code page cannot take must end it.
class TExportAborted : public std::exception {
 public:
  const char* what() const noexcept override { return "export aborted"; }
};

// Ends a REGEDIT4 export that met what only Version 5.00 holds, so that it can begin
// again; no platform error either, so that the walk does not drop it.
class TNeedsVersion5 : public std::exception {
 public:
  const char* what() const noexcept override { return "needs Version 5.00"; }
};

bool IsHighSurrogate(char16_t unit) {
  return unit >= 0xD800 && unit <= 0xDBFF;
}

std::size_t CodeUnits(std::int32_t DataLen) {
  return DataLen > 0 ? static_cast<std::size_t>(DataLen) / 2 : 0;
}

std::span<const std::uint8_t> DataBytes(const std::uint8_t* data, std::int32_t DataLen) {
  return {data, DataLen > 0 ? static_cast<std::size_t>(DataLen) : 0};
}

char16_t CodeUnitAt(const std::uint8_t* data, std::size_t index) {
  return static_cast<char16_t>(data[2 * index] | (data[2 * index + 1] << 8));
}

// Index of the first NUL code unit, or the number of units when there is none.
std::size_t FirstNul(const std::uint8_t* data, std::size_t units) {
  for (std::size_t i = 0; i < units; ++i) {
    if (CodeUnitAt(data, i) == 0)
      return i;
  }
  return units;
}

// REG_SZ: the data as UTF-16 code units up to the first NUL, in text.
std::u16string_view StringText(const std::uint8_t* data, std::int32_t DataLen,
                               std::u16string& text) {
  const std::size_t units = CodeUnits(DataLen);
  const std::size_t end = FirstNul(data, units);
  text.resize(end);
  for (std::size_t i = 0; i < end; ++i)
    text[i] = CodeUnitAt(data, i);
  return text;
}

// A CR or an LF that is not part of a CR LF pair: no REGEDIT4 line holds one.
bool HasLoneLineBreak(std::u16string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') {
      ++i;
      continue;
    }
    if (text[i] == u'\r' || text[i] == u'\n')
      return true;
  }
  return false;
}

// REG_EXPAND_SZ and REG_MULTI_SZ in REGEDIT4: the low byte of every code unit, the
// NULs between, after and within the strings included, as the import widens each
// byte back to a code unit. False when that would lose something: an odd last byte,
// or a code unit above 255.
bool LowBytes(const std::uint8_t* data, std::int32_t DataLen, std::vector<std::uint8_t>& bytes) {
  if (DataLen > 0 && DataLen % 2 != 0)
    return false;
  const std::size_t units = CodeUnits(DataLen);
  bytes.resize(units);
  for (std::size_t i = 0; i < units; ++i) {
    if (data[2 * i + 1] != 0)
      return false;
    bytes[i] = data[2 * i];
  }
  return true;
}

// Exact comparison, as bytes: every value of a key comes with the key's path, which is
// long, and a comparison unit by unit costs more than the rest of a short value line.
bool SameCodeUnits(std::u16string_view a, std::u16string_view b) {
  return a.size() == b.size() &&
         (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(char16_t)) == 0);
}

bool NeedsEscape(char16_t unit) {
  return unit == u'\\' || unit == u'"';
}

// "@=", or the value name in quotation marks with its escapes, and "=": its length in
// code units, as the wrapping of byte lists counts it.
std::size_t PrefixLength(std::u16string_view valueName) {
  if (valueName.empty())
    return 2;
  return valueName.size() + 3 +
         static_cast<std::size_t>(std::count_if(valueName.begin(), valueName.end(), NeedsEscape));
}

}  // namespace

class TExRegistry::TRegTextWriter {
 public:
  TRegTextWriter(TExportSink sink, RegTextFormat format)
      : sink_(std::move(sink)),
        encoder_(platform::TAnsiEncoder::System()),
        wide_(format == RegTextFormat::Version5) {
    Reset();
  }
  // Into a file: each full buffer is handed over whole, not copied.
  TRegTextWriter(platform::TFileSink& file, RegTextFormat format)
      : file_(&file),
        encoder_(platform::TAnsiEncoder::System()),
        wide_(format == RegTextFormat::Version5) {
    Reset();
  }

  RegTextFormat Format() const { return wide_ ? RegTextFormat::Version5 : RegTextFormat::Regedit4; }
  // Whether the text's encoding gives these code units back as they are: UTF-16 all
  // of them, the ANSI code page those it has.
  bool Holds(std::u16string_view text) const { return wide_ || encoder_.Holds(text); }

  // Hands the buffered bytes to the sink.
  void Flush() {
    buffer_.size = static_cast<std::size_t>(pos_ - buffer_.bytes.get());
    if (buffer_.size == 0)
      return;
    bool kept = false;
    try {
      kept = file_ != nullptr ? file_->Take(buffer_) : sink_(buffer_.View());
    } catch (...) {
      kept = false;
    }
    Reset();
    if (!kept)
      throw TExportAborted();
  }

  // Bytes as they are: the header of the text.
  void Raw(std::string_view bytes) {
    while (!bytes.empty()) {
      const std::size_t piece = std::min(bytes.size(), kBufferSize);
      char* out = Room(piece);
      pos_ = std::copy(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(piece), out);
      bytes.remove_prefix(piece);
    }
  }

  // Text that is ASCII already and short: literals, digits.
  void Ascii(std::string_view text) {
    if (!wide_) {
      char* out = Room(text.size());
      pos_ = std::copy(text.begin(), text.end(), out);
      return;
    }
    char* out = Room(2 * text.size());
    for (const char ch : text) {
      *out++ = ch;
      *out++ = '\0';
    }
    pos_ = out;
  }

  // Text converted to the code page, or to UTF-16LE, as it is.
  void Text(std::u16string_view text) {
    while (!text.empty()) {
      std::size_t piece = std::min(text.size(), kTextPiece);
      // A surrogate pair is one character and stays in one piece.
      if (piece < text.size() && IsHighSurrogate(text[piece - 1]))
        --piece;
      char* out = Room(piece * platform::TAnsiEncoder::kMaxBytesPerUnit);
      if (wide_) {
        for (const char16_t unit : text.substr(0, piece)) {
          *out++ = static_cast<char>(unit & 0xFF);
          *out++ = static_cast<char>(unit >> 8);
        }
      } else {
        out = encoder_.Encode(text.substr(0, piece), out);
        if (out == nullptr)
          throw TExportAborted();
      }
      pos_ = out;
      text.remove_prefix(piece);
    }
  }

  // Text with a backslash before every backslash and quotation mark, and every CR
  // and LF written as \r and \n. A text of REGEDIT4 holds line breaks in CR LF pairs
  // only, which its reader takes back from the four characters \r\n.
  void EscapedText(std::u16string_view text) {
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
      std::string_view escape;
      switch (text[i]) {
        case u'\\':
          escape = "\\\\";
          break;
        case u'"':
          escape = "\\\"";
          break;
        case u'\r':
          escape = "\\r";
          break;
        case u'\n':
          escape = "\\n";
          break;
        default:
          continue;
      }
      Text(text.substr(start, i - start));
      Ascii(escape);
      start = i + 1;
    }
    Text(text.substr(start));
  }

  // The bytes as two hexadecimal digits each, with a comma after every byte but the
  // last. column is the length of the line so far; a line that reaches kWrapColumn
  // after a byte's comma is continued on the next, and so is a line that reached it
  // before the last byte. A continued line takes 25 bytes.
  void ByteList(std::size_t column, std::span<const std::uint8_t> bytes) {
    if (bytes.empty())
      return;
    if (wide_)
      return WideByteList(column, bytes);
    const std::size_t last = bytes.size() - 1;
    std::size_t i = 0;
    while (i < last) {
      // The bytes up to and including the one whose comma reaches the wrap column.
      const std::size_t untilWrap = column >= kWrapColumn ? 1 : (kWrapColumn - column + 2) / 3;
      const std::size_t count = std::min(untilWrap, last - i);
      // One byte more than the digits and commas: each copy writes four.
      char* out = Room(3 * count + 1 + kContinuation.size());
      const std::uint8_t* in = bytes.data() + i;
      const std::uint8_t* const stop = in + count;
      for (; stop - in >= 4; in += 4, out += 12) {
        std::memcpy(out, kHexPairs[in[0]].data(), 4);
        std::memcpy(out + 3, kHexPairs[in[1]].data(), 4);
        std::memcpy(out + 6, kHexPairs[in[2]].data(), 4);
        std::memcpy(out + 9, kHexPairs[in[3]].data(), 4);
      }
      for (; in != stop; ++in, out += 3)
        std::memcpy(out, kHexPairs[*in].data(), 4);
      pos_ = out;
      i += count;
      column += 3 * count;
      if (column >= kWrapColumn) {
        Ascii(kContinuation);
        column = kContinuationColumn;
      }
    }
    if (column >= kWrapColumn)
      Ascii(kContinuation);
    char* out = Room(2);
    out[0] = kHexPairs[bytes[last]][0];
    out[1] = kHexPairs[bytes[last]][1];
    pos_ = out + 2;
  }

  // "dword:" and the number as 8 lower-case hexadecimal digits.
  void Dword(std::uint32_t number) {
    char digits[14] = {'d', 'w', 'o', 'r', 'd', ':'};
    for (int i = 0; i < 4; ++i) {
      const auto byte = static_cast<std::uint8_t>(number >> (24 - 8 * i));
      digits[6 + 2 * i] = kHexPairs[byte][0];
      digits[7 + 2 * i] = kHexPairs[byte][1];
    }
    Ascii(std::string_view(digits, sizeof digits));
  }

  // Scratch space for the value writer, kept for the whole export.
  std::u16string& TextScratch() { return text_; }
  std::vector<std::uint8_t>& ByteScratch() { return bytes_; }

 private:
  // The byte list of ByteList, a line at a time through Ascii: Version 5.00 texts
  // are rare enough not to need the fast path.
  void WideByteList(std::size_t column, std::span<const std::uint8_t> bytes) {
    std::string line;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
      const bool last = i + 1 == bytes.size();
      if (last && column >= kWrapColumn) {
        line += kContinuation;
        column = kContinuationColumn;
      }
      line.append(kHexPairs[bytes[i]].data(), last ? 2 : 3);
      column += last ? 2 : 3;
      if (!last && column >= kWrapColumn) {
        line += kContinuation;
        column = kContinuationColumn;
        Ascii(line);
        line.clear();
      }
    }
    Ascii(line);
  }

  // Where `size` bytes can be written; size is at most kBufferSize.
  char* Room(std::size_t size) {
    if (static_cast<std::size_t>(end_ - pos_) < size)
      Flush();
    return pos_;
  }

  // An empty buffer: the one the file gave back, unless it is too small.
  void Reset() {
    if (buffer_.capacity < kBufferSize)
      buffer_ = platform::TPiece::WithRoom(kBufferSize);
    buffer_.size = 0;
    pos_ = buffer_.bytes.get();
    end_ = pos_ + kBufferSize;
  }

  TExportSink sink_;
  platform::TFileSink* file_ = nullptr;
  const platform::TAnsiEncoder& encoder_;
  bool wide_ = false;
  platform::TPiece buffer_;
  char* pos_ = nullptr;
  char* end_ = nullptr;
  std::u16string text_;
  std::vector<std::uint8_t> bytes_;
};

namespace {

// Writes the bytes straight into the file, for what cannot be replaced.
bool WriteDirectly(const std::filesystem::path& file,
                   const std::function<bool(platform::TFileSink& sink)>& write) {
  class StreamSink : public platform::TFileSink {
   public:
    explicit StreamSink(std::ofstream& out) : out_(out) {}
    bool Write(std::string_view bytes) override {
      out_.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
      return static_cast<bool>(out_);
    }
    bool Take(platform::TPiece& piece) override {
      const bool written = Write(piece.View());
      piece.size = 0;
      return written;
    }

   private:
    std::ofstream& out_;
  };
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  if (!out)
    return false;
  StreamSink sink(out);
  const bool written = write(sink);
  out.close();
  return written && static_cast<bool>(out);
}

// A device or a pipe (/dev/stdout in a script) holds nothing to keep and must not be
// replaced by a file: it takes the bytes as they come. A folder refuses them.
bool TakesBytesDirectly(const std::filesystem::path& target) {
  std::error_code error;
  const auto status = std::filesystem::status(target, error);
  return std::filesystem::exists(status) && !std::filesystem::is_regular_file(status);
}

}  // namespace

bool RegTextHoldsKeyName(std::u16string_view name) {
  return name.find_first_of(std::u16string_view(u"\r\n\0\\", 4)) == std::u16string_view::npos;
}

bool RegTextHoldsValueName(std::u16string_view name) {
  return name.find(u'\0') == std::u16string_view::npos;
}

std::u16string VisibleName(std::u16string_view name) {
  std::u16string out;
  for (const char16_t unit : name) {
    switch (unit) {
      case u'\r':
        out += u"\\r";
        break;
      case u'\n':
        out += u"\\n";
        break;
      case u'\0':
        out += u"\\0";
        break;
      default:
        out += unit;
    }
  }
  return out;
}

std::string_view RegTextHeaderBytes(RegTextFormat format) {
  static const std::string version5 =
      "\xFF\xFE" + WidenedAscii(platform::ToUtf8(kVersion5Header) + "\r\n");
  return format == RegTextFormat::Version5 ? std::string_view(version5) : kHeaderLine;
}

std::string_view RegTextFinalLine(RegTextFormat format) {
  static const std::string version5 = WidenedAscii(kLineBreak);
  return format == RegTextFormat::Version5 ? std::string_view(version5) : kLineBreak;
}

bool WritesDirectly(std::u16string_view fileName) {
  try {
    return !fileName.empty() && TakesBytesDirectly(std::filesystem::path{std::u16string(fileName)});
  } catch (...) {
    return false;
  }
}

bool WriteFileBeside(std::u16string_view fileName,
                     const std::function<bool(platform::TFileSink& sink)>& write) {
  // Without a name the file beside it would be a hidden file in the working folder.
  if (fileName.empty())
    return false;
  try {
    std::filesystem::path target{std::u16string(fileName)};
    // Below a mounted Windows the file is where that Windows has it: platform/ finds
    // it within the root, and a link in its place is replaced, never followed out.
    if (platform::BelowWindowsRoot(platform::ToUtf8(fileName))) {
      return platform::WriteFileReplacing(platform::ToUtf8(fileName), platform::TReplace::Cached,
                                          write);
    }
    std::error_code error;
    if (TakesBytesDirectly(target))
      return WriteDirectly(target, write);
    // A link stays a link: the file it names is the one replaced.
    if (std::filesystem::is_symlink(std::filesystem::symlink_status(target, error))) {
      auto named = std::filesystem::canonical(target, error);
      if (!error)
        target = std::move(named);
    }
    return platform::WriteFileReplacing(platform::ToUtf8(target.u16string()),
                                        platform::TReplace::Cached, write);
  } catch (...) {
    return false;
  }
}

bool TExRegistry::ExportKey(std::u16string_view fileName) {
  std::unique_ptr<TMemoryStream> unused;
  return ExportKey(fileName, false, unused);
}

bool TExRegistry::ExportKey(std::u16string_view fileName, bool InStream,
                            std::unique_ptr<TMemoryStream>& ExportStream) {
  if (InStream) {
    fExportNeedsVersion5 = false;
    try {
      for (const RegTextFormat format : {RegTextFormat::Regedit4, RegTextFormat::Version5}) {
        auto stream = std::make_unique<TMemoryStream>();
        TMemoryStream& text = *stream;
        TRegTextWriter writer(
            [&text](std::string_view bytes) {
              text.Write(bytes);
              return true;
            },
            format);
        writer.Raw(RegTextHeaderBytes(format));
        try {
          WalkExport(writer);
        } catch (const TNeedsVersion5&) {
          fExportNeedsVersion5 = true;
          continue;
        }
        // The stream is handed over once the tree has been read, before the last bytes.
        ExportStream = std::move(stream);
        writer.Raw(RegTextFinalLine(format));
        writer.Flush();
        return true;
      }
    } catch (...) {
    }
    return false;
  }
  if (fileName.empty())
    return false;
  // A device or a pipe cannot be begun again: the format is found out first, by an
  // export that keeps no bytes.
  if (WritesDirectly(fileName)) {
    const RegTextFormat format =
        !ExportKeyLines([](std::string_view) { return true; }) && fExportNeedsVersion5
            ? RegTextFormat::Version5
            : RegTextFormat::Regedit4;
    return WriteFileBeside(fileName, [this, format](platform::TFileSink& sink) {
      return ExportKeyText(sink, format);
    });
  }
  return ExportKeyFile(
      [fileName](const TExportText& text) { return WriteFileBeside(fileName, text); });
}

bool TExRegistry::ExportKeyFile(const TExportFile& file) {
  fExportNeedsVersion5 = false;
  const bool written = file(
      [this](platform::TFileSink& sink) { return ExportKeyText(sink, RegTextFormat::Regedit4); });
  if (written || !fExportNeedsVersion5)
    return written;
  return file(
      [this](platform::TFileSink& sink) { return ExportKeyText(sink, RegTextFormat::Version5); });
}

bool TExRegistry::ExportKeyText(platform::TFileSink& sink, RegTextFormat format) {
  fExportNeedsVersion5 = false;
  try {
    TRegTextWriter writer(sink, format);
    writer.Raw(RegTextHeaderBytes(format));
    WalkExport(writer);
    writer.Raw(RegTextFinalLine(format));
    writer.Flush();
    return true;
  } catch (const TNeedsVersion5&) {
    fExportNeedsVersion5 = true;
    return false;
  } catch (...) {
    // The caller learns of a failure by the result alone.
    return false;
  }
}

bool TExRegistry::ExportKeyLines(const TExportSink& sink, RegTextFormat format) {
  fExportNeedsVersion5 = false;
  try {
    TRegTextWriter writer(sink, format);
    WalkExport(writer);
    writer.Flush();
    return true;
  } catch (const TNeedsVersion5&) {
    fExportNeedsVersion5 = true;
    return false;
  } catch (...) {
    return false;
  }
}

class TExRegistry::TExportVisitor final : public TWalkVisitor {
 public:
  explicit TExportVisitor(TExRegistry& reg) : fReg(reg) {}
  // The export sees a name whole, NULs included, so that it writes no value under a
  // shorter name than its own.
  void Value(std::u16string_view keyPath, std::u16string_view name, std::uint32_t dataType,
             const std::uint8_t* data, std::int32_t DataLen) override {
    fReg.ExportValue(keyPath, name, dataType, data, DataLen, false);
  }
  void KeyWithoutValues(std::u16string_view keyPath) override {
    fReg.ExportValue(keyPath, std::u16string_view(), REG_NONE, nullptr, 0, true);
  }
  // A key line has no way of writing some characters: such a key is not written under
  // another name, it is left out and said so.
  bool EntersKey(std::u16string_view keyPath, std::u16string_view name) override {
    if (RegTextHoldsKeyName(name))
      return true;
    fReg.LeaveOut(TLeftOut::KeyName, keyPath, name);
    return false;
  }
  void UnreadableKey(std::u16string_view keyPath) override {
    fReg.LeaveOut(TLeftOut::UnreadableKey, keyPath, {});
  }
  void UnreadableValue(std::u16string_view keyPath, std::u16string_view name) override {
    fReg.LeaveOut(TLeftOut::UnreadableValue, keyPath, name);
  }

 private:
  TExRegistry& fReg;
};

void TExRegistry::WalkExport(TRegTextWriter& writer) {
  // The writer belongs to this export only, however the walk ends.
  struct WriterScope {
    TExRegistry& reg;
    ~WriterScope() { reg.fExportWriter = nullptr; }
  } scope{*this};
  fExportWriter = &writer;
  fExportLeftOut.clear();
  // No key path is a lone carriage return, so the first key always gets its line.
  fLastExportKey = u"\r";
  TExportVisitor visitor(*this);
  WalkState state{&visitor, true, {}, CurrentPath()};
  state.value.data.reserve(64 * 1024);
  VisitKey(state, RootKey(), CurrentPath());
}

void TExRegistry::LeaveOut(TLeftOut why, std::u16string_view keyPath, std::u16string_view name) {
  std::u16string key(RootKeyName(fLocalRoot != 0 ? fLocalRoot : RootKey()));
  if (!keyPath.empty())
    key += u"\\" + std::u16string(keyPath);
  const std::u16string quotedKey = platform::InGermanQuotes(VisibleName(key));
  switch (why) {
    case TLeftOut::UnreadableKey:
      fExportLeftOut.push_back(u"Der Schlüssel " + quotedKey +
                               u" lässt sich nicht lesen; er fehlt mit allem darunter.");
      return;
    case TLeftOut::UnreadableValue:
      fExportLeftOut.push_back(
          name.empty()
              ? u"Ein Wert des Schlüssels " + quotedKey + u" lässt sich nicht lesen und fehlt."
              : u"Der Wert " + platform::InGermanQuotes(VisibleName(name)) + u" des Schlüssels " +
                    quotedKey + u" lässt sich nicht lesen und fehlt.");
      return;
    case TLeftOut::KeyName:
      fExportLeftOut.push_back(
          u"Der Schlüssel " + quotedKey +
          u" fehlt mit allem darunter: eine .reg-Datei kann keinen Schlüsselnamen mit "
          u"Zeilenumbruch, NUL-Zeichen oder „\\“ halten.");
      return;
    case TLeftOut::ValueName:
      fExportLeftOut.push_back(u"Der Wert " + platform::InGermanQuotes(VisibleName(name)) +
                               u" des Schlüssels " + quotedKey +
                               u" fehlt: eine .reg-Datei kann keinen Wertnamen mit "
                               u"NUL-Zeichen halten.");
      return;
  }
}

void TExRegistry::ExportValue(std::u16string_view keyName, std::u16string_view valueName,
                              std::uint32_t dataType, const std::uint8_t* data,
                              std::int32_t DataLen, bool keyOnly) {
  TRegTextWriter& out = *fExportWriter;
  const bool regedit4 = out.Format() == RegTextFormat::Regedit4;
  if (!SameCodeUnits(keyName, fLastExportKey)) {
    if (!out.Holds(keyName))
      throw TNeedsVersion5();
    // An empty line, then the key line; key names are written as they are.
    out.Ascii("\r\n[");
    out.Text(RootKeyName(fLocalRoot != 0 ? fLocalRoot : RootKey()));
    if (!keyName.empty()) {
      out.Ascii("\\");
      out.Text(keyName);
    }
    out.Ascii("]\r\n");
    fLastExportKey.assign(keyName);
  }
  if (keyOnly)
    return;

  // A name is never written shorter than it is.
  if (!RegTextHoldsValueName(valueName)) {
    LeaveOut(TLeftOut::ValueName, keyName, valueName);
    return;
  }
  // REGEDIT4 holds a line break of a name only as a CR LF pair.
  if (regedit4 && (!out.Holds(valueName) || HasLoneLineBreak(valueName)))
    throw TNeedsVersion5();

  // Every line form begins with this.
  const auto prefix = [&] {
    if (valueName.empty()) {
      out.Ascii("@=");
    } else {
      out.Ascii("\"");
      out.EscapedText(valueName);
      out.Ascii("\"=");
    }
  };

  std::span<const std::uint8_t> bytes = DataBytes(data, DataLen);
  switch (dataType) {
    case REG_SZ: {
      // Text in quotation marks holds the string up to its first NUL; only when that
      // NUL ends the data (or there is none) and the text's characters come back as
      // they are, the string is all the value holds.
      const std::size_t units = CodeUnits(DataLen);
      const std::u16string_view text = StringText(data, DataLen, out.TextScratch());
      if (DataLen % 2 == 0 && text.size() + 1 >= units && !HasLoneLineBreak(text) &&
          out.Holds(text)) {
        prefix();
        out.Ascii("\"");
        out.EscapedText(text);
        out.Ascii("\"\r\n");
        return;
      }
      break;
    }
    case REG_DWORD:
      if (DataLen == 4) {
        prefix();
        out.Dword(data[0] | (data[1] << 8) | (data[2] << 16) |
                  (static_cast<std::uint32_t>(data[3]) << 24));
        out.Ascii(kLineBreak);
        return;
      }
      // Not four bytes: the bytes as they are, which read back unchanged.
      break;
    case REG_EXPAND_SZ:
    case REG_MULTI_SZ:
      // REGEDIT4 holds these texts one byte per character; Version 5.00 as they are.
      if (regedit4) {
        if (!LowBytes(data, DataLen, out.ByteScratch()))
          throw TNeedsVersion5();
        bytes = out.ByteScratch();
      }
      break;
    default:
      break;
  }

  // A byte list. Whether its line is continued follows from the lengths alone: the
  // line grows by three characters per byte but the last, and REG_NONE without bytes
  // continues a line that is already long enough, leaving only its backslash.
  const std::string tag = TagOf(dataType);
  const std::size_t column = PrefixLength(valueName) + tag.size();
  const bool noneRule = dataType == REG_NONE || dataType == kRegType188;
  const bool continued = bytes.empty() ? noneRule && column >= kWrapColumn
                                       : column + 3 * (bytes.size() - 1) >= kWrapColumn;
  prefix();
  out.Ascii(tag);
  if (bytes.empty() && continued)
    out.Ascii("\\");
  out.ByteList(column, bytes);
  out.Ascii(kLineBreak);
}

}  // namespace brindel::regfile
