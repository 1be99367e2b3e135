#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace brindel::platform {

// UTF-16 is the text of the core; these are the conversions at its edges.
// Unpaired surrogates become U+FFFD, invalid UTF-8 sequences too.
std::string ToUtf8(std::u16string_view text);
std::u16string FromUtf8(std::string_view text);

// Upper case of one UTF-16 code unit, the same on every platform: ASCII, Latin-1,
// Latin Extended-A, Greek, Cyrillic and fullwidth Latin letters. Registry names and
// the sorted lists compare by this.
char16_t UpperUnit(char16_t unit);
std::u16string UpperCase(std::u16string_view text);

// Compares by upper-casing each code unit and then comparing code units.
// Returns <0, 0 or >0.
int CompareTextIgnoreCase(std::u16string_view a, std::u16string_view b);
bool SameTextIgnoreCase(std::u16string_view a, std::u16string_view b);

// Lower case of ASCII letters only, as section ids and hex text need.
std::u16string AsciiLowerCase(std::u16string_view text);
std::u16string AsciiUpperCase(std::u16string_view text);

// The text in German quotation marks, „so“, as messages name a key or a file.
std::u16string InGermanQuotes(std::u16string_view text);

// A short literal as UTF-16, for code that builds texts from ASCII pieces.
std::u16string Widen(std::string_view ascii);

// A whole number in decimal digits, with a minus sign when negative, as counts and
// codes appear in logs and messages.
std::u16string Decimal(std::int64_t value);

// The text without the characters up to U+0020 at either end: blanks, tabs, line
// breaks, NUL and the other control characters. A view into the text it was given.
std::u16string_view Trim(std::u16string_view text);

// printf-like formatting of UTF-16 text: each %s or %d takes the next argument,
// already written as text; %% gives one percent sign.
std::u16string Format(std::u16string_view pattern,
                      std::initializer_list<std::u16string_view> texts);

}  // namespace brindel::platform
