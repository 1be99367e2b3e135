#include "regfile/RegTextDecode.h"

#include <algorithm>

#include "platform/AnsiCodePage.h"
#include "platform/FileSystem.h"
#include "platform/NewFile.h"
#include "platform/Text.h"
#include "regfile/RegTextError.h"

namespace brindel::regfile {

using platform::Format;

namespace {

bool IsValidUtf8(std::span<const std::uint8_t> bytes) {
  std::size_t i = 0;
  while (i < bytes.size()) {
    const std::uint8_t lead = bytes[i];
    std::size_t length = 0;
    std::uint32_t code = 0;
    if (lead < 0x80) {
      ++i;
      continue;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
      code = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      code = lead & 0x0Fu;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      code = lead & 0x07u;
    } else {
      return false;
    }
    if (i + length > bytes.size())
      return false;
    for (std::size_t k = 1; k < length; ++k) {
      if ((bytes[i + k] & 0xC0) != 0x80)
        return false;
      code = (code << 6) | (bytes[i + k] & 0x3Fu);
    }
    // Overlong forms, surrogates and code points beyond Unicode are not UTF-8.
    if ((length == 3 && code < 0x800) || (length == 4 && code < 0x10000) || code > 0x10FFFF ||
        (code >= 0xD800 && code <= 0xDFFF)) {
      return false;
    }
    i += length;
  }
  return true;
}

std::string_view AsChars(std::span<const std::uint8_t> bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

}  // namespace

RegTextLines::RegTextLines(std::span<const std::uint8_t> bytes) : text_(bytes) {
  if (bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
    encoding_ = RegTextEncoding::Utf16LE;
    text_ = bytes.subspan(2);
  } else if (bytes.size() >= 2 && bytes[0] == 0xFE && bytes[1] == 0xFF) {
    encoding_ = RegTextEncoding::Utf16BE;
    text_ = bytes.subspan(2);
  } else if (bytes.size() >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) {
    encoding_ = RegTextEncoding::Utf8;
    text_ = bytes.subspan(3);
  } else {
    // The header decides, read as ANSI: the first line that is neither blank nor a
    // comment, as the line reader finds it.
    RegTextLines ansi = *this;
    RegTextLine line;
    while (ansi.Next(line)) {
      const std::u16string_view text = platform::Trim(line.text);
      if (text.empty() || text.front() == u';')
        continue;
      // Only text beyond ASCII reads differently; pure ASCII stays "ANSI".
      if (text == kVersion5Header && IsValidUtf8(bytes) &&
          std::any_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b >= 0x80; })) {
        encoding_ = RegTextEncoding::Utf8;
      }
      break;
    }
  }
}

std::size_t RegTextLines::Units() const {
  const bool wide = encoding_ == RegTextEncoding::Utf16LE || encoding_ == RegTextEncoding::Utf16BE;
  // A dangling odd byte of a UTF-16 text is one more unit: U+FFFD.
  return wide ? text_.size() / 2 + text_.size() % 2 : text_.size();
}

char16_t RegTextLines::Unit(std::size_t index) const {
  switch (encoding_) {
    case RegTextEncoding::Utf16LE:
    case RegTextEncoding::Utf16BE: {
      if (2 * index + 1 >= text_.size())
        return u'\uFFFD';
      const unsigned first = text_[2 * index];
      const unsigned second = text_[2 * index + 1];
      return static_cast<char16_t>(encoding_ == RegTextEncoding::Utf16BE ? (first << 8) | second
                                                                         : (second << 8) | first);
    }
    default:
      // Only compared with CR and LF, which no multi-byte character contains.
      return text_[index];
  }
}

bool RegTextLines::Next(RegTextLine& line) {
  const std::size_t units = Units();
  if (pos_ >= units)
    return false;
  std::size_t end = pos_;
  while (end < units && Unit(end) != u'\r' && Unit(end) != u'\n')
    ++end;
  switch (encoding_) {
    case RegTextEncoding::Ansi:
      line.text = platform::FromAnsi(AsChars(text_.subspan(pos_, end - pos_)));
      break;
    case RegTextEncoding::Utf8:
      line.text = platform::FromUtf8(AsChars(text_.subspan(pos_, end - pos_)));
      break;
    default:
      line.text.clear();
      line.text.reserve(end - pos_);
      for (std::size_t i = pos_; i < end; ++i)
        line.text += Unit(i);
  }
  line.number = ++number_;
  if (end < units && Unit(end) == u'\r' && end + 1 < units && Unit(end + 1) == u'\n')
    ++end;
  pos_ = end + 1;
  return true;
}

RegTextDecoded DecodeRegText(std::span<const std::uint8_t> bytes) {
  RegTextDecoded decoded;
  RegTextLines lines(bytes);
  decoded.encoding = lines.Encoding();
  RegTextLine line;
  while (lines.Next(line))
    decoded.lines.push_back(std::move(line));
  return decoded;
}

std::vector<std::uint8_t> ReadRegTextFile(std::u16string_view fileName) {
  // Through platform/, which reads only regular files and a mounted Windows within its
  // root.
  const std::string path = platform::ToUtf8(fileName);
  const auto size = platform::FileSize(path);
  if (!size && platform::LastFileErrorIsNotFound()) {
    throw ERegTextError(0, Format(u"Die Datei „%s“ wurde nicht gefunden.", {fileName}));
  }
  if (size && *size > kMaxRegTextFileSize) {
    throw ERegTextError(
        0, Format(u"Die Datei „%s“ ist zu groß für eine Registrierungsdatei.", {fileName}));
  }
  std::vector<std::uint8_t> bytes;
  if (size)
    bytes.reserve(static_cast<std::size_t>(*size));
  const bool read = size && platform::ReadFilePieces(path, [&bytes](std::string_view piece) {
                      bytes.insert(bytes.end(), piece.begin(), piece.end());
                      return bytes.size() <= kMaxRegTextFileSize;
                    });
  if (!read) {
    throw ERegTextError(0, Format(u"Die Datei „%s“ kann nicht gelesen werden.", {fileName}));
  }
  return bytes;
}

}  // namespace brindel::regfile
