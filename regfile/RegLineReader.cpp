#include "regfile/RegLineReader.h"

#include "platform/Text.h"

namespace brindel::regfile {

namespace {

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

}  // namespace

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

RegLineReader::RegLineReader(RegLineSource& source, RegLineRules rules)
    : rules_(rules), source_(&source) {}

const RegTextLine* RegLineReader::Peek() {
  if (source_ == nullptr)
    return index_ < lines_.size() ? &lines_[index_] : nullptr;
  if (!haveAhead_)
    haveAhead_ = source_->Next(ahead_);
  return haveAhead_ ? &ahead_ : nullptr;
}

void RegLineReader::Advance() {
  if (source_ == nullptr)
    ++index_;
  else
    haveAhead_ = false;
}

const RegTextLine* RegLineReader::ReadHeader() {
  while (const RegTextLine* line = Peek()) {
    const std::u16string_view text = platform::Trim(line->text);
    if (!text.empty() && text.front() != u';') {
      if (source_ == nullptr) {
        Advance();
        return line;
      }
      header_ = std::move(ahead_);
      Advance();
      return &header_;
    }
    Advance();
  }
  return nullptr;
}

bool RegLineReader::Next(RegLogicalLine& line) {
  const RegTextLine* first = Peek();
  if (first == nullptr)
    return false;
  line.text = platform::Trim(first->text);
  line.parts.assign(1, {0, first->number});
  Advance();
  // A key line has no escapes: its "\r\n" is the key "r" and a key below it.
  if (rules_.lineBreakEscapes && (line.text.empty() || line.text.front() != u'['))
    ReplaceLineBreakEscapes(line.text);
  if (!rules_.commentsContinue && !line.text.empty() && line.text.front() == u';')
    return true;
  while (!line.text.empty() && line.text.back() == u'\\') {
    const RegTextLine* following = Peek();
    if (following == nullptr)
      break;
    const std::u16string_view next = platform::Trim(following->text);
    if (!next.empty() && rules_.continuationStops.find(next.front()) != std::u16string_view::npos) {
      break;
    }
    if (rules_.skipCommentsInContinuation && !next.empty() && next.front() == u';') {
      Advance();
      continue;
    }
    line.text.pop_back();
    line.parts.push_back({line.text.size(), following->number});
    line.text += next;
    Advance();
  }
  return true;
}

}  // namespace brindel::regfile
