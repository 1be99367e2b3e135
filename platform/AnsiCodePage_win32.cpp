#include "platform/AnsiCodePage.h"

#include <windows.h>

#include <climits>

namespace brindel::platform {

namespace {

// A character the code page lacks becomes its default character "?", never a
// look-alike: Windows' best fit would write "Ā" as "A" into a backup, which an import
// then reads as the name of another key. "?" is a loss the reader can see, and the
// same one the program shows on every system.
constexpr DWORD kFlags = WC_NO_BEST_FIT_CHARS;

}  // namespace

std::string ToAnsi(std::u16string_view text) {
  if (text.empty())
    return {};
  if (text.size() > static_cast<std::size_t>(INT_MAX))
    return {};
  const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
  const int units = static_cast<int>(text.size());
  const int size = ::WideCharToMultiByte(CP_ACP, kFlags, wide, units, nullptr, 0, nullptr, nullptr);
  if (size <= 0)
    return {};
  std::string out(static_cast<std::size_t>(size), '\0');
  ::WideCharToMultiByte(CP_ACP, kFlags, wide, units, out.data(), size, nullptr, nullptr);
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
