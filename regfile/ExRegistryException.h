#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/Errors.h"

namespace brindel::regfile {

// A registry error that carries the platform result code it came from. Its message is
// the error text of the code (platform/ErrorText.h), ":" and what was being done,
// e.g. "Error 5 : Access is denied.\r\n:Unable to query key info".
class EExRegistryException : public platform::ERegistryException {
 public:
  static EExRegistryException Create(std::uint32_t code, std::u16string_view st);
  // With the calling thread's last platform error code (platform/LastError.h).
  static EExRegistryException CreateLastError(std::u16string_view st);

  std::int32_t Code() const noexcept { return fCode; }

 private:
  EExRegistryException(std::int32_t code, std::u16string message);

  std::int32_t fCode;
};

}  // namespace brindel::regfile
