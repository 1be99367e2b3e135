#include "regfile/RegTextReader.h"

#include <array>
#include <optional>

#include "platform/AnsiCodePage.h"
#include "platform/Text.h"
#include "regfile/RegTextData.h"
#include "regfile/RootKeyName.h"

namespace brindel::regfile {

using namespace registry::store;

namespace {

enum class DataKind { Dword, Hex, HexTyped };

struct DataType {
  std::u16string_view tag;  // compared without regard to letter case
  DataKind kind;
};

// A type is known by its tag, punctuation included.
constexpr std::array<DataType, 3> kDataTypes = {{
    {u"dword:", DataKind::Dword},
    {u"hex:", DataKind::Hex},
    {u"hex(", DataKind::HexTyped},
}};

// Reads one logical line, knowing where each character came from.
class StatementParser {
 public:
  StatementParser(const RegLogicalLine& line, RegTextFormat format)
      : line_(line), text_(line.text), format_(format) {}

  // The key line "[...]" or "[-...]". Returns the operation.
  RegTextOp ParseKey() {
    RegTextOp op;
    op.line = line_.FirstLine();
    // Key names may hold "]", so the name ends at the last one on the line.
    const std::size_t close = text_.rfind(u']');
    if (close == std::u16string_view::npos)
      FailAtLine(op.line, u"schließende Klammer „]“ fehlt");
    RestMustBeEmpty(close + 1);
    std::u16string_view name = text_.substr(1, close - 1);
    op.kind = RegTextOpKind::CreateKey;
    if (!name.empty() && name.front() == u'-') {
      op.kind = RegTextOpKind::DeleteKey;
      name.remove_prefix(1);
    }
    const std::size_t slash = name.find(u'\\');
    const std::u16string_view rootName = name.substr(0, slash);
    const auto root = LenientRootKeyFromName(rootName);
    if (!root && rootName.empty()) {
      FailAtLine(op.line, u"Schlüssel „%s“ ohne Stammschlüssel wie HKEY_CURRENT_USER", {name});
    }
    if (!root)
      FailAtLine(op.line, u"unbekannter Stammschlüssel „%s“", {rootName});
    op.root = *root;
    if (slash != std::u16string_view::npos)
      op.path = name.substr(slash + 1);
    if (slash != std::u16string_view::npos && op.path.empty()) {
      FailAtLine(op.line, u"ungültiger Schlüsselname „%s“", {name});
    }
    // Empty names between backslashes would address another key than the one meant.
    std::size_t start = 0;
    std::size_t depth = 0;
    while (slash != std::u16string_view::npos && start <= op.path.size()) {
      if (++depth > kMaxKeyDepth) {
        FailAtLine(op.line, u"Schlüssel mehr als %d Ebenen tief; so tief reicht keine Registry",
                   {platform::Decimal(kMaxKeyDepth)});
      }
      std::size_t end = op.path.find(u'\\', start);
      if (end == std::u16string::npos)
        end = op.path.size();
      if (end == start)
        FailAtLine(op.line, u"ungültiger Schlüsselname „%s“", {name});
      if (end - start > kMaxKeyNameLength) {
        FailAtLine(op.line, u"Schlüsselname länger als %d Zeichen",
                   {platform::Decimal(kMaxKeyNameLength)});
      }
      start = end + 1;
    }
    if (op.kind == RegTextOpKind::DeleteKey && op.path.empty()) {
      FailAtLine(op.line, u"ein Stammschlüssel kann nicht gelöscht werden");
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
        FailAtLine(op.line, u"Wertname länger als %d Zeichen",
                   {platform::Decimal(kMaxValueNameLength)});
      }
    }
    SkipBlanks();
    if (pos_ >= text_.size() || text_[pos_] != u'=')
      FailAtLine(LineHere(), u"„=“ fehlt nach dem Wertnamen");
    ++pos_;
    SkipBlanks();
    if (pos_ >= text_.size())
      FailAtLine(LineHere(), u"Daten fehlen nach „=“");
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
          Utf16LEBytes(Unescape(u"schließendes Anführungszeichen der Zeichenkette fehlt"), true);
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
      FailAtLine(LineHere(), u"unerwarteter Text „%s“", {text_.substr(pos_)});
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
    FailAtLine(line_.FirstLine(), missingQuote);
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
      FailAtLine(LineHere(), u"unbekannter Datentyp „%s“",
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
    while (pos_ < text_.size() && IsRegHexDigit(text_[pos_]) && pos_ - start < 9) {
      number = (number << 4) | RegHexDigitValue(text_[pos_]);
      ++pos_;
    }
    return number;
  }

  std::vector<std::uint8_t> ParseDword() {
    const std::size_t start = pos_;
    const std::uint32_t number = ParseHexRun();
    const std::size_t digits = pos_ - start;
    if (digits == 0 || digits > 8) {
      FailAtLine(LineHere(), u"ungültige DWORD-Daten „%s“ (1 bis 8 Hex-Ziffern erwartet)",
                 {text_.substr(start)});
    }
    RestMustBeEmpty(pos_);
    return DwordBytes(number);
  }

  // "N):" with N hexadecimal, as regedit writes the type: hex(b): is type 11.
  std::uint32_t ParseTypeNumber() {
    const std::size_t start = pos_;
    const std::uint32_t number = ParseHexRun();
    const std::size_t digits = pos_ - start;
    if (digits == 0 || digits > 8 || text_.substr(pos_, 2) != u"):") {
      const std::size_t close = text_.find(u')', start);
      FailAtLine(LineHere(), u"ungültiger Typ „hex(%s“",
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
    std::vector<std::uint8_t> bytes;
    SkipBlanks();
    while (pos_ < text_.size() && text_[pos_] != u';') {
      if (text_[pos_] == u'\\') {
        RestMustBeEmpty(pos_ + 1);
        break;
      }
      const std::size_t start = pos_;
      unsigned byte = 0;
      while (pos_ < text_.size() && IsRegHexDigit(text_[pos_]) && pos_ - start < 3) {
        byte = (byte << 4) | RegHexDigitValue(text_[pos_]);
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
    const std::u16string_view piece = platform::Trim(text_.substr(start, end - start));
    if (piece.empty())
      FailAtLine(line_.LineAt(start), u"ungültige Hex-Daten: ein Byte fehlt vor „,“");
    FailAtLine(line_.LineAt(start), u"ungültige Hex-Daten „%s“ (zwei Hex-Ziffern je Byte erwartet)",
               {piece});
  }

  // REGEDIT4 holds the text of REG_EXPAND_SZ and REG_MULTI_SZ one byte of the ANSI
  // code page per character; the registry holds UTF-16.
  void WidenText(RegValue& value) const {
    if (format_ != RegTextFormat::Regedit4 ||
        (value.type != REG_EXPAND_SZ && value.type != REG_MULTI_SZ)) {
      return;
    }
    const std::string_view ansi(reinterpret_cast<const char*>(value.data.data()),
                                value.data.size());
    value.data = Utf16LEBytes(platform::FromAnsi(ansi), false);
  }

  const RegLogicalLine& line_;
  std::u16string_view text_;
  RegTextFormat format_;
  std::size_t pos_ = 0;
};

}  // namespace

RegTextReader::RegTextReader(std::span<const std::uint8_t> bytes) : reader_({}) {
  RegTextDecoded decoded = DecodeRegText(bytes);
  encoding_ = decoded.encoding;
  lines_ = std::move(decoded.lines);
  // Some tools pad a file with NULs at its end; they carry nothing. Any other NUL is
  // a fault of its statement.
  while (!lines_.empty()) {
    std::u16string& last = lines_.back().text;
    while (!last.empty() && last.back() == u'\0')
      last.pop_back();
    if (!last.empty() || lines_.size() == 1)
      break;
    lines_.pop_back();
  }
  reader_ = RegLineReader(lines_);

  const RegTextLine* header = reader_.ReadHeader();
  if (header == nullptr) {
    throw ERegTextError(0, u"Die Datei ist leer: sie enthält keine Registrierungsdaten.");
  }
  const std::u16string_view headerText = platform::Trim(header->text);
  if (headerText == kRegedit4Header) {
    format_ = RegTextFormat::Regedit4;
  } else if (headerText == kVersion5Header) {
    format_ = RegTextFormat::Version5;
  } else {
    FailAtLine(header->number, u"keine Registrierungsdatei: „%s“ oder „%s“ erwartet",
               {kRegedit4Header, kVersion5Header});
  }
}

bool RegTextReader::Next(RegTextOp& op) {
  RegLogicalLine line;
  while (reader_.Next(line)) {
    if (const std::size_t nul = line.text.find(u'\0'); nul != std::u16string::npos) {
      FailAtLine(line.LineAt(nul), u"unzulässiges NUL-Zeichen");
    }
    if (line.text.empty() || line.text.front() == u';')
      continue;
    StatementParser statement(line, format_);
    switch (line.text.front()) {
      case u'[': {
        op = statement.ParseKey();
        // Values after a deleted key have no key to go to.
        haveKey_ = op.kind == RegTextOpKind::CreateKey;
        keyRoot_ = op.root;
        keyPath_ = op.path;
        return true;
      }
      case u'"':
      case u'@': {
        if (!haveKey_) {
          FailAtLine(line.FirstLine(),
                     u"Wert ohne Schlüssel: vor dieser Zeile fehlt eine Zeile „[...]“");
        }
        op = RegTextOp{};
        op.line = line.FirstLine();
        op.root = keyRoot_;
        op.path = keyPath_;
        statement.ParseValue(op);
        return true;
      }
      default:
        // Lines of no known kind: regedit passes over them.
        break;
    }
  }
  return false;
}

ParsedRegText ParseRegText(std::span<const std::uint8_t> bytes) {
  RegTextReader reader(bytes);
  ParsedRegText parsed;
  parsed.format = reader.Format();
  parsed.encoding = reader.Encoding();
  RegTextOp op;
  while (reader.Next(op))
    parsed.ops.push_back(std::move(op));
  return parsed;
}

}  // namespace brindel::regfile
