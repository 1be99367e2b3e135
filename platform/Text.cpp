#include "platform/Text.h"

#include <cstdint>
#include <string>

namespace brindel::platform {

std::string ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    std::uint32_t cp = text[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00u);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = 0xFFFD;
    }
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp < 0x800) {
      out += static_cast<char>(0xC0 | (cp >> 6));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      out += static_cast<char>(0xE0 | (cp >> 12));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (cp >> 18));
      out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    }
  }
  return out;
}

std::u16string FromUtf8(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    int extra = 0;
    std::uint32_t cp = 0;
    if (lead < 0x80) {
      cp = lead;
    } else if ((lead & 0xE0) == 0xC0) {
      extra = 1;
      cp = lead & 0x1Fu;
    } else if ((lead & 0xF0) == 0xE0) {
      extra = 2;
      cp = lead & 0x0Fu;
    } else if ((lead & 0xF8) == 0xF0) {
      extra = 3;
      cp = lead & 0x07u;
    } else {
      out += u'\xFFFD';
      ++i;
      continue;
    }
    bool valid = true;
    for (int k = 1; valid && k <= extra; ++k) {
      if (i + k >= text.size()) {
        valid = false;
        break;
      }
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) {
        valid = false;
        break;
      }
      cp = (cp << 6) | (next & 0x3Fu);
    }
    const bool overlong =
        (extra == 1 && cp < 0x80) || (extra == 2 && cp < 0x800) || (extra == 3 && cp < 0x10000);
    if (!valid || overlong || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
      out += u'\xFFFD';
      ++i;
      continue;
    }
    i += static_cast<std::size_t>(extra) + 1;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (cp >> 10));
      out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    } else {
      out += static_cast<char16_t>(cp);
    }
  }
  return out;
}

char16_t UpperUnit(char16_t c) {
  if (c < 0x80) {
    return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 0x20) : c;
  }
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7)
    return static_cast<char16_t>(c - 0x20);
  if (c == 0xFF)
    return 0x178;
  if (c == 0xB5)
    return 0x39C;
  if (c >= 0x100 && c <= 0x17F) {
    // Latin Extended-A pairs upper/lower letters; two runs start on an odd code.
    const bool oddUpperRun = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
    if (c == 0x131)
      return u'I';
    if (c == 0x130 || c == 0x138 || c == 0x149)
      return c;
    if (c == 0x17F)
      return u'S';
    if (oddUpperRun)
      return (c % 2 == 0) ? static_cast<char16_t>(c - 1) : c;
    return (c % 2 == 1) ? static_cast<char16_t>(c - 1) : c;
  }
  if (c >= 0x3B1 && c <= 0x3CB && c != 0x3C2)
    return static_cast<char16_t>(c - 0x20);
  if (c == 0x3C2)
    return 0x3A3;
  if (c == 0x3AC)
    return 0x386;
  if (c >= 0x3AD && c <= 0x3AF)
    return static_cast<char16_t>(c - 0x25);
  if (c == 0x3CC)
    return 0x38C;
  if (c == 0x3CD || c == 0x3CE)
    return static_cast<char16_t>(c - 0x3F);
  if (c >= 0x430 && c <= 0x44F)
    return static_cast<char16_t>(c - 0x20);
  if (c >= 0x450 && c <= 0x45F)
    return static_cast<char16_t>(c - 0x50);
  if (c >= 0xFF41 && c <= 0xFF5A)
    return static_cast<char16_t>(c - 0x20);
  return c;
}

std::u16string UpperCase(std::u16string_view text) {
  std::u16string out(text);
  for (auto& c : out)
    c = UpperUnit(c);
  return out;
}

int CompareTextIgnoreCase(std::u16string_view a, std::u16string_view b) {
  const std::size_t n = a.size() < b.size() ? a.size() : b.size();
  for (std::size_t i = 0; i < n; ++i) {
    // Equal units need no table, and ASCII none either: the lookups of a registry
    // walk compare long runs of both.
    if (a[i] == b[i])
      continue;
    const auto upper = [](char16_t c) {
      if (c >= 0x80)
        return UpperUnit(c);
      return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 0x20) : c;
    };
    const char16_t x = upper(a[i]);
    const char16_t y = upper(b[i]);
    if (x != y)
      return x < y ? -1 : 1;
  }
  if (a.size() == b.size())
    return 0;
  return a.size() < b.size() ? -1 : 1;
}

bool SameTextIgnoreCase(std::u16string_view a, std::u16string_view b) {
  return a.size() == b.size() && CompareTextIgnoreCase(a, b) == 0;
}

std::u16string AsciiLowerCase(std::u16string_view text) {
  std::u16string out(text);
  for (auto& c : out) {
    if (c >= u'A' && c <= u'Z')
      c = static_cast<char16_t>(c + 0x20);
  }
  return out;
}

std::u16string AsciiUpperCase(std::u16string_view text) {
  std::u16string out(text);
  for (auto& c : out) {
    if (c >= u'a' && c <= u'z')
      c = static_cast<char16_t>(c - 0x20);
  }
  return out;
}

std::u16string Widen(std::string_view ascii) {
  return std::u16string(ascii.begin(), ascii.end());
}

std::u16string Decimal(std::int64_t value) {
  return Widen(std::to_string(value));
}

std::u16string_view Trim(std::u16string_view text) {
  while (!text.empty() && text.front() <= u' ')
    text.remove_prefix(1);
  while (!text.empty() && text.back() <= u' ')
    text.remove_suffix(1);
  return text;
}

std::u16string Format(std::u16string_view pattern,
                      std::initializer_list<std::u16string_view> texts) {
  std::u16string out;
  auto next = texts.begin();
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] == u'%' && i + 1 < pattern.size()) {
      const char16_t conversion = pattern[i + 1];
      if (conversion == u'%') {
        out += u'%';
        ++i;
        continue;
      }
      if (conversion == u's' || conversion == u'd') {
        if (next != texts.end())
          out += *next++;
        ++i;
        continue;
      }
    }
    out += pattern[i];
  }
  return out;
}

std::u16string InGermanQuotes(std::u16string_view text) {
  return u"„" + std::u16string(text) + u"“";
}

}  // namespace brindel::platform
