#include <windows.h>
// After windows.h:
#include <sddl.h>

#include "platform/Accounts.h"

namespace brindel::platform {

std::u16string AccountOfSid(std::u16string_view sid) {
  const std::wstring text(sid.begin(), sid.end());
  PSID binary = nullptr;
  if (!::ConvertStringSidToSidW(text.c_str(), &binary))
    return {};
  wchar_t name[256] = {};
  wchar_t domain[256] = {};
  DWORD nameLength = 256;
  DWORD domainLength = 256;
  SID_NAME_USE use = SidTypeUnknown;
  const BOOL found =
      ::LookupAccountSidW(nullptr, binary, name, &nameLength, domain, &domainLength, &use);
  ::LocalFree(binary);
  if (!found)
    return {};
  std::wstring account = domainLength > 0 ? std::wstring(domain) + L"\\" + name : name;
  return std::u16string(account.begin(), account.end());
}

}  // namespace brindel::platform
