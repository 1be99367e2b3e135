#pragma once

// Where Wine, on which the Windows build's tests run, behaves unlike Windows. Each
// helper gives what Windows does, and under Wine what Wine does instead, so that a
// test states the Windows result and marks the difference openly.

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/ErrorText.h"
#include "platform/Wine.h"

namespace brindel::test {

// The text of a result code as the English Windows words it. Wine words its system
// messages its own way; the form around them stays the program's.
inline std::u16string WindowsErrorText(std::int32_t code, std::u16string_view windowsText) {
  if (platform::RunningOnWine())
    return platform::ErrorText(code);
  return std::u16string(windowsText);
}

// What the ANSI conversion writes for a character outside the code page's plane
// (a surrogate pair): Windows one "?", Wine one for each half.
inline std::string QuestionMarksForSurrogatePair() {
  return platform::RunningOnWine() ? "??" : "?";
}

}  // namespace brindel::test
