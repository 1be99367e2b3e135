#include "platform/Environment.h"

#include <windows.h>

#include <vector>

namespace brindel::platform {

std::u16string ExpandEnvironmentStrings(std::u16string_view text) {
  const std::wstring source(text.begin(), text.end());
  // First ask for the length, then expand into a buffer of that length.
  const DWORD needed = ExpandEnvironmentStringsW(source.c_str(), nullptr, 0);
  if (needed == 0)
    return std::u16string(text);
  std::vector<wchar_t> buffer(needed);
  if (ExpandEnvironmentStringsW(source.c_str(), buffer.data(), needed) == 0) {
    return std::u16string(text);
  }
  // Up to the terminating NUL.
  std::u16string result;
  for (const wchar_t c : buffer) {
    if (c == L'\0')
      break;
    result += static_cast<char16_t>(c);
  }
  return result;
}

}  // namespace brindel::platform
