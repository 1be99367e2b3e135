#include "platform/Accounts.h"

namespace brindel::platform {

// Only a running Windows knows its accounts.
std::u16string AccountOfSid(std::u16string_view) {
  return {};
}

}  // namespace brindel::platform
