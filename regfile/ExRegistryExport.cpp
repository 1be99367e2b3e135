// The export of a key tree as REGEDIT4 text. Other tools read these files, so every
// byte is fixed: the key lines, the escaping, one line form per value type, the
// wrapping of byte lists and the ANSI code page of the file.
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

// The tags of the types written as byte lists, "hex(%x):" with the type number in
// lower-case hexadecimal; REG_BINARY has the short one.
struct TypeTag {
  std::uint32_t type;
  std::string_view tag;
};
constexpr TypeTag kTypeTags[] = {
    {REG_NONE, "hex(0):"},     {REG_EXPAND_SZ, "hex(2):"}, {REG_BINARY, "hex:"},
    {REG_DWORD, "hex(4):"},    {REG_MULTI_SZ, "hex(7):"},  {REG_QWORD, "hex(b):"},
    {kRegType188, "hex(bc):"},
};

std::string_view TagOf(std::uint32_t type) {
  for (const TypeTag& entry : kTypeTags) {
    if (entry.type == type)
      return entry.tag;
  }
  return {};
}

// Ends an export from inside the walk, which drops the platform's errors of a single
// value: a sink that refuses bytes or a text the code page cannot take must end it.
class TExportAborted : public std::exception {
 public:
  const char* what() const noexcept override { return "export aborted"; }
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

// REG_EXPAND_SZ keeps the low byte of each code unit of the text, its NUL included.
std::span<const std::uint8_t> ExpandStringBytes(const std::uint8_t* data, std::int32_t DataLen,
                                                std::vector<std::uint8_t>& bytes) {
  const std::size_t units = CodeUnits(DataLen);
  const std::size_t end = std::min(units, FirstNul(data, units) + 1);
  bytes.resize(end);
  for (std::size_t i = 0; i < end; ++i)
    bytes[i] = data[2 * i];
  return bytes;
}

// REG_MULTI_SZ keeps the low bytes of DataLen / 2 code units, rounded half to even:
// the NULs between and after the strings are among them.
std::span<const std::uint8_t> MultiStringBytes(const std::uint8_t* data, std::int32_t DataLen,
                                               std::vector<std::uint8_t>& bytes) {
  std::size_t units = CodeUnits(DataLen);
  if (DataLen > 0 && DataLen % 2 != 0 && units % 2 != 0)
    ++units;
  bytes.resize(units);
  // A rounded-up last unit is half there: its low byte is the last data byte.
  for (std::size_t i = 0; i < units; ++i)
    bytes[i] = data[2 * i];
  return bytes;
}

// REG_NONE and type 188 keep the UTF-16 bytes of the code units up to and including
// the first NUL. Data without a NUL are kept whole, an odd last byte included, so
// that nothing is lost.
std::span<const std::uint8_t> NoneBytes(const std::uint8_t* data, std::int32_t DataLen) {
  const std::size_t units = CodeUnits(DataLen);
  const std::size_t nul = FirstNul(data, units);
  const std::size_t size = nul < units ? 2 * (nul + 1) : static_cast<std::size_t>(DataLen);
  return {data, size};
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
  explicit TRegTextWriter(TExportSink sink)
      : sink_(std::move(sink)), encoder_(platform::TAnsiEncoder::System()) {
    Reset();
  }
  // Into a file: each full buffer is handed over whole, not copied.
  explicit TRegTextWriter(platform::TFileSink& file)
      : file_(&file), encoder_(platform::TAnsiEncoder::System()) {
    Reset();
  }

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

  // Text that is ASCII already and short: literals, digits.
  void Ascii(std::string_view text) {
    char* out = Room(text.size());
    pos_ = std::copy(text.begin(), text.end(), out);
  }

  // Text converted to the code page as it is.
  void Text(std::u16string_view text) {
    while (!text.empty()) {
      std::size_t piece = std::min(text.size(), kTextPiece);
      // A surrogate pair is one character and stays in one piece.
      if (piece < text.size() && IsHighSurrogate(text[piece - 1]))
        --piece;
      char* out = Room(piece * platform::TAnsiEncoder::kMaxBytesPerUnit);
      out = encoder_.Encode(text.substr(0, piece), out);
      if (out == nullptr)
        throw TExportAborted();
      pos_ = out;
      text.remove_prefix(piece);
    }
  }

  // Text with a backslash before every backslash and quotation mark; with crLf also
  // every CR LF pair written as the four characters \r\n.
  void EscapedText(std::u16string_view text, bool crLf) {
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
      const char16_t unit = text[i];
      if (NeedsEscape(unit)) {
        Text(text.substr(start, i - start));
        Ascii(unit == u'\\' ? "\\\\" : "\\\"");
        start = i + 1;
      } else if (crLf && unit == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') {
        Text(text.substr(start, i - start));
        Ascii("\\r\\n");
        start = i + 2;
        ++i;
      }
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

}  // namespace

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
    // A device or a pipe (/dev/stdout in a script) holds nothing to keep and must not
    // be replaced by a file: it takes the bytes as they come. A folder refuses them.
    const auto status = std::filesystem::status(target, error);
    if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status))
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
  if (!InStream) {
    return WriteFileBeside(fileName,
                           [this](platform::TFileSink& sink) { return ExportKeyText(sink); });
  }
  try {
    auto stream = std::make_unique<TMemoryStream>();
    TMemoryStream& text = *stream;
    TRegTextWriter writer([&text](std::string_view bytes) {
      text.Write(bytes);
      return true;
    });
    writer.Ascii(kHeaderLine);
    WalkExport(writer);
    // The stream is handed over once the tree has been read, before the last bytes.
    ExportStream = std::move(stream);
    writer.Ascii(kLineBreak);
    writer.Flush();
    return true;
  } catch (...) {
    return false;
  }
}

bool TExRegistry::ExportKeyText(platform::TFileSink& sink) {
  try {
    TRegTextWriter writer(sink);
    writer.Ascii(kHeaderLine);
    WalkExport(writer);
    writer.Ascii(kLineBreak);
    writer.Flush();
    return true;
  } catch (...) {
    // The caller learns of a failure by the result alone.
    return false;
  }
}

bool TExRegistry::ExportKeyLines(const TExportSink& sink) {
  try {
    TRegTextWriter writer(sink);
    WalkExport(writer);
    writer.Flush();
    return true;
  } catch (...) {
    return false;
  }
}

void TExRegistry::WalkExport(TRegTextWriter& writer) {
  // The writer belongs to this export only, however the walk ends.
  struct WriterScope {
    TExRegistry& reg;
    ~WriterScope() { reg.fExportWriter = nullptr; }
  } scope{*this};
  fExportWriter = &writer;
  // No key path is a lone carriage return, so the first key always gets its line.
  fLastExportKey = u"\r";
  Walk([this](std::u16string_view keyName, std::u16string_view valueName, std::uint32_t dataType,
              const std::uint8_t* data,
              std::int32_t DataLen) { ExportValue(keyName, valueName, dataType, data, DataLen); },
       true);
}

void TExRegistry::ExportValue(std::u16string_view keyName, std::u16string_view valueName,
                              std::uint32_t dataType, const std::uint8_t* data,
                              std::int32_t DataLen) {
  TRegTextWriter& out = *fExportWriter;
  if (!SameCodeUnits(keyName, fLastExportKey)) {
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

  // Every line form begins with this; CR LF pairs in the value name become \r\n
  // only on a line that is not continued.
  const auto prefix = [&](bool crLf) {
    if (valueName.empty()) {
      out.Ascii("@=");
    } else {
      out.Ascii("\"");
      out.EscapedText(valueName, crLf);
      out.Ascii("\"=");
    }
  };

  std::span<const std::uint8_t> bytes;
  switch (dataType) {
    case REG_SZ:
      prefix(true);
      out.Ascii("\"");
      out.EscapedText(StringText(data, DataLen, out.TextScratch()), true);
      out.Ascii("\"\r\n");
      return;
    case REG_DWORD:
      if (DataLen >= 4) {
        prefix(true);
        out.Dword(data[0] | (data[1] << 8) | (data[2] << 16) |
                  (static_cast<std::uint32_t>(data[3]) << 24));
        out.Ascii(kLineBreak);
        return;
      }
      // Too short for a number: the bytes as they are, which reads back unchanged.
      bytes = DataBytes(data, DataLen);
      break;
    case REG_BINARY:
    case REG_QWORD:
      bytes = DataBytes(data, DataLen);
      break;
    case REG_EXPAND_SZ:
      bytes = ExpandStringBytes(data, DataLen, out.ByteScratch());
      break;
    case REG_MULTI_SZ:
      bytes = MultiStringBytes(data, DataLen, out.ByteScratch());
      break;
    case REG_NONE:
    case kRegType188:
      if (DataLen > 0)
        bytes = NoneBytes(data, DataLen);
      else if (valueName.empty())
        return;  // a default value without data has no line
      break;
    default:
      // The walk drops this error: the value is left out, its key line stays.
      throw platform::ERegistryException(u"Registry key " + std::u16string(keyName) + u" -> " +
                                         std::u16string(valueName) + u"=" +
                                         platform::Decimal(dataType) + u": unknown datatype");
  }

  // A byte list. Whether its line is continued follows from the lengths alone: the
  // line grows by three characters per byte but the last, and REG_NONE without bytes
  // continues a line that is already long enough, leaving only its backslash.
  const std::string_view tag = TagOf(dataType);
  const std::size_t column = PrefixLength(valueName) + tag.size();
  const bool noneRule = dataType == REG_NONE || dataType == kRegType188;
  const bool continued = bytes.empty() ? noneRule && column >= kWrapColumn
                                       : column + 3 * (bytes.size() - 1) >= kWrapColumn;
  prefix(!continued);
  out.Ascii(tag);
  if (bytes.empty() && continued)
    out.Ascii("\\");
  out.ByteList(column, bytes);
  out.Ascii(kLineBreak);
}

}  // namespace brindel::regfile
