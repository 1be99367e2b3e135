#include "registry/store/RegTextDecode.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "platform/AnsiCodePage.h"
#include "platform/Text.h"
#include "registry/store/RegLineReader.h"
#include "registry/store/RegTextError.h"

namespace brindel::registry::store {

using platform::Format;

namespace {

// A .reg file larger than this is no registry export; the limit keeps a wrong file
// from filling the memory.
constexpr std::uintmax_t kMaxFileSize = 256u * 1024u * 1024u;

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

std::u16string FromUtf16(std::span<const std::uint8_t> bytes, bool bigEndian) {
  std::u16string text;
  text.reserve(bytes.size() / 2 + 1);
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    const unsigned first = bytes[i];
    const unsigned second = bytes[i + 1];
    text += static_cast<char16_t>(bigEndian ? (first << 8) | second : (second << 8) | first);
  }
  if (bytes.size() % 2 != 0)
    text += u'\uFFFD';
  return text;
}

std::string_view AsChars(std::span<const std::uint8_t> bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

std::vector<RegTextLine> SplitLines(std::u16string_view text) {
  std::vector<RegTextLine> lines;
  std::size_t start = 0;
  int number = 1;
  while (start < text.size()) {
    std::size_t end = text.find_first_of(u"\r\n", start);
    if (end == std::u16string_view::npos)
      end = text.size();
    lines.push_back({number++, std::u16string(text.substr(start, end - start))});
    if (end < text.size() && text[end] == u'\r' && end + 1 < text.size() &&
        text[end + 1] == u'\n') {
      ++end;
    }
    start = end + 1;
  }
  return lines;
}

}  // namespace

RegTextDecoded DecodeRegText(std::span<const std::uint8_t> bytes) {
  RegTextDecoded decoded;
  std::u16string text;
  if (bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
    decoded.encoding = RegTextEncoding::Utf16LE;
    text = FromUtf16(bytes.subspan(2), false);
  } else if (bytes.size() >= 2 && bytes[0] == 0xFE && bytes[1] == 0xFF) {
    decoded.encoding = RegTextEncoding::Utf16BE;
    text = FromUtf16(bytes.subspan(2), true);
  } else if (bytes.size() >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) {
    decoded.encoding = RegTextEncoding::Utf8;
    text = platform::FromUtf8(AsChars(bytes.subspan(3)));
  } else {
    text = platform::FromAnsi(AsChars(bytes));
    decoded.lines = SplitLines(text);
    RegLineReader reader(decoded.lines);
    const RegTextLine* header = reader.ReadHeader();
    if (header != nullptr && TrimRegText(header->text) == kVersion5Header && IsValidUtf8(bytes)) {
      // Only text beyond ASCII reads differently; pure ASCII stays "ANSI".
      if (std::any_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b >= 0x80; })) {
        decoded.encoding = RegTextEncoding::Utf8;
        decoded.lines = SplitLines(platform::FromUtf8(AsChars(bytes)));
      }
    }
    return decoded;
  }
  decoded.lines = SplitLines(text);
  return decoded;
}

std::vector<std::uint8_t> ReadRegTextFile(std::u16string_view fileName) {
  const std::filesystem::path path{std::u16string(fileName)};
  std::error_code error;
  const bool exists = std::filesystem::exists(path, error);
  if (!exists && !error) {
    throw ERegTextError(0, Format(u"Die Datei „%s“ wurde nicht gefunden.", {fileName}));
  }
  const std::uintmax_t size = std::filesystem::file_size(path, error);
  if (!error && size > kMaxFileSize) {
    throw ERegTextError(
        0, Format(u"Die Datei „%s“ ist zu groß für eine Registrierungsdatei.", {fileName}));
  }
  std::ifstream file(path, std::ios::binary);
  std::vector<std::uint8_t> bytes;
  if (file && !error) {
    bytes.resize(static_cast<std::size_t>(size));
    file.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
  if (!file || error) {
    throw ERegTextError(0, Format(u"Die Datei „%s“ kann nicht gelesen werden.", {fileName}));
  }
  return bytes;
}

}  // namespace brindel::registry::store
