#include "platform/DocumentsFolder.h"

#include <shlobj.h>
#include <windows.h>

namespace brindel::platform {

std::u16string DocumentsFolder() {
  wchar_t buffer[MAX_PATH + 1] = {};
  if (FAILED(SHGetFolderPathW(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, buffer))) {
    return {};
  }
  std::u16string folder;
  for (const wchar_t* c = buffer; *c != L'\0'; ++c)
    folder += static_cast<char16_t>(*c);
  return folder;
}

}  // namespace brindel::platform
