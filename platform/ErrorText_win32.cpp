#include "platform/ErrorText.h"

#include <windows.h>

#include <string>

#include "platform/Text.h"

namespace brindel::platform {

std::u16string SystemMessage(std::int32_t code) {
  DWORD flags =
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM;
  // Network codes have their texts in netmsg.dll; it is only read, never run.
  HMODULE netmsg = ::LoadLibraryExW(L"netmsg.dll", nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (netmsg != nullptr)
    flags |= FORMAT_MESSAGE_FROM_HMODULE;
  LPWSTR buffer = nullptr;
  const DWORD length = ::FormatMessageW(flags, netmsg, static_cast<DWORD>(code),
                                        MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                                        reinterpret_cast<LPWSTR>(&buffer), 0, nullptr);
  std::u16string message;
  if (length != 0 && buffer != nullptr) {
    message.assign(reinterpret_cast<const char16_t*>(buffer), length);
  }
  if (buffer != nullptr)
    ::LocalFree(buffer);
  if (netmsg != nullptr)
    ::FreeLibrary(netmsg);
  return message;
}

}  // namespace brindel::platform
