#include "platform/Errors.h"

#include "platform/Text.h"

namespace brindel::platform {

Exception::Exception(std::u16string message)
    : message_(std::move(message)), utf8_(ToUtf8(message_)) {}

EOSError::EOSError(std::int32_t code, std::u16string message)
    : Exception(std::move(message)), code_(code) {}

}  // namespace brindel::platform
