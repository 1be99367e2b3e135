#include <fstream>
#include <iterator>

#include "platform/FileVersion.h"

namespace brindel::platform {

// Version resources are read from the PE file itself where there is no version API.
bool FileVersionInfo::Load(const std::string& localPath) {
  block_.clear();
  std::ifstream in(localPath, std::ios::binary);
  if (!in)
    return false;
  // Executables worth reading are far smaller; a larger file is not read whole.
  constexpr std::streamoff kMaxFileSize = std::streamoff{512} * 1024 * 1024;
  in.seekg(0, std::ios::end);
  const std::streamoff size = in.tellg();
  if (size <= 0 || size > kMaxFileSize)
    return false;
  in.seekg(0);
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
  if (!in.read(reinterpret_cast<char*>(bytes.data()), size))
    return false;
  auto block = ExtractVersionResource(bytes);
  if (!block)
    return false;
  block_ = std::move(*block);
  return true;
}

}  // namespace brindel::platform
