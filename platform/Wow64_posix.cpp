#include "platform/Wow64.h"

namespace brindel::platform {

// There is no 32-bit view of a registry off Windows.
bool RunningUnderWow64() {
  return detail::Wow64Override().value_or(false);
}

}  // namespace brindel::platform
