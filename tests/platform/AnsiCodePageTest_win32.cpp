#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "platform/AnsiCodePage.h"

namespace brindel::platform {
namespace {

// The system's own conversion of the text, with the flags the program uses.
std::string SystemConversion(std::u16string_view text) {
  const DWORD flags = ::GetACP() == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
  const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
  const int units = static_cast<int>(text.size());
  const int size = ::WideCharToMultiByte(CP_ACP, flags, wide, units, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(size), '\0');
  ::WideCharToMultiByte(CP_ACP, flags, wide, units, out.data(), size, nullptr, nullptr);
  return out;
}

// The table of the encoder is made from the code page at start-up; what it holds must
// be what the system writes, for each code unit alone and for all of them in one text.
TEST(AnsiEncoderWin32Test, AgreesWithTheSystemForEveryCodeUnit) {
  std::u16string all;
  for (char32_t unit = 1; unit <= 0xFFFF; ++unit) {
    if (unit < 0xD800 || unit > 0xDFFF)
      all += static_cast<char16_t>(unit);
  }
  EXPECT_EQ(SystemConversion(all), ToAnsi(all));
  for (char16_t unit = 0; unit < 0x100; ++unit) {
    const std::u16string_view one(&unit, 1);
    char out[TAnsiEncoder::kMaxBytesPerUnit] = {};
    char* end = TAnsiEncoder::System().Encode(one, out);
    ASSERT_NE(nullptr, end);
    EXPECT_EQ(SystemConversion(one), std::string(out, static_cast<std::size_t>(end - out)))
        << "U+" << std::hex << int{unit};
  }
}

}  // namespace
}  // namespace brindel::platform
