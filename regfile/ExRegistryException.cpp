#include "regfile/ExRegistryException.h"

#include "platform/ErrorText.h"
#include "platform/LastError.h"

namespace brindel::regfile {

EExRegistryException::EExRegistryException(std::int32_t code, std::u16string message)
    : ERegistryException(std::move(message)), fCode(code) {}

EExRegistryException EExRegistryException::Create(std::uint32_t code, std::u16string_view st) {
  const auto signedCode = static_cast<std::int32_t>(code);
  return EExRegistryException(signedCode,
                              platform::ErrorText(signedCode) + u":" + std::u16string(st));
}

EExRegistryException EExRegistryException::CreateLastError(std::u16string_view st) {
  return Create(static_cast<std::uint32_t>(platform::LastErrorCode()), st);
}

}  // namespace brindel::regfile
