#include "platform/Environment.h"

#include <windows.h>
#undef ExpandEnvironmentStrings

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

std::optional<std::u16string> ReadEnvironmentVariable(std::u16string_view name) {
  const std::wstring wideName(name.begin(), name.end());
  const DWORD size = ::GetEnvironmentVariableW(wideName.c_str(), nullptr, 0);
  if (size == 0)
    return std::nullopt;
  std::wstring value(size, L'\0');
  value.resize(::GetEnvironmentVariableW(wideName.c_str(), value.data(), size));
  return std::u16string(value.begin(), value.end());
}

void WriteEnvironmentVariable(std::u16string_view name,
                              const std::optional<std::u16string>& value) {
  const std::wstring wideName(name.begin(), name.end());
  const std::wstring wideValue = value ? std::wstring(value->begin(), value->end()) : L"";
  ::SetEnvironmentVariableW(wideName.c_str(), value ? wideValue.c_str() : nullptr);
}

}  // namespace brindel::platform
