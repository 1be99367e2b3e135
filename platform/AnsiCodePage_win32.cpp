#include "platform/AnsiCodePage.h"

#include <windows.h>

#include <climits>

namespace brindel::platform {

// No flags: a character the code page lacks becomes its default character.
std::string ToAnsi(std::u16string_view text) {
  if (text.empty())
    return {};
  if (text.size() > static_cast<std::size_t>(INT_MAX))
    return {};
  const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
  const int units = static_cast<int>(text.size());
  const int size = ::WideCharToMultiByte(CP_ACP, 0, wide, units, nullptr, 0, nullptr, nullptr);
  if (size <= 0)
    return {};
  std::string out(static_cast<std::size_t>(size), '\0');
  ::WideCharToMultiByte(CP_ACP, 0, wide, units, out.data(), size, nullptr, nullptr);
  return out;
}

std::u16string FromAnsi(std::string_view bytes) {
  if (bytes.empty())
    return {};
  if (bytes.size() > static_cast<std::size_t>(INT_MAX))
    return {};
  const int count = static_cast<int>(bytes.size());
  const int size = ::MultiByteToWideChar(CP_ACP, 0, bytes.data(), count, nullptr, 0);
  if (size <= 0)
    return {};
  std::u16string out(static_cast<std::size_t>(size), u'\0');
  ::MultiByteToWideChar(CP_ACP, 0, bytes.data(), count, reinterpret_cast<wchar_t*>(out.data()),
                        size);
  return out;
}

}  // namespace brindel::platform
