#include <windows.h>

#include "platform/ErrorText.h"
#include "platform/Errors.h"
#include "platform/Wow64.h"

namespace brindel::platform {

bool RunningUnderWow64() {
  if (const auto answer = detail::Wow64Override())
    return *answer;
  BOOL wow64 = FALSE;
  if (!::IsWow64Process(::GetCurrentProcess(), &wow64)) {
    const auto code = static_cast<std::int32_t>(::GetLastError());
    throw EOSError(code, ErrorText(code));
  }
  return wow64 != FALSE;
}

}  // namespace brindel::platform
