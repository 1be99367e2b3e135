#include "registry/store/RegText.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <optional>

#include "platform/AnsiCodePage.h"
#include "platform/Text.h"

namespace brindel::registry::store {

using platform::Format;
using platform::Widen;

namespace {

constexpr std::u16string_view kHeader4 = u"REGEDIT4";
constexpr std::u16string_view kHeader5 = u"Windows Registry Editor Version 5.00";

// A .reg file larger than this is no registry export; the limit keeps a wrong file
// from filling the memory.
constexpr std::uintmax_t kMaxFileSize = 256u * 1024u * 1024u;

std::u16string Number(std::int64_t value) {
  return Widen(std::to_string(value));
}

[[noreturn]] void Fail(int line, std::u16string_view detail,
                       std::initializer_list<std::u16string_view> texts = {}) {
  throw ERegTextError(line, Format(u"Zeile %d: ", {Number(line)}) + Format(detail, texts));
}

// --- Decoding ---------------------------------------------------------------------------

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

bool IsBlank(char16_t unit) {
  return unit <= u' ';
}

// Every \r\n (four characters), from left to right, becomes CR LF, in one pass that
// moves each character once: replacing the escapes one by one would move the rest of
// the line once per escape, which a long value full of line breaks makes quadratic.
void ReplaceLineBreakEscapes(std::u16string& text) {
  static constexpr std::u16string_view kEscape = u"\\r\\n";
  std::size_t at = text.find(kEscape);
  if (at == std::u16string::npos)
    return;
  std::size_t out = at;
  while (at != std::u16string::npos) {
    text[out++] = u'\r';
    text[out++] = u'\n';
    const std::size_t from = at + kEscape.size();
    at = text.find(kEscape, from);
    const std::size_t end = at == std::u16string::npos ? text.size() : at;
    std::u16string::traits_type::move(text.data() + out, text.data() + from, end - from);
    out += end - from;
  }
  text.resize(out);
}

bool IsHexDigit(char16_t unit) {
  return (unit >= u'0' && unit <= u'9') || (unit >= u'a' && unit <= u'f') ||
         (unit >= u'A' && unit <= u'F');
}

unsigned HexValue(char16_t unit) {
  if (unit <= u'9')
    return unit - u'0';
  if (unit <= u'F')
    return unit - u'A' + 10u;
  return unit - u'a' + 10u;
}

}  // namespace

ERegTextError::ERegTextError(int line, std::u16string message)
    : Exception(std::move(message)), line_(line) {}

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
    if (header != nullptr && TrimRegText(header->text) == kHeader5 && IsValidUtf8(bytes)) {
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

// --- Lines ------------------------------------------------------------------------------

std::u16string_view TrimRegText(std::u16string_view text) {
  while (!text.empty() && IsBlank(text.front()))
    text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back()))
    text.remove_suffix(1);
  return text;
}

int RegLogicalLine::LineAt(std::size_t offset) const {
  int line = FirstLine();
  for (const Part& part : parts) {
    if (part.offset > offset)
      break;
    line = part.line;
  }
  return line;
}

RegLineReader::RegLineReader(std::span<const RegTextLine> lines, RegLineRules rules)
    : lines_(lines), rules_(rules) {}

const RegTextLine* RegLineReader::ReadHeader() {
  while (index_ < lines_.size()) {
    const std::u16string_view text = TrimRegText(lines_[index_].text);
    if (!text.empty() && text.front() != u';')
      return &lines_[index_++];
    ++index_;
  }
  return nullptr;
}

bool RegLineReader::Next(RegLogicalLine& line) {
  if (index_ >= lines_.size())
    return false;
  line.text = TrimRegText(lines_[index_].text);
  line.parts.assign(1, {0, lines_[index_].number});
  ++index_;
  if (rules_.lineBreakEscapes)
    ReplaceLineBreakEscapes(line.text);
  if (!rules_.commentsContinue && !line.text.empty() && line.text.front() == u';')
    return true;
  while (!line.text.empty() && line.text.back() == u'\\' && index_ < lines_.size()) {
    const std::u16string_view next = TrimRegText(lines_[index_].text);
    if (!next.empty() && rules_.continuationStops.find(next.front()) != std::u16string_view::npos) {
      break;
    }
    if (rules_.skipCommentsInContinuation && !next.empty() && next.front() == u';') {
      ++index_;
      continue;
    }
    line.text.pop_back();
    line.parts.push_back({line.text.size(), lines_[index_].number});
    line.text += next;
    ++index_;
  }
  return true;
}

// --- The lenient rule set ------------------------------------------------------------------

namespace {

struct RootName {
  std::u16string_view name;
  HKEY root;
};

// The long names first: RegRootName gives the first name of a root. The short forms
// are what reg.exe and many scripts write; regedit's own files use the long ones.
constexpr std::array<RootName, 8> kRootNames = {{
    {u"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
    {u"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
    {u"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
    {u"HKEY_USERS", HKEY_USERS},
    {u"HKCR", HKEY_CLASSES_ROOT},
    {u"HKCU", HKEY_CURRENT_USER},
    {u"HKLM", HKEY_LOCAL_MACHINE},
    {u"HKU", HKEY_USERS},
}};

// The predefined roots as the export names them, searched in this order both ways.
constexpr std::array<RootName, 7> kPredefinedRoots = {{
    {u"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
    {u"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
    {u"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
    {u"HKEY_USERS", HKEY_USERS},
    {u"HKEY_PERFORMANCE_DATA", HKEY_PERFORMANCE_DATA},
    {u"HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG},
    {u"HKEY_DYN_DATA", HKEY_DYN_DATA},
}};

// Root names are matched without regard to letter case, as regedit does.
std::optional<HKEY> FindRoot(std::u16string_view name) {
  for (const RootName& entry : kRootNames) {
    if (platform::SameTextIgnoreCase(entry.name, name))
      return entry.root;
  }
  return std::nullopt;
}

// Up to 32 bits of hexadecimal digits, leading zeros allowed; nothing else.
std::optional<std::uint32_t> HexNumber(std::u16string_view digits) {
  if (digits.empty())
    return std::nullopt;
  std::uint64_t number = 0;
  for (const char16_t unit : digits) {
    if (!IsHexDigit(unit))
      return std::nullopt;
    number = (number << 4) | HexValue(unit);
    if (number > 0xFFFFFFFFu)
      return std::nullopt;
  }
  return static_cast<std::uint32_t>(number);
}

enum class DataKind { Dword, Hex, HexTyped };

struct DataType {
  std::u16string_view tag;  // compared without regard to letter case
  DataKind kind;
};

// The lenient rules know a type by its tag, punctuation included.
constexpr std::array<DataType, 3> kDataTypes = {{
    {u"dword:", DataKind::Dword},
    {u"hex:", DataKind::Hex},
    {u"hex(", DataKind::HexTyped},
}};

// The import rules know a type by its name, which ends at a blank, "(" or ":".
constexpr std::array<DataType, 2> kDataTypeNames = {{
    {u"dword", DataKind::Dword},
    {u"hex", DataKind::Hex},
}};
constexpr std::u16string_view kDataTypeNameStops = u" (:";

std::vector<std::uint8_t> Utf16Bytes(std::u16string_view text, bool withNul) {
  std::vector<std::uint8_t> bytes;
  bytes.reserve(2 * text.size() + 2);
  for (const char16_t unit : text) {
    bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
  }
  if (withNul)
    bytes.insert(bytes.end(), {0, 0});
  return bytes;
}

// Reads one logical line, knowing where each character came from.
class StatementParser {
 public:
  StatementParser(const RegLogicalLine& line, RegTextFormat format, const RegTextRules& rules,
                  const std::u16string& sourceName, int headerLine)
      : line_(line),
        text_(line.text),
        format_(format),
        rules_(rules),
        sourceName_(sourceName),
        headerLine_(headerLine) {}

  // --- The import rules ---

  // "[root\path]" or "[root]". The root alone selects that root with no key below it.
  RegTextOp ParseImportKey() {
    RegTextOp op;
    op.line = line_.FirstLine();
    std::u16string_view rest = text_.substr(1);
    if (rest.empty() || rest.back() != u']')
      SyntaxError(rest);
    rest.remove_suffix(1);
    const std::size_t slash = rest.find(u'\\');
    const std::u16string_view rootName = rest.substr(0, slash);
    if (slash != std::u16string_view::npos) {
      rest = rest.substr(slash + 1);
      if (rest.empty())
        SyntaxError(rest);
    }
    const auto root = PredefinedRootFromName(rootName);
    if (!root)
      SyntaxError(rest);
    op.root = *root;
    if (slash != std::u16string_view::npos)
      op.path = rest;
    return op;
  }

  // '"name"=data' or '@=data'.
  void ParseImportValue(RegTextOp& op) {
    op.kind = RegTextOpKind::SetValue;
    pos_ = 1;
    if (text_.front() == u'"') {
      // \\ and \" stand for the character after the backslash, as the export writes
      // them; any other backslash is kept.
      std::u16string name;
      while (pos_ < text_.size() && text_[pos_] != u'"') {
        if (text_[pos_] == u'\\' && pos_ + 1 < text_.size() &&
            (text_[pos_ + 1] == u'\\' || text_[pos_ + 1] == u'"')) {
          ++pos_;
        }
        name += text_[pos_++];
      }
      if (pos_ >= text_.size())
        SyntaxError(text_.substr(1));
      ++pos_;
      op.name = std::move(name);
    }
    SkipControls();
    if (pos_ >= text_.size() || text_[pos_] != u'=')
      SyntaxError(text_.substr(pos_));
    ++pos_;
    SkipControls();
    if (pos_ >= text_.size())
      SyntaxError({});
    if (text_[pos_] == u'"') {
      op.form = RegTextDataForm::String;
      op.value.type = REG_SZ;
      op.value.data = Utf16Bytes(BetweenEnds(text_.substr(pos_)), true);
      return;
    }
    std::size_t stop = text_.find_first_of(kDataTypeNameStops, pos_);
    if (stop == std::u16string_view::npos)
      stop = text_.size();
    const std::u16string_view typeName = text_.substr(pos_, stop - pos_);
    pos_ = stop;
    SkipControls();
    if (pos_ >= text_.size())
      SyntaxError({});
    const DataType* type = nullptr;
    for (const DataType& candidate : kDataTypeNames) {
      if (platform::SameTextIgnoreCase(candidate.tag, typeName))
        type = &candidate;
    }
    if (type == nullptr)
      SyntaxError(text_.substr(pos_));
    if (type->kind == DataKind::Dword) {
      if (text_[pos_] != u':')
        SyntaxError(text_.substr(pos_));
      ++pos_;
      SkipControls();
      const std::u16string_view digits = text_.substr(pos_);
      const std::uint32_t number = NumberOrConvertError(digits);
      op.form = RegTextDataForm::Dword;
      op.value.type = REG_DWORD;
      op.value.data = {static_cast<std::uint8_t>(number), static_cast<std::uint8_t>(number >> 8),
                       static_cast<std::uint8_t>(number >> 16),
                       static_cast<std::uint8_t>(number >> 24)};
      return;
    }
    op.form = RegTextDataForm::Hex;
    op.value.type = REG_BINARY;
    if (text_[pos_] == u'(') {
      std::size_t close = text_.find(u')', pos_ + 1);
      if (close == std::u16string_view::npos)
        close = text_.size();
      op.value.type = NumberOrConvertError(text_.substr(pos_ + 1, close - pos_ - 1));
      pos_ = std::min(close + 1, text_.size());
      SkipControls();
    }
    if (pos_ >= text_.size() || text_[pos_] != u':')
      SyntaxError(text_.substr(pos_));
    ++pos_;
    op.value.data = ParseHexList();
    WidenText(op.value);
  }

  // A line that is neither a key line nor a value line.
  [[noreturn]] void ParseUnknown() const {
    if (rules_.statements == RegTextRules::Statements::Import)
      SyntaxError(text_);
    Fail(line_.FirstLine(), u"unbekannte Zeile „%s“", {text_});
  }

  // --- The lenient rules ---

  // The key line "[...]" or "[-...]". Returns the operation.
  RegTextOp ParseKey() {
    RegTextOp op;
    op.line = line_.FirstLine();
    // Key names may hold "]", so the name ends at the last one on the line.
    const std::size_t close = text_.rfind(u']');
    if (close == std::u16string_view::npos)
      Fail(op.line, u"schließende Klammer „]“ fehlt");
    RestMustBeEmpty(close + 1);
    std::u16string_view name = text_.substr(1, close - 1);
    op.kind = RegTextOpKind::CreateKey;
    if (!name.empty() && name.front() == u'-') {
      op.kind = RegTextOpKind::DeleteKey;
      name.remove_prefix(1);
    }
    const std::size_t slash = name.find(u'\\');
    const std::u16string_view rootName = name.substr(0, slash);
    const auto root = FindRoot(rootName);
    if (!root && rootName.empty()) {
      Fail(op.line, u"Schlüssel „%s“ ohne Stammschlüssel wie HKEY_CURRENT_USER", {name});
    }
    if (!root)
      Fail(op.line, u"unbekannter Stammschlüssel „%s“", {rootName});
    op.root = *root;
    if (slash != std::u16string_view::npos)
      op.path = name.substr(slash + 1);
    if (slash != std::u16string_view::npos && op.path.empty()) {
      Fail(op.line, u"ungültiger Schlüsselname „%s“", {name});
    }
    // Empty names between backslashes would address another key than the one meant.
    std::size_t start = 0;
    while (slash != std::u16string_view::npos && start <= op.path.size()) {
      std::size_t end = op.path.find(u'\\', start);
      if (end == std::u16string::npos)
        end = op.path.size();
      if (end == start)
        Fail(op.line, u"ungültiger Schlüsselname „%s“", {name});
      if (end - start > kMaxKeyNameLength) {
        Fail(op.line, u"Schlüsselname länger als %d Zeichen", {Number(kMaxKeyNameLength)});
      }
      start = end + 1;
    }
    if (op.kind == RegTextOpKind::DeleteKey && op.path.empty()) {
      Fail(op.line, u"ein Stammschlüssel kann nicht gelöscht werden");
    }
    return op;
  }

  // The value line '"name"=...' or '@=...'. Fills name, kind and value of `op`.
  void ParseValue(RegTextOp& op) {
    if (text_[pos_] == u'@') {
      ++pos_;
    } else {
      ++pos_;
      op.name = Unescape(u"schließendes Anführungszeichen des Wertnamens fehlt");
      if (op.name.size() > kMaxValueNameLength) {
        Fail(op.line, u"Wertname länger als %d Zeichen", {Number(kMaxValueNameLength)});
      }
    }
    SkipBlanks();
    if (pos_ >= text_.size() || text_[pos_] != u'=')
      Fail(LineHere(), u"„=“ fehlt nach dem Wertnamen");
    ++pos_;
    SkipBlanks();
    if (pos_ >= text_.size())
      Fail(LineHere(), u"Daten fehlen nach „=“");
    if (text_[pos_] == u'-') {
      ++pos_;
      RestMustBeEmpty(pos_);
      op.kind = RegTextOpKind::DeleteValue;
      return;
    }
    op.kind = RegTextOpKind::SetValue;
    if (text_[pos_] == u'"') {
      ++pos_;
      op.value.type = REG_SZ;
      op.value.data =
          Utf16Bytes(Unescape(u"schließendes Anführungszeichen der Zeichenkette fehlt"), true);
      RestMustBeEmpty(pos_);
      return;
    }
    ParseTypedData(op.value);
  }

 private:
  int LineHere() const { return line_.LineAt(pos_); }

  void SkipBlanks() {
    while (pos_ < text_.size() && (text_[pos_] == u' ' || text_[pos_] == u'\t'))
      ++pos_;
  }

  // After the data only blanks or a comment may follow.
  void RestMustBeEmpty(std::size_t from) {
    pos_ = from;
    SkipBlanks();
    if (pos_ < text_.size() && text_[pos_] != u';') {
      Fail(LineHere(), u"unerwarteter Text „%s“", {text_.substr(pos_)});
    }
  }

  // Reads up to the closing quotation mark. Escapes: \\ and \" as regedit writes them,
  // \r and \n as other tools write line breaks (regedit escapes every backslash, so
  // its files never hold these). Any other backslash stays as it is.
  std::u16string Unescape(std::u16string_view missingQuote) {
    std::u16string out;
    while (pos_ < text_.size()) {
      const char16_t unit = text_[pos_++];
      if (unit == u'"')
        return out;
      if (unit == u'\\' && pos_ < text_.size()) {
        const char16_t next = text_[pos_];
        if (next == u'\\' || next == u'"') {
          out += next;
          ++pos_;
          continue;
        }
        if (next == u'r' || next == u'n') {
          out += next == u'r' ? u'\r' : u'\n';
          ++pos_;
          continue;
        }
      }
      out += unit;
    }
    Fail(line_.FirstLine(), missingQuote);
  }

  void ParseTypedData(RegValue& value) {
    const std::u16string_view rest = text_.substr(pos_);
    const DataType* type = nullptr;
    for (const DataType& candidate : kDataTypes) {
      if (rest.size() >= candidate.tag.size() &&
          platform::SameTextIgnoreCase(rest.substr(0, candidate.tag.size()), candidate.tag)) {
        type = &candidate;
        break;
      }
    }
    if (type == nullptr) {
      const std::size_t colon = rest.find(u':');
      Fail(LineHere(), u"unbekannter Datentyp „%s“",
           {colon == std::u16string_view::npos ? rest : rest.substr(0, colon + 1)});
    }
    pos_ += type->tag.size();
    switch (type->kind) {
      case DataKind::Dword:
        value.type = REG_DWORD;
        value.data = ParseDword();
        return;
      case DataKind::Hex:
        value.type = REG_BINARY;
        value.data = ParseHexList();
        return;
      case DataKind::HexTyped:
        value.type = ParseTypeNumber();
        value.data = ParseHexList();
        WidenText(value);
        return;
    }
  }

  // A run of hexadecimal digits from the position, at most nine of them read, so
  // that a caller sees a ninth digit as too many.
  std::uint32_t ParseHexRun() {
    const std::size_t start = pos_;
    std::uint32_t number = 0;
    while (pos_ < text_.size() && IsHexDigit(text_[pos_]) && pos_ - start < 9) {
      number = (number << 4) | HexValue(text_[pos_]);
      ++pos_;
    }
    return number;
  }

  std::vector<std::uint8_t> ParseDword() {
    const std::size_t start = pos_;
    const std::uint32_t number = ParseHexRun();
    const std::size_t digits = pos_ - start;
    if (digits == 0 || digits > 8) {
      Fail(LineHere(), u"ungültige DWORD-Daten „%s“ (1 bis 8 Hex-Ziffern erwartet)",
           {text_.substr(start)});
    }
    RestMustBeEmpty(pos_);
    return {static_cast<std::uint8_t>(number), static_cast<std::uint8_t>(number >> 8),
            static_cast<std::uint8_t>(number >> 16), static_cast<std::uint8_t>(number >> 24)};
  }

  // "N):" with N hexadecimal, as regedit writes the type: hex(b): is type 11.
  std::uint32_t ParseTypeNumber() {
    const std::size_t start = pos_;
    const std::uint32_t number = ParseHexRun();
    const std::size_t digits = pos_ - start;
    if (digits == 0 || digits > 8 || text_.substr(pos_, 2) != u"):") {
      const std::size_t close = text_.find(u')', start);
      Fail(LineHere(), u"ungültiger Typ „hex(%s“",
           {text_.substr(start, close == std::u16string_view::npos ? std::u16string_view::npos
                                                                   : close - start + 1)});
    }
    pos_ += 2;
    return number;
  }

  // Bytes of one or two hex digits, separated by commas, blanks allowed around them.
  // A trailing comma and a backslash left at the end (the last line of a file, or a
  // continuation that the next statement stopped) end the list.
  std::vector<std::uint8_t> ParseHexList() {
    if (rules_.hexRuns)
      return ParseHexRuns();
    std::vector<std::uint8_t> bytes;
    SkipBlanks();
    while (pos_ < text_.size() && text_[pos_] != u';') {
      if (text_[pos_] == u'\\') {
        RestMustBeEmpty(pos_ + 1);
        break;
      }
      const std::size_t start = pos_;
      unsigned byte = 0;
      while (pos_ < text_.size() && IsHexDigit(text_[pos_]) && pos_ - start < 3) {
        byte = (byte << 4) | HexValue(text_[pos_]);
        ++pos_;
      }
      const std::size_t digits = pos_ - start;
      if (digits == 0 || digits > 2)
        BadHex(start);
      bytes.push_back(static_cast<std::uint8_t>(byte));
      SkipBlanks();
      if (pos_ >= text_.size() || text_[pos_] == u';')
        break;
      if (text_[pos_] == u'\\')
        continue;
      if (text_[pos_] != u',')
        BadHex(start);
      ++pos_;
      SkipBlanks();
    }
    return bytes;
  }

  // Names the faulty byte: its text up to the next comma.
  [[noreturn]] void BadHex(std::size_t start) {
    std::size_t end = text_.find(u',', start);
    if (end == std::u16string_view::npos)
      end = text_.size();
    const std::u16string_view piece = TrimRegText(text_.substr(start, end - start));
    if (piece.empty())
      Fail(line_.LineAt(start), u"ungültige Hex-Daten: ein Byte fehlt vor „,“");
    Fail(line_.LineAt(start), u"ungültige Hex-Daten „%s“ (zwei Hex-Ziffern je Byte erwartet)",
         {piece});
  }

  // Every run of hex digits is one number; anything else ends a run. The numbers
  // are kept whole until WidenText has looked at them, then taken modulo 256.
  std::vector<std::uint8_t> ParseHexRuns() {
    std::vector<std::uint8_t> bytes;
    runNumbers_.clear();
    while (pos_ < text_.size()) {
      if (!IsHexDigit(text_[pos_])) {
        ++pos_;
        continue;
      }
      const std::size_t start = pos_;
      while (pos_ < text_.size() && IsHexDigit(text_[pos_]))
        ++pos_;
      const std::uint32_t number = NumberOrConvertError(text_.substr(start, pos_ - start));
      runNumbers_.push_back(number);
      bytes.push_back(static_cast<std::uint8_t>(number & 0xFF));
    }
    return bytes;
  }

  // REGEDIT4 holds the text of REG_EXPAND_SZ and REG_MULTI_SZ one number per
  // character; the registry holds UTF-16.
  void WidenText(RegValue& value) const {
    if (format_ != RegTextFormat::Regedit4 ||
        (value.type != REG_EXPAND_SZ && value.type != REG_MULTI_SZ)) {
      return;
    }
    if (rules_.textNumbersAreCodeUnits) {
      // The export wrote the low byte of every code unit; a number is a code unit.
      std::u16string units;
      if (rules_.hexRuns) {
        for (const std::uint32_t number : runNumbers_)
          units += static_cast<char16_t>(number & 0xFFFF);
      } else {
        for (const std::uint8_t byte : value.data)
          units += static_cast<char16_t>(byte);
      }
      value.data = Utf16Bytes(units, false);
      return;
    }
    const std::string_view ansi(reinterpret_cast<const char*>(value.data.data()),
                                value.data.size());
    value.data = Utf16Bytes(platform::FromAnsi(ansi), false);
  }

  void SkipControls() {
    while (pos_ < text_.size() && IsBlank(text_[pos_]))
      ++pos_;
  }

  // The characters between the first and the last, whatever those are. A backslash
  // is dropped and the character after it taken as it is, unless that is the last.
  static std::u16string BetweenEnds(std::u16string_view data) {
    std::u16string text;
    if (data.size() < 2)
      return text;
    const std::u16string_view inner = data.substr(1, data.size() - 2);
    for (std::size_t i = 0; i < inner.size(); ++i) {
      if (inner[i] == u'\\') {
        if (++i >= inner.size())
          break;
      }
      text += inner[i];
    }
    return text;
  }

  // The line of the file counted from the header line as 0; a joined line is known
  // by its last part.
  int ImportLine() const { return line_.LastLine() - headerLine_; }

  [[noreturn]] void SyntaxError(std::u16string_view rest) const {
    throw ERegTextError(line_.LastLine(),
                        Format(u"Syntax error in reg file %s at line %d with string: %s",
                               {sourceName_, Number(ImportLine()), rest}));
  }

  std::uint32_t NumberOrConvertError(std::u16string_view digits) const {
    const auto number = HexNumber(digits);
    if (!number) {
      throw platform::EConvertError(
          Format(u"'%s' ist kein gültiger Integerwert (Zeile %d)", {digits, Number(ImportLine())}));
    }
    return *number;
  }

  const RegLogicalLine& line_;
  std::u16string_view text_;
  RegTextFormat format_;
  const RegTextRules& rules_;
  const std::u16string& sourceName_;
  int headerLine_ = 0;
  std::size_t pos_ = 0;
  std::vector<std::uint32_t> runNumbers_;
};

}  // namespace

std::u16string_view RegRootName(HKEY root) {
  for (const RootName& entry : kRootNames) {
    if (entry.root == root)
      return entry.name;
  }
  return {};
}

std::optional<HKEY> PredefinedRootFromName(std::u16string_view name) {
  for (const RootName& entry : kPredefinedRoots) {
    if (entry.name == name)
      return entry.root;
  }
  return std::nullopt;
}

std::u16string_view PredefinedRootName(HKEY root) {
  for (const RootName& entry : kPredefinedRoots) {
    if (entry.root == root)
      return entry.name;
  }
  return {};
}

// --- The reader ------------------------------------------------------------------------------

RegTextRules RegTextRules::Lenient() {
  return RegTextRules{};
}

RegTextRules RegTextRules::Import() {
  RegTextRules rules;
  // A comment line is a line like any other while joining: it continues and is
  // joined. A line that begins a value or key is never joined, so that nothing the
  // export writes after a byte list can be swallowed by it.
  rules.lines.continuationStops = u"\"@[";
  rules.lines.commentsContinue = true;
  rules.lines.skipCommentsInContinuation = false;
  rules.lines.lineBreakEscapes = true;
  rules.statements = Statements::Import;
  rules.regedit4Only = true;
  rules.nulEndsText = true;
  rules.unknownLinesFail = true;
  rules.valuesBeforeKey = true;
  rules.hexRuns = true;
  rules.textNumbersAreCodeUnits = true;
  return rules;
}

RegTextReader::RegTextReader(std::span<const std::uint8_t> bytes, const RegTextRules& rules,
                             std::u16string_view sourceName)
    : rules_(rules), sourceName_(sourceName), reader_({}, rules.lines) {
  RegTextDecoded decoded = DecodeRegText(bytes);
  encoding_ = decoded.encoding;
  lines_ = std::move(decoded.lines);
  if (rules_.nulEndsText) {
    for (std::size_t i = 0; i < lines_.size(); ++i) {
      const std::size_t nul = lines_[i].text.find(u'\0');
      if (nul == std::u16string::npos)
        continue;
      lines_[i].text.resize(nul);
      lines_.resize(lines_[i].text.empty() && i > 0 ? i : i + 1);
      break;
    }
  } else {
    // Some tools pad a file with NULs at its end; they carry nothing.
    while (!lines_.empty()) {
      std::u16string& last = lines_.back().text;
      while (!last.empty() && last.back() == u'\0')
        last.pop_back();
      if (!last.empty() || lines_.size() == 1)
        break;
      lines_.pop_back();
    }
  }
  reader_ = RegLineReader(lines_, rules_.lines);

  const RegTextLine* header = reader_.ReadHeader();
  if (rules_.regedit4Only) {
    // Nothing but blank and comment lines has no header either.
    if (header == nullptr || header->text != kHeader4) {
      throw ERegTextError(header == nullptr ? 0 : header->number,
                          u"Bad file format.  Missing REGEDIT4 in first line.");
    }
    headerLine_ = header->number;
    format_ = RegTextFormat::Regedit4;
    return;
  }
  if (header == nullptr) {
    throw ERegTextError(0, u"Die Datei ist leer: sie enthält keine Registrierungsdaten.");
  }
  headerLine_ = header->number;
  const std::u16string_view headerText = TrimRegText(header->text);
  if (headerText == kHeader4) {
    format_ = RegTextFormat::Regedit4;
  } else if (headerText == kHeader5) {
    format_ = RegTextFormat::Version5;
  } else {
    Fail(header->number, u"keine Registrierungsdatei: „%s“ oder „%s“ erwartet",
         {kHeader4, kHeader5});
  }
}

bool RegTextReader::Next(RegTextOp& op) {
  const bool importStatements = rules_.statements == RegTextRules::Statements::Import;
  RegLogicalLine line;
  while (reader_.Next(line)) {
    if (const std::size_t nul = line.text.find(u'\0'); nul != std::u16string::npos) {
      Fail(line.LineAt(nul), u"unzulässiges NUL-Zeichen");
    }
    if (line.text.empty() || line.text.front() == u';')
      continue;
    StatementParser statement(line, format_, rules_, sourceName_, headerLine_);
    switch (line.text.front()) {
      case u'[': {
        op = importStatements ? statement.ParseImportKey() : statement.ParseKey();
        // Values after a deleted key have no key to go to.
        haveKey_ = op.kind == RegTextOpKind::CreateKey;
        keyRoot_ = op.root;
        keyPath_ = op.path;
        return true;
      }
      case u'"':
      case u'@': {
        if (!haveKey_ && !rules_.valuesBeforeKey) {
          Fail(line.FirstLine(), u"Wert ohne Schlüssel: vor dieser Zeile fehlt eine Zeile „[...]“");
        }
        op = RegTextOp{};
        op.line = line.FirstLine();
        op.root = haveKey_ ? keyRoot_ : 0;
        op.path = haveKey_ ? keyPath_ : std::u16string();
        if (importStatements) {
          statement.ParseImportValue(op);
        } else {
          statement.ParseValue(op);
        }
        return true;
      }
      default:
        if (rules_.unknownLinesFail)
          statement.ParseUnknown();
        // Lines of no known kind: regedit passes over them.
        break;
    }
  }
  return false;
}

ParsedRegText ParseRegText(std::span<const std::uint8_t> bytes) {
  RegTextReader reader(bytes, RegTextRules::Lenient());
  ParsedRegText parsed;
  parsed.format = reader.Format();
  parsed.encoding = reader.Encoding();
  RegTextOp op;
  while (reader.Next(op))
    parsed.ops.push_back(std::move(op));
  return parsed;
}

// --- Applying ------------------------------------------------------------------------------

namespace {

// Full access without the view flags: what a loader needs on the keys it fills.
constexpr REGSAM kFillAccess = KEY_READ | KEY_WRITE;

class KeyHandle {
 public:
  explicit KeyHandle(RegistryStore& store) : store_(store) {}
  ~KeyHandle() { Close(); }
  KeyHandle(const KeyHandle&) = delete;
  KeyHandle& operator=(const KeyHandle&) = delete;

  LSTATUS Open(HKEY root, std::u16string_view path, REGSAM access) {
    Close();
    if (path.empty()) {
      key_ = root;
      return ERROR_SUCCESS;
    }
    return store_.OpenKey(root, path, access, key_);
  }
  LSTATUS Create(HKEY root, std::u16string_view path, REGSAM access) {
    Close();
    if (path.empty()) {
      key_ = root;
      return ERROR_SUCCESS;
    }
    return store_.CreateKey(root, path, access, key_);
  }
  void Close() {
    if (key_ != 0)
      store_.CloseKey(key_);
    key_ = 0;
  }
  HKEY Get() const { return key_; }

 private:
  RegistryStore& store_;
  HKEY key_ = 0;
};

std::u16string JoinPath(std::u16string_view path, std::u16string_view name) {
  if (path.empty())
    return std::u16string(name);
  std::u16string joined(path);
  joined += u'\\';
  joined += name;
  return joined;
}

struct KeySnapshot {
  std::u16string name;
  std::vector<std::pair<std::u16string, RegValue>> values;
  std::vector<KeySnapshot> children;
};

LSTATUS SubKeyNames(RegistryStore& store, HKEY key, std::vector<std::u16string>& names) {
  for (std::uint32_t index = 0;; ++index) {
    std::u16string name;
    const LSTATUS status = store.EnumKey(key, index, name);
    if (status == ERROR_NO_MORE_ITEMS)
      return ERROR_SUCCESS;
    if (status != ERROR_SUCCESS)
      return status;
    names.push_back(std::move(name));
  }
}

LSTATUS ValuesOf(RegistryStore& store, HKEY key,
                 std::vector<std::pair<std::u16string, RegValue>>& values) {
  for (std::uint32_t index = 0;; ++index) {
    std::pair<std::u16string, RegValue> value;
    const LSTATUS status = store.EnumValue(key, index, value.first, &value.second);
    if (status == ERROR_NO_MORE_ITEMS)
      return ERROR_SUCCESS;
    if (status != ERROR_SUCCESS)
      return status;
    values.push_back(std::move(value));
  }
}

LSTATUS TakeSnapshot(RegistryStore& store, HKEY root, const std::u16string& path,
                     KeySnapshot& snapshot) {
  KeyHandle key(store);
  if (LSTATUS status = key.Open(root, path, KEY_READ); status != ERROR_SUCCESS)
    return status;
  if (LSTATUS status = ValuesOf(store, key.Get(), snapshot.values); status != ERROR_SUCCESS) {
    return status;
  }
  std::vector<std::u16string> names;
  if (LSTATUS status = SubKeyNames(store, key.Get(), names); status != ERROR_SUCCESS)
    return status;
  for (std::u16string& name : names) {
    KeySnapshot child;
    child.name = std::move(name);
    if (LSTATUS status = TakeSnapshot(store, root, JoinPath(path, child.name), child);
        status != ERROR_SUCCESS) {
      return status;
    }
    snapshot.children.push_back(std::move(child));
  }
  return ERROR_SUCCESS;
}

// The store deletes only keys without sub keys, so the tree goes depth first.
LSTATUS DeleteTree(RegistryStore& store, HKEY root, const std::u16string& path) {
  std::vector<std::u16string> names;
  {
    KeyHandle key(store);
    if (LSTATUS status = key.Open(root, path, KEY_READ); status != ERROR_SUCCESS)
      return status;
    if (LSTATUS status = SubKeyNames(store, key.Get(), names); status != ERROR_SUCCESS) {
      return status;
    }
  }
  for (const std::u16string& name : names) {
    if (LSTATUS status = DeleteTree(store, root, JoinPath(path, name)); status != ERROR_SUCCESS) {
      return status;
    }
  }
  return store.DeleteKey(root, path, 0);
}

void RestoreTree(RegistryStore& store, HKEY root, const std::u16string& path,
                 const KeySnapshot& snapshot) {
  KeyHandle key(store);
  if (key.Create(root, path, kFillAccess) != ERROR_SUCCESS)
    return;
  for (const auto& [name, value] : snapshot.values) {
    store.SetValue(key.Get(), name, value.type, value.data);
  }
  for (const KeySnapshot& child : snapshot.children) {
    RestoreTree(store, root, JoinPath(path, child.name), child);
  }
}

// What undoes one change, so that a load the store refuses half-way leaves the store
// as it was.
struct UndoStep {
  enum class Kind { RemoveTree, RestoreTree, RestoreValue, RemoveValue, RestoreValues } kind;
  HKEY root = 0;
  std::u16string path;
  std::u16string name;
  RegValue value;
  KeySnapshot tree;
};

class Applier {
 public:
  explicit Applier(RegistryStore& store) : store_(store), key_(store) {}

  void Apply(const ParsedRegText& text) {
    try {
      for (const RegTextOp& op : text.ops)
        ApplyOne(op);
    } catch (...) {
      key_.Close();
      Undo();
      throw;
    }
  }

 private:
  void ApplyOne(const RegTextOp& op) {
    switch (op.kind) {
      case RegTextOpKind::CreateKey:
        return CreateKey(op);
      case RegTextOpKind::DeleteKey:
        return DeleteKey(op);
      case RegTextOpKind::SetValue:
      case RegTextOpKind::DeleteValue:
        return ChangeValue(op);
    }
  }

  static std::u16string KeyText(const RegTextOp& op) {
    return JoinPath(RegRootName(op.root), op.path);
  }

  [[noreturn]] static void KeyRefused(const RegTextOp& op, std::u16string_view what,
                                      LSTATUS status) {
    Fail(op.line, what, {KeyText(op), Number(status)});
  }

  [[noreturn]] static void ValueRefused(const RegTextOp& op, std::u16string_view what,
                                        LSTATUS status) {
    Fail(op.line, what, {op.name.empty() ? u"@" : op.name, KeyText(op), Number(status)});
  }

  void CreateKey(const RegTextOp& op) {
    // Remember the first key that does not exist yet: removing it undoes the creation.
    std::optional<std::u16string> firstMissing;
    std::size_t end = 0;
    while (!op.path.empty() && end != std::u16string::npos) {
      end = op.path.find(u'\\', end + 1);
      const std::u16string prefix = op.path.substr(0, end);
      HKEY probe = 0;
      const LSTATUS status = store_.OpenKey(op.root, prefix, 0, probe);
      if (status == ERROR_SUCCESS)
        store_.CloseKey(probe);
      if (status == ERROR_FILE_NOT_FOUND) {
        firstMissing = prefix;
        break;
      }
    }
    const LSTATUS status = key_.Create(op.root, op.path, kFillAccess);
    if (status != ERROR_SUCCESS) {
      key_.Close();
      KeyRefused(op, u"Schlüssel „%s“ kann nicht angelegt werden (Fehler %d)", status);
    }
    keyRoot_ = op.root;
    keyPath_ = op.path;
    if (firstMissing) {
      undo_.push_back({UndoStep::Kind::RemoveTree, op.root, *firstMissing, {}, {}, {}});
    }
  }

  void DeleteKey(const RegTextOp& op) {
    key_.Close();
    keyRoot_ = 0;
    UndoStep step{UndoStep::Kind::RestoreTree, op.root, op.path, {}, {}, {}};
    LSTATUS status = TakeSnapshot(store_, op.root, op.path, step.tree);
    if (status == ERROR_FILE_NOT_FOUND)
      return;  // nothing to delete
    if (status == ERROR_SUCCESS) {
      // Recorded before deleting, so that a delete that stops half-way is undone too.
      undo_.push_back(std::move(step));
      status = DeleteTree(store_, op.root, op.path);
    }
    if (status != ERROR_SUCCESS) {
      KeyRefused(op, u"Schlüssel „%s“ kann nicht gelöscht werden (Fehler %d)", status);
    }
  }

  void ChangeValue(const RegTextOp& op) {
    if (keyRoot_ != op.root || keyPath_ != op.path || key_.Get() == 0) {
      if (LSTATUS status = key_.Create(op.root, op.path, kFillAccess); status != ERROR_SUCCESS) {
        key_.Close();
        ValueRefused(op, u"Wert „%s“ in „%s“ kann nicht gesetzt werden (Fehler %d)", status);
      }
      keyRoot_ = op.root;
      keyPath_ = op.path;
    }
    UndoStep step{UndoStep::Kind::RestoreValue, op.root, op.path, op.name, {}, {}};
    std::uint32_t size = 0;
    LSTATUS status =
        store_.QueryValue(key_.Get(), op.name, step.value.type, size, &step.value.data);
    if (status == ERROR_FILE_NOT_FOUND) {
      if (op.kind == RegTextOpKind::DeleteValue)
        return;  // nothing to delete
      step.kind = UndoStep::Kind::RemoveValue;
      status = ERROR_SUCCESS;
    } else if (status == ERROR_SUCCESS && op.kind == RegTextOpKind::DeleteValue) {
      // A value set again would come last; the key's values keep their order only
      // when all of them are set again.
      step.kind = UndoStep::Kind::RestoreValues;
      status = ValuesOf(store_, key_.Get(), step.tree.values);
    }
    if (status == ERROR_SUCCESS) {
      status = op.kind == RegTextOpKind::SetValue
                   ? store_.SetValue(key_.Get(), op.name, op.value.type, op.value.data)
                   : store_.DeleteValue(key_.Get(), op.name);
    }
    if (status != ERROR_SUCCESS) {
      ValueRefused(op,
                   op.kind == RegTextOpKind::SetValue
                       ? u"Wert „%s“ in „%s“ kann nicht gesetzt werden (Fehler %d)"
                       : u"Wert „%s“ in „%s“ kann nicht gelöscht werden (Fehler %d)",
                   status);
    }
    undo_.push_back(std::move(step));
  }

  // Best effort, newest change first: a store that refused a change may refuse its
  // undoing too, and then there is nothing better left to do.
  void Undo() {
    for (auto step = undo_.rbegin(); step != undo_.rend(); ++step) {
      switch (step->kind) {
        case UndoStep::Kind::RemoveTree:
          DeleteTree(store_, step->root, step->path);
          break;
        case UndoStep::Kind::RestoreTree:
          RestoreTree(store_, step->root, step->path, step->tree);
          break;
        case UndoStep::Kind::RestoreValues: {
          KeyHandle key(store_);
          if (key.Open(step->root, step->path, kFillAccess) != ERROR_SUCCESS)
            break;
          std::vector<std::pair<std::u16string, RegValue>> present;
          ValuesOf(store_, key.Get(), present);
          for (const auto& value : present)
            store_.DeleteValue(key.Get(), value.first);
          for (const auto& [name, value] : step->tree.values) {
            store_.SetValue(key.Get(), name, value.type, value.data);
          }
          break;
        }
        case UndoStep::Kind::RestoreValue:
        case UndoStep::Kind::RemoveValue: {
          KeyHandle key(store_);
          if (key.Open(step->root, step->path, kFillAccess) != ERROR_SUCCESS)
            break;
          if (step->kind == UndoStep::Kind::RestoreValue) {
            store_.SetValue(key.Get(), step->name, step->value.type, step->value.data);
          } else {
            store_.DeleteValue(key.Get(), step->name);
          }
          break;
        }
      }
    }
    undo_.clear();
  }

  RegistryStore& store_;
  KeyHandle key_;
  HKEY keyRoot_ = 0;
  std::u16string keyPath_;
  std::vector<UndoStep> undo_;
};

}  // namespace

void ApplyRegText(const ParsedRegText& text, RegistryStore& store) {
  Applier applier(store);
  applier.Apply(text);
}

void LoadRegText(std::span<const std::uint8_t> bytes, RegistryStore& store) {
  ApplyRegText(ParseRegText(bytes), store);
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

void LoadRegTextFile(std::u16string_view fileName, RegistryStore& store) {
  const std::vector<std::uint8_t> bytes = ReadRegTextFile(fileName);
  try {
    LoadRegText(bytes, store);
  } catch (const ERegTextError& fault) {
    throw ERegTextError(fault.Line(), Format(u"Datei „%s“, %s", {fileName, fault.Message()}));
  }
}

}  // namespace brindel::registry::store
