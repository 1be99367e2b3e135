#include "regfile/RegImportReader.h"

#include <algorithm>
#include <array>
#include <utility>

#include "platform/Errors.h"
#include "platform/Text.h"
#include "regfile/RegTextData.h"
#include "regfile/RegTextError.h"
#include "regfile/RootKeyName.h"

namespace brindel::regfile {

using namespace registry::store;
using platform::Format;

namespace {

// A comment line is a line like any other while joining: it continues and is
// joined. A line that begins a value or key is never joined, so that nothing the
// export writes after a byte list can be swallowed by it.
constexpr RegLineRules kImportLines{.continuationStops = u"\"@[",
                                    .commentsContinue = true,
                                    .skipCommentsInContinuation = false,
                                    .lineBreakEscapes = true};
// A Version 5.00 text escapes each line break of a quoted text on its own, as \r and
// \n; there is no four-character form to replace first.
constexpr RegLineRules kVersion5Lines{.continuationStops = u"\"@[",
                                      .commentsContinue = true,
                                      .skipCommentsInContinuation = false,
                                      .lineBreakEscapes = false};

// The registry is no deeper than this many levels below a root; a key line deeper
// than that names no key any registry can hold.
constexpr std::size_t kMaxKeyDepth = 512;

enum class DataKind { Dword, Hex };

struct DataType {
  std::u16string_view name;  // compared without regard to letter case
  DataKind kind;
};

// A type is known by its name, which ends at a blank, "(" or ":".
constexpr std::array<DataType, 2> kDataTypeNames = {{
    {u"dword", DataKind::Dword},
    {u"hex", DataKind::Hex},
}};
constexpr std::u16string_view kDataTypeNameStops = u" (:";

// Reads one logical line, knowing where each character came from.
class StatementParser {
 public:
  StatementParser(const RegLogicalLine& line, const std::u16string& sourceName, int headerLine,
                  RegTextFormat format)
      : line_(line),
        text_(line.text),
        sourceName_(sourceName),
        headerLine_(headerLine),
        format_(format) {}

  // "[root\path]" or "[root]". The root alone selects that root with no key below it.
  RegImportStatement ParseKey() const {
    RegImportStatement statement;
    statement.kind = RegImportStatement::Kind::Key;
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
    const auto root = RootKeyFromName(rootName);
    if (!root)
      SyntaxError(rest);
    statement.root = *root;
    if (slash != std::u16string_view::npos) {
      if (static_cast<std::size_t>(std::count(rest.begin(), rest.end(), u'\\')) >= kMaxKeyDepth)
        TooDeep();
      statement.path = rest;
    }
    return statement;
  }

  // '"name"=data' or '@=data'.
  RegImportStatement ParseValue() {
    RegImportStatement statement;
    statement.kind = RegImportStatement::Kind::Value;
    pos_ = 1;
    if (text_.front() == u'"') {
      // \\ and \" stand for the character after the backslash, as the export writes
      // them, and in Version 5.00 \r and \n for a line break; any other backslash is
      // kept.
      std::u16string name;
      while (pos_ < text_.size() && text_[pos_] != u'"') {
        if (text_[pos_] == u'\\' && pos_ + 1 < text_.size()) {
          const char16_t next = text_[pos_ + 1];
          if (next == u'\\' || next == u'"') {
            ++pos_;
          } else if (format_ == RegTextFormat::Version5 && (next == u'r' || next == u'n')) {
            name += next == u'r' ? u'\r' : u'\n';
            pos_ += 2;
            continue;
          }
        }
        name += text_[pos_++];
      }
      if (pos_ >= text_.size())
        SyntaxError(text_.substr(1));
      ++pos_;
      statement.name = std::move(name);
    }
    SkipControls();
    if (pos_ >= text_.size() || text_[pos_] != u'=')
      SyntaxError(text_.substr(pos_));
    ++pos_;
    SkipControls();
    if (pos_ >= text_.size())
      SyntaxError({});
    RegValue& value = statement.value;
    if (text_[pos_] == u'"') {
      statement.form = RegImportStatement::Form::String;
      value.type = REG_SZ;
      value.data = Utf16LEBytes(BetweenEnds(text_.substr(pos_), format_), true);
      return statement;
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
      if (platform::SameTextIgnoreCase(candidate.name, typeName))
        type = &candidate;
    }
    if (type == nullptr)
      SyntaxError(text_.substr(pos_));
    if (type->kind == DataKind::Dword) {
      if (text_[pos_] != u':')
        SyntaxError(text_.substr(pos_));
      ++pos_;
      SkipControls();
      statement.form = RegImportStatement::Form::Dword;
      value.type = REG_DWORD;
      value.data = DwordBytes(NumberOrConvertError(text_.substr(pos_)));
      return statement;
    }
    statement.form = RegImportStatement::Form::Hex;
    value.type = REG_BINARY;
    if (text_[pos_] == u'(') {
      std::size_t close = text_.find(u')', pos_ + 1);
      if (close == std::u16string_view::npos)
        close = text_.size();
      value.type = NumberOrConvertError(text_.substr(pos_ + 1, close - pos_ - 1));
      pos_ = std::min(close + 1, text_.size());
      SkipControls();
    }
    if (pos_ >= text_.size() || text_[pos_] != u':')
      SyntaxError(text_.substr(pos_));
    ++pos_;
    value.data = ParseHexRuns();
    WidenText(value);
    return statement;
  }

  // The line of the file counted from the header line as 0; a joined line is known
  // by its last part.
  int ImportLine() const { return line_.LastLine() - headerLine_; }

  [[noreturn]] void TooDeep() const {
    throw ERegTextError(
        line_.LastLine(),
        Format(
            u"Der Schlüssel in Zeile %d von „%s“ liegt mehr als %d Ebenen tief; so tief "
            u"reicht keine Registry.",
            {platform::Decimal(line_.FirstLine()), sourceName_, platform::Decimal(kMaxKeyDepth)}));
  }

  [[noreturn]] void SyntaxError(std::u16string_view rest) const {
    throw ERegTextError(line_.LastLine(),
                        Format(u"Syntax error in reg file %s at line %d with string: %s",
                               {sourceName_, platform::Decimal(ImportLine()), rest}));
  }

 private:
  void SkipControls() {
    while (pos_ < text_.size() && IsRegBlank(text_[pos_]))
      ++pos_;
  }

  // The characters between the first and the last, whatever those are. A backslash
  // is dropped and the character after it taken as it is, unless that is the last;
  // in Version 5.00 \r and \n are line breaks.
  static std::u16string BetweenEnds(std::u16string_view data, RegTextFormat format) {
    std::u16string text;
    if (data.size() < 2)
      return text;
    const std::u16string_view inner = data.substr(1, data.size() - 2);
    for (std::size_t i = 0; i < inner.size(); ++i) {
      if (inner[i] == u'\\') {
        if (++i >= inner.size())
          break;
        if (format == RegTextFormat::Version5 && (inner[i] == u'r' || inner[i] == u'n')) {
          text += inner[i] == u'r' ? u'\r' : u'\n';
          continue;
        }
      }
      text += inner[i];
    }
    return text;
  }

  // Every run of hex digits is one number; anything else ends a run. The numbers
  // are kept whole until WidenText has looked at them, then taken modulo 256.
  std::vector<std::uint8_t> ParseHexRuns() {
    std::vector<std::uint8_t> bytes;
    runNumbers_.clear();
    while (pos_ < text_.size()) {
      if (!IsRegHexDigit(text_[pos_])) {
        ++pos_;
        continue;
      }
      const std::size_t start = pos_;
      while (pos_ < text_.size() && IsRegHexDigit(text_[pos_]))
        ++pos_;
      const std::uint32_t number = NumberOrConvertError(text_.substr(start, pos_ - start));
      runNumbers_.push_back(number);
      bytes.push_back(static_cast<std::uint8_t>(number & 0xFF));
    }
    return bytes;
  }

  // REGEDIT4 holds the text of REG_EXPAND_SZ and REG_MULTI_SZ one number per
  // character; the registry holds UTF-16. The export wrote the low byte of every
  // code unit, so a number is a code unit (its low 16 bits). Version 5.00 holds the
  // UTF-16 bytes themselves.
  void WidenText(RegValue& value) const {
    if (format_ != RegTextFormat::Regedit4 ||
        (value.type != REG_EXPAND_SZ && value.type != REG_MULTI_SZ))
      return;
    std::u16string units;
    for (const std::uint32_t number : runNumbers_)
      units += static_cast<char16_t>(number & 0xFFFF);
    value.data = Utf16LEBytes(units, false);
  }

  std::uint32_t NumberOrConvertError(std::u16string_view digits) const {
    const auto number = ParseRegHexNumber(digits);
    if (!number) {
      throw platform::EConvertError(Format(u"'%s' ist kein gültiger Integerwert (Zeile %d)",
                                           {digits, platform::Decimal(ImportLine())}));
    }
    return *number;
  }

  const RegLogicalLine& line_;
  std::u16string_view text_;
  const std::u16string& sourceName_;
  int headerLine_ = 0;
  RegTextFormat format_;
  std::size_t pos_ = 0;
  std::vector<std::uint32_t> runNumbers_;
};

}  // namespace

bool RegImportReader::Lines::Next(RegTextLine& line) {
  if (ended_ || !decoded_.Next(line))
    return false;
  const bool first = std::exchange(first_, false);
  const std::size_t nul = line.text.find(u'\0');
  if (nul == std::u16string::npos)
    return true;
  ended_ = true;
  line.text.resize(nul);
  return !line.text.empty() || first;
}

RegImportReader::RegImportReader(std::span<const std::uint8_t> bytes,
                                 std::u16string_view sourceName)
    : sourceName_(sourceName), lines_(bytes), reader_(lines_, kImportLines) {
  // Nothing but blank and comment lines has no header either.
  const RegTextLine* header = reader_.ReadHeader();
  if (header != nullptr && header->text == kVersion5Header) {
    format_ = RegTextFormat::Version5;
    reader_.SetRules(kVersion5Lines);
  } else if (header == nullptr || header->text != kRegedit4Header) {
    throw ERegTextError(header == nullptr ? 0 : header->number,
                        u"Bad file format.  Missing REGEDIT4 in first line.");
  }
  headerLine_ = header->number;
}

bool RegImportReader::Next(RegImportStatement& statement) {
  RegLogicalLine line;
  while (reader_.Next(line)) {
    if (line.text.empty() || line.text.front() == u';')
      continue;
    StatementParser parser(line, sourceName_, headerLine_, format_);
    switch (line.text.front()) {
      case u'[':
        statement = parser.ParseKey();
        return true;
      case u'"':
      case u'@':
        statement = parser.ParseValue();
        return true;
      default:
        // A line of no known kind.
        parser.SyntaxError(line.text);
    }
  }
  return false;
}

}  // namespace brindel::regfile
