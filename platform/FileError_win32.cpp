#include <windows.h>

#include "platform/ErrorText.h"
#include "platform/FileError.h"

namespace brindel::platform {

std::u16string LastFileErrorText() {
  const auto code = static_cast<std::int32_t>(::GetLastError());
  std::u16string text = SystemMessage(code);
  // The system's message ends in a line break, which a sentence in a box does not.
  while (!text.empty() && (text.back() == u'\n' || text.back() == u'\r' || text.back() == u' '))
    text.pop_back();
  return text.empty() ? ErrorText(code) : text;
}

}  // namespace brindel::platform
