#include <windows.h>

#include "platform/FileVersion.h"
#include "platform/Text.h"

namespace brindel::platform {

bool FileVersionInfo::Load(const std::string& localPath) {
  block_.clear();
  const std::u16string wide = FromUtf8(localPath);
  const auto* name = reinterpret_cast<const wchar_t*>(wide.c_str());
  DWORD handle = 0;
  const DWORD size = GetFileVersionInfoSizeW(name, &handle);
  if (size == 0)
    return false;
  std::vector<std::uint8_t> block(size);
  if (!GetFileVersionInfoW(name, 0, size, block.data()))
    return false;
  // The block has the same layout that QueryValue walks; VerQueryValueW reads it alike.
  block_ = std::move(block);
  return true;
}

}  // namespace brindel::platform
