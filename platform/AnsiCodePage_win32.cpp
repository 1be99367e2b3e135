#include "platform/AnsiCodePage.h"

#include <windows.h>

#include <climits>

namespace brindel::platform {

namespace {

// A character the code page lacks becomes its default character "?", never a
// look-alike: Windows' best fit would write "Ā" as "A" into a backup, which an import
// then reads as the name of another key. "?" is a loss the reader can see, and the
// same one the program shows on every system. UTF-8 as the ANSI code page has no
// best fit and refuses the flag: the conversion would fail and write nothing.
DWORD ConversionFlags() {
  static const DWORD flags = ::GetACP() == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
  return flags;
}

// The bytes of text in out, at most outSize of them; their count, or 0 when the
// system refuses.
int Convert(std::u16string_view text, char* out, int outSize) {
  if (text.size() > static_cast<std::size_t>(INT_MAX))
    return 0;
  return ::WideCharToMultiByte(CP_ACP, ConversionFlags(),
                               reinterpret_cast<const wchar_t*>(text.data()),
                               static_cast<int>(text.size()), out, outSize, nullptr, nullptr);
}

}  // namespace

// The table holds the units below 256 that the code page writes as one byte; in a
// code page of two-byte characters or in UTF-8 some of them take more and are left
// to the full conversion.
TAnsiEncoder::TAnsiEncoder() {
  for (std::size_t unit = 0; unit < kTableSize; ++unit) {
    const char16_t text = static_cast<char16_t>(unit);
    char bytes[kMaxBytesPerUnit] = {};
    single_[unit] = Convert(std::u16string_view(&text, 1), bytes, sizeof bytes) == 1;
    bytes_[unit] = bytes[0];
    holds_[unit] = single_[unit] && FromAnsi(std::string_view(bytes, 1)) == std::u16string(1, text);
  }
}

const TAnsiEncoder& TAnsiEncoder::System() {
  static const TAnsiEncoder encoder;
  return encoder;
}

char* TAnsiEncoder::EncodeOthers(std::u16string_view text, char* out) const {
  if (text.size() > static_cast<std::size_t>(INT_MAX) / kMaxBytesPerUnit)
    return nullptr;
  const int room = static_cast<int>(text.size() * kMaxBytesPerUnit);
  const int size = Convert(text, out, room);
  return size > 0 ? out + size : nullptr;
}

bool TAnsiEncoder::HoldsOthers(std::u16string_view text) const {
  if (text.size() > static_cast<std::size_t>(INT_MAX) / kMaxBytesPerUnit)
    return false;
  std::string bytes(text.size() * kMaxBytesPerUnit, '\0');
  const int size = Convert(text, bytes.data(), static_cast<int>(bytes.size()));
  if (size <= 0)
    return false;
  return FromAnsi(std::string_view(bytes.data(), static_cast<std::size_t>(size))) == text;
}

std::string ToAnsi(std::u16string_view text) {
  if (text.empty() ||
      text.size() > static_cast<std::size_t>(INT_MAX) / TAnsiEncoder::kMaxBytesPerUnit)
    return {};
  std::string out(text.size() * TAnsiEncoder::kMaxBytesPerUnit, '\0');
  char* const end = TAnsiEncoder::System().Encode(text, out.data());
  if (end == nullptr)
    return {};
  out.resize(static_cast<std::size_t>(end - out.data()));
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
