#include "platform/LastError.h"

namespace brindel::platform {
namespace {
thread_local std::int32_t tLastError = 0;
}

std::int32_t LastErrorCode() {
  return tLastError;
}

void SetLastErrorCode(std::int32_t code) {
  tLastError = code;
}

}  // namespace brindel::platform
