#include "platform/LastError.h"

#include <windows.h>

namespace brindel::platform {

std::int32_t LastErrorCode() {
  return static_cast<std::int32_t>(::GetLastError());
}

void SetLastErrorCode(std::int32_t code) {
  ::SetLastError(static_cast<DWORD>(code));
}

}  // namespace brindel::platform
