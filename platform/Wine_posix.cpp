#include "platform/Wine.h"

namespace brindel::platform {

bool RunningOnWine() {
  return false;
}

}  // namespace brindel::platform
