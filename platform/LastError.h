#pragma once

#include <cstdint>

namespace brindel::platform {

// The calling thread's last platform error code, as GetLastError gives it on Windows.
// Elsewhere it is a per-thread code that only SetLastErrorCode changes: registry stores
// return their result instead of recording it (as the Windows registry functions do), so
// code that wants to raise "the last error" of a registry call records its result first,
// the way Windows code calls SetLastError.
std::int32_t LastErrorCode();
void SetLastErrorCode(std::int32_t code);

}  // namespace brindel::platform
