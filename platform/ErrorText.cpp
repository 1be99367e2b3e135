#include "platform/ErrorText.h"

#include <string>

#include "platform/Text.h"

namespace brindel::platform {

// The same form on every platform; only the system's message differs.
std::u16string ErrorText(std::int32_t code) {
  const std::u16string number = Decimal(code);
  const std::u16string message = SystemMessage(code);
  if (message.empty())
    return Format(u"Error %d", {number});
  return Format(u"Error %d : %s", {number, message});
}

}  // namespace brindel::platform
