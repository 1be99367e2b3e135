#include "platform/Wow64.h"

namespace brindel::platform {

namespace detail {
std::optional<bool>& Wow64Override() {
  static std::optional<bool> answer;
  return answer;
}
}  // namespace detail

ScopedWow64Override::ScopedWow64Override(bool underWow64) : previous_(detail::Wow64Override()) {
  detail::Wow64Override() = underWow64;
}

ScopedWow64Override::~ScopedWow64Override() {
  detail::Wow64Override() = previous_;
}

}  // namespace brindel::platform
