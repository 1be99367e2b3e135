// The export of a key tree as REGEDIT4 text. Other tools read these files, so every
// byte is fixed: the key lines, the escaping, one line form per value type, the
// wrapping of byte lists and the ANSI code page of the file.

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/AnsiCodePage.h"
#include "platform/Errors.h"
#include "platform/Text.h"
#include "regfile/ExRegistry.h"

namespace brindel::regfile {

using namespace registry::store;

namespace {

// Type 188 has no name of its own; it is written like REG_NONE with its own tag.
constexpr std::uint32_t kRegType188 = 188;

// A byte list line is continued once it reaches this many characters.
constexpr std::size_t kWrapColumn = 77;
constexpr std::u16string_view kContinuationIndent = u"  ";

constexpr char16_t kHexDigits[] = u"0123456789abcdef";

// Lines are converted to the code page in blocks of about this many characters.
constexpr std::size_t kConversionBlock = 1 << 20;

std::size_t CodeUnits(std::int32_t DataLen) {
  return DataLen > 0 ? DataLen / 2 : 0;
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

// A backslash before every backslash and quotation mark; nothing else changes.
void AppendEscaped(std::u16string& line, std::u16string_view text) {
  for (char16_t c : text) {
    if (c == u'\\' || c == u'"')
      line += u'\\';
    line += c;
  }
}

void AppendHexByte(std::u16string& line, std::uint8_t byte) {
  line += kHexDigits[byte >> 4];
  line += kHexDigits[byte & 0x0F];
}

// "hex(%x):" with the type number in lower-case hexadecimal.
std::u16string TypeTag(std::uint32_t type) {
  std::u16string digits;
  do {
    digits.insert(digits.begin(), kHexDigits[type & 0x0F]);
    type >>= 4;
  } while (type != 0);
  return u"hex(" + digits + u"):";
}

// Every CR LF pair of the line becomes the four characters \r\n; a lone CR or LF stays.
void EscapeLineBreaks(std::u16string& line) {
  if (line.find(u"\r\n") == std::u16string::npos)
    return;
  std::u16string out;
  out.reserve(line.size() + 8);
  for (std::size_t i = 0; i < line.size(); ++i) {
    if (line[i] == u'\r' && i + 1 < line.size() && line[i + 1] == u'\n') {
      out += u"\\r\\n";
      ++i;
    } else {
      out += line[i];
    }
  }
  line = std::move(out);
}

bool IsBlank(std::u16string_view line) {
  for (char16_t c : line) {
    if (c > u' ')
      return false;
  }
  return true;
}

// REG_EXPAND_SZ keeps the low byte of each code unit of the text, its NUL included.
std::vector<std::uint8_t> ExpandStringBytes(const std::uint8_t* data, std::int32_t DataLen) {
  const std::size_t units = CodeUnits(DataLen);
  const std::size_t end = std::min(units, FirstNul(data, units) + 1);
  std::vector<std::uint8_t> bytes(end);
  for (std::size_t i = 0; i < end; ++i)
    bytes[i] = data[2 * i];
  return bytes;
}

// REG_MULTI_SZ keeps the low bytes of DataLen / 2 code units, rounded half to even:
// the NULs between and after the strings are among them.
std::vector<std::uint8_t> MultiStringBytes(const std::uint8_t* data, std::int32_t DataLen) {
  if (DataLen <= 0)
    return {};
  std::size_t units = static_cast<std::size_t>(DataLen) / 2;
  if (DataLen % 2 != 0 && units % 2 != 0)
    ++units;
  std::vector<std::uint8_t> bytes(units);
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

std::u16string StringText(const std::uint8_t* data, std::int32_t DataLen) {
  const std::size_t units = CodeUnits(DataLen);
  const std::size_t end = FirstNul(data, units);
  std::u16string text(end, u'\0');
  for (std::size_t i = 0; i < end; ++i)
    text[i] = CodeUnitAt(data, i);
  return text;
}

std::u16string DwordText(const std::uint8_t* data) {
  const std::uint32_t number =
      data[0] | (data[1] << 8) | (data[2] << 16) | (static_cast<std::uint32_t>(data[3]) << 24);
  std::u16string text = u"dword:";
  for (int shift = 28; shift >= 0; shift -= 4)
    text += kHexDigits[(number >> shift) & 0x0F];
  return text;
}

void WriteFile(std::u16string_view fileName, std::string_view bytes) {
  std::ofstream file(std::filesystem::path(std::u16string(fileName)),
                     std::ios::binary | std::ios::trunc);
  if (!file)
    throw platform::Exception(u"Die Datei kann nicht angelegt werden.");
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  file.close();
  if (!file)
    throw platform::Exception(u"Die Datei kann nicht geschrieben werden.");
}

}  // namespace

bool TExRegistry::ExportKey(std::u16string_view fileName) {
  std::unique_ptr<TMemoryStream> unused;
  return ExportKey(fileName, false, unused);
}

bool TExRegistry::ExportKey(std::u16string_view fileName, bool InStream,
                            std::unique_ptr<TMemoryStream>& ExportStream) {
  bool done = false;
  try {
    BuildExportLines();
    if (InStream) {
      ExportStream = std::make_unique<TMemoryStream>();
      WriteExportLines(*ExportStream);
    } else {
      TMemoryStream text;
      WriteExportLines(text);
      WriteFile(fileName, text.Bytes());
    }
    done = true;
  } catch (...) {
    // The caller learns of a failure by the result alone.
    done = false;
  }
  fExportStrings.reset();
  return done;
}

void TExRegistry::BuildExportLines() {
  fExportStrings = std::make_unique<registry::TStringList>();
  fExportStrings->Add(u"REGEDIT4");
  // No key path is a lone carriage return, so the first key always gets its line.
  fLastExportKey = u"\r";
  Walk([this](std::u16string_view keyName, std::u16string_view valueName, std::uint32_t dataType,
              const std::uint8_t* data,
              std::int32_t DataLen) { ExportValue(keyName, valueName, dataType, data, DataLen); },
       true);
  fExportStrings->Add(std::u16string());
}

std::u16string TExRegistry::KeyLine(std::u16string_view keyName) const {
  const std::u16string_view root = RootKeyName(fLocalRoot != 0 ? fLocalRoot : RootKey());
  std::u16string line;
  line.reserve(root.size() + keyName.size() + 3);
  line += u'[';
  line += root;
  if (!keyName.empty()) {
    line += u'\\';
    line += keyName;
  }
  line += u']';
  return line;
}

void TExRegistry::ExportValue(std::u16string_view keyName, std::u16string_view valueName,
                              std::uint32_t dataType, const std::uint8_t* data,
                              std::int32_t DataLen) {
  if (keyName != fLastExportKey) {
    fExportStrings->Add(std::u16string());
    fExportStrings->Add(KeyLine(keyName));
    fLastExportKey = std::u16string(keyName);
  }

  std::u16string line;
  if (valueName.empty()) {
    line = u"@=";
  } else {
    line.reserve(valueName.size() + 96);
    line += u'"';
    AppendEscaped(line, valueName);
    line += u"\"=";
  }

  switch (dataType) {
    case REG_SZ:
      line += u'"';
      AppendEscaped(line, StringText(data, DataLen));
      line += u'"';
      break;
    case REG_DWORD:
      if (DataLen >= 4) {
        line += DwordText(data);
      } else {
        // Too short for a number: the bytes as they are, which reads back unchanged.
        AppendByteList(line, TypeTag(REG_DWORD), DataBytes(data, DataLen), false);
      }
      break;
    case REG_BINARY:
      AppendByteList(line, u"hex:", DataBytes(data, DataLen), false);
      break;
    case REG_QWORD:
      AppendByteList(line, TypeTag(REG_QWORD), DataBytes(data, DataLen), false);
      break;
    case REG_EXPAND_SZ:
      AppendByteList(line, TypeTag(REG_EXPAND_SZ), ExpandStringBytes(data, DataLen), false);
      break;
    case REG_MULTI_SZ:
      AppendByteList(line, TypeTag(REG_MULTI_SZ), MultiStringBytes(data, DataLen), false);
      break;
    case REG_NONE:
    case kRegType188:
      if (DataLen > 0) {
        AppendByteList(line, TypeTag(dataType), NoneBytes(data, DataLen), true);
      } else if (valueName.empty()) {
        line.clear();  // a default value without data has no line
      } else {
        AppendByteList(line, TypeTag(dataType), {}, true);
      }
      break;
    default:
      // The walk drops this error: the value is left out, its key line stays.
      throw platform::ERegistryException(
          u"Registry key " + std::u16string(keyName) + u" -> " + std::u16string(valueName) + u"=" +
          platform::Widen(std::to_string(dataType)) + u": unknown datatype");
  }

  EscapeLineBreaks(line);
  if (!IsBlank(line))
    fExportStrings->Add(std::move(line));
}

void TExRegistry::AppendByteList(std::u16string& line, std::u16string_view tag,
                                 std::span<const std::uint8_t> bytes, bool flushEmpty) {
  line += tag;
  const auto continueLine = [&] {
    line += u'\\';
    fExportStrings->Add(std::move(line));
    line.clear();
    line.reserve(kWrapColumn + 3);
    line += kContinuationIndent;
  };
  if (bytes.empty()) {
    if (flushEmpty && line.size() >= kWrapColumn)
      continueLine();
    return;
  }
  line.reserve(std::max(line.size(), kWrapColumn) + 3);
  const std::size_t last = bytes.size() - 1;
  for (std::size_t i = 0; i < last; ++i) {
    AppendHexByte(line, bytes[i]);
    line += u',';
    if (line.size() >= kWrapColumn)
      continueLine();
  }
  if (line.size() >= kWrapColumn)
    continueLine();
  AppendHexByte(line, bytes[last]);
}

void TExRegistry::WriteExportLines(TMemoryStream& stream) const {
  // Lines never split a character, so converting them in blocks of whole lines gives
  // the bytes that converting the whole text at once would give.
  std::size_t total = 0;
  for (const std::u16string& line : fExportStrings->Items())
    total += line.size() + 2;
  stream.Reserve(stream.Size() + total);
  std::u16string block;
  block.reserve(kConversionBlock + 256);
  for (const std::u16string& line : fExportStrings->Items()) {
    block += line;
    block += u"\r\n";
    if (block.size() >= kConversionBlock) {
      stream.Write(platform::ToAnsi(block));
      block.clear();
    }
  }
  stream.Write(platform::ToAnsi(block));
}

}  // namespace brindel::regfile
