#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace brindel::platform {

// The system's ANSI code page, in which the .reg and .log files are written.
// Where the platform has none (Linux) it is Windows-1252; a character the code
// page lacks becomes "?", as WideCharToMultiByte does by default.
std::string ToAnsi(std::u16string_view text);
std::u16string FromAnsi(std::string_view bytes);

// The conversion of ToAnsi for writers that turn much text into bytes as they go.
// The code units below 256 that the code page writes as one byte each are looked up
// in a table made once from the code page; only the rest goes through the full
// conversion. The code page gives every character its bytes regardless of its
// neighbours, so converting a text piece by piece gives the bytes of converting it
// whole, as long as no piece ends between the two halves of a surrogate pair.
class TAnsiEncoder {
 public:
  // The most bytes that one UTF-16 code unit becomes in a code page that Windows
  // takes as its ANSI code page (UTF-8 included).
  static constexpr std::size_t kMaxBytesPerUnit = 3;

  // The encoder of the system's ANSI code page.
  static const TAnsiEncoder& System();

  // True when the code page gives every code unit of text back as it was: the text
  // read back from its bytes is the text. "?" for a character the code page lacks,
  // a lone surrogate or a look-alike would make it another text.
  bool Holds(std::u16string_view text) const {
    for (std::size_t i = 0; i < text.size(); ++i) {
      if (InTable(text[i])) {
        if (!holds_[text[i]])
          return false;
        continue;
      }
      std::size_t end = i + 1;
      while (end < text.size() && !InTable(text[end]))
        ++end;
      if (!HoldsOthers(text.substr(i, end - i)))
        return false;
      i = end - 1;
    }
    return true;
  }

  // Writes the bytes of text to out, which has room for kMaxBytesPerUnit bytes per
  // code unit, and returns the end of what it wrote; nullptr when the system refuses
  // the conversion.
  char* Encode(std::u16string_view text, char* out) const {
    const char16_t* unit = text.data();
    const char16_t* const end = unit + text.size();
    while (unit != end) {
      if (InTable(*unit)) {
        *out++ = bytes_[*unit++];
        continue;
      }
      const char16_t* const first = unit;
      while (unit != end && !InTable(*unit))
        ++unit;
      out = EncodeOthers(std::u16string_view(first, static_cast<std::size_t>(unit - first)), out);
      if (out == nullptr)
        return nullptr;
    }
    return out;
  }

 private:
  static constexpr std::size_t kTableSize = 256;

  TAnsiEncoder();
  bool InTable(char16_t unit) const { return unit < kTableSize && single_[unit]; }
  // The full conversion of units the table does not hold.
  char* EncodeOthers(std::u16string_view text, char* out) const;
  // Holds for units the table does not hold.
  bool HoldsOthers(std::u16string_view text) const;

  std::array<char, kTableSize> bytes_{};
  std::array<bool, kTableSize> single_{};
  // The byte of the unit reads back as the unit.
  std::array<bool, kTableSize> holds_{};
};

}  // namespace brindel::platform
