#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <initializer_list>
#include <memory>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "regfile/ExRegistry.h"

namespace brindel::test {

// The bytes of a .reg text: every line followed by CR LF.
inline std::string RegLines(std::initializer_list<std::string_view> lines) {
  std::string text;
  for (std::string_view line : lines) {
    text += line;
    text += "\r\n";
  }
  return text;
}

inline std::string RegLines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines)
    text += line + "\r\n";
  return text;
}

// The bytes of a Version 5.00 text: the byte-order mark, then every line in UTF-16LE
// followed by CR LF.
inline std::string Version5Lines(std::initializer_list<std::u16string_view> lines) {
  std::string text = "\xFF\xFE";
  for (std::u16string_view line : lines) {
    for (const char16_t unit : std::u16string(line) + u"\r\n") {
      text += static_cast<char>(unit & 0xFF);
      text += static_cast<char>(unit >> 8);
    }
  }
  return text;
}

// Control characters and bytes beyond ASCII made visible, for failure messages.
inline std::string Visible(std::string_view line) {
  std::string out;
  for (char ch : line) {
    const auto byte = static_cast<unsigned char>(ch);
    if (byte == '\r') {
      out += "<CR>";
    } else if (byte == '\n') {
      out += "<LF>";
    } else if (byte < 0x20 || byte >= 0x7F) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "<%02X>", byte);
      out += hex;
    } else {
      out += ch;
    }
  }
  return out;
}

inline std::vector<std::string_view> SplitCrLf(std::string_view text) {
  std::vector<std::string_view> lines;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = text.find("\r\n", start);
    if (end == std::string_view::npos) {
      lines.push_back(text.substr(start));
      return lines;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + 2;
  }
}

// Compares two texts byte for byte; on a difference names the first line that differs.
inline ::testing::AssertionResult SameRegText(const char*, const char*, std::string_view expected,
                                              std::string_view actual) {
  if (expected == actual)
    return ::testing::AssertionSuccess();
  const auto want = SplitCrLf(expected);
  const auto got = SplitCrLf(actual);
  std::ostringstream message;
  for (std::size_t i = 0; i < std::max(want.size(), got.size()); ++i) {
    const bool haveWant = i < want.size();
    const bool haveGot = i < got.size();
    if (haveWant && haveGot && want[i] == got[i])
      continue;
    message << "texts differ at line " << i + 1 << " (of " << want.size() << " expected, "
            << got.size() << " actual; lines split at CR LF)\n"
            << "  expected: " << (haveWant ? Visible(want[i]) : "<no line>") << "\n"
            << "  actual:   " << (haveGot ? Visible(got[i]) : "<no line>");
    break;
  }
  return ::testing::AssertionFailure() << message.str();
}

// The export of the object's tree in the stream form, or "<failed>".
inline std::string ExportedText(regfile::TExRegistry& reg) {
  std::unique_ptr<regfile::TMemoryStream> stream;
  if (!reg.ExportKey(u"", true, stream) || !stream)
    return "<failed>";
  return std::string(stream->Bytes());
}

}  // namespace brindel::test
