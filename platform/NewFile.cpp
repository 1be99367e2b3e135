#include "platform/NewFile.h"

#include <system_error>
#include <utility>

namespace brindel::platform {

std::unique_ptr<NewFile> NewFile::Adopt(std::filesystem::path path, std::intptr_t handle) {
  std::unique_ptr<NewFile> file(new NewFile);
  file->path_ = std::move(path);
  file->handle_ = handle;
  return file;
}

bool NewFile::Append(std::string_view bytes) {
  if (!WriteAt(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()),
               appended_)) {
    return false;
  }
  appended_ += bytes.size();
  return true;
}

void RemoveLeftovers(const std::filesystem::path& folder, std::string_view prefix) {
  static constexpr std::size_t kUnique = 6;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
    const std::string name = entry.path().filename().string();
    if (name.size() == prefix.size() + kUnique && name.starts_with(prefix) &&
        !entry.is_symlink(error) && entry.is_regular_file(error)) {
      std::filesystem::remove(entry.path(), error);
    }
  }
}

}  // namespace brindel::platform
