#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <utility>

#include "platform/HeldFileList.h"
#include "platform/NewFile.h"

namespace brindel::platform {

namespace {

int Descriptor(std::intptr_t handle) {
  return static_cast<int>(handle);
}

}  // namespace

std::unique_ptr<NewFile> NewFile::CreateUnique(const std::filesystem::path& folder,
                                               std::string_view prefix, const HeldFile* like) {
  std::string pattern = (folder / (std::string(prefix) + "XXXXXX")).string();
  const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
  if (fd < 0)
    return nullptr;
  std::unique_ptr<NewFile> file(new NewFile);
  file->path_ = pattern;
  file->handle_ = fd;
  struct stat original {};
  if (like != nullptr && ::fstat(Descriptor(like->handle_), &original) == 0) {
    ::fchmod(fd, original.st_mode & 07777);
    if (::fchown(fd, original.st_uid, original.st_gid) != 0) {
      // Only root may hand a file to another owner; the file stays readable for its user.
    }
  }
  return file;
}

std::unique_ptr<NewFile> NewFile::Create(const std::filesystem::path& file) {
  const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0)
    return nullptr;
  std::unique_ptr<NewFile> created(new NewFile);
  created->path_ = file;
  created->handle_ = fd;
  return created;
}

std::unique_ptr<NewFile> NewFile::CreateExclusive(const std::filesystem::path& file) {
  const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0)
    return nullptr;
  std::unique_ptr<NewFile> created(new NewFile);
  created->path_ = file;
  created->handle_ = fd;
  return created;
}

NewFile::~NewFile() {
  // The reason of a failure, not of the clean-up, is what the user should read.
  const int reason = errno;
  if (handle_ >= 0)
    ::close(Descriptor(handle_));
  if (!kept_)
    ::unlink(path_.c_str());
  errno = reason;
}

bool NewFile::WriteAt(std::span<const std::uint8_t> bytes, std::uint64_t offset) {
  auto at = static_cast<off_t>(offset);
  while (!bytes.empty()) {
    const ssize_t written = ::pwrite(Descriptor(handle_), bytes.data(), bytes.size(), at);
    if (written < 0 && errno == EINTR)
      continue;
    if (written < 0)
      return false;
    if (written == 0) {
      errno = EIO;
      return false;
    }
    bytes = bytes.subspan(static_cast<std::size_t>(written));
    at += written;
  }
  return true;
}

void NewFile::StartWriteback(std::uint64_t offset, std::uint64_t length) {
  ::sync_file_range(Descriptor(handle_), static_cast<off_t>(offset), static_cast<off_t>(length),
                    SYNC_FILE_RANGE_WRITE);
}

bool NewFile::Sync() {
  return ::fsync(Descriptor(handle_)) == 0;
}

bool NewFile::Close() {
  const int fd = Descriptor(std::exchange(handle_, -1));
  return ::close(fd) == 0;
}

std::unique_ptr<HeldFile> NewFile::Hold() {
  struct stat info {};
  if (::fstat(Descriptor(handle_), &info) != 0)
    return nullptr;
  // The lock goes with the file into the target's place; nobody else knows it yet.
  if (::flock(Descriptor(handle_), LOCK_EX | LOCK_NB) != 0)
    return nullptr;
  std::unique_ptr<HeldFile> held(new HeldFile);
  held->path_ = path_;
  held->use_ = HeldFile::Use::Write;
  held->identity_ = {static_cast<std::uint64_t>(info.st_dev),
                     static_cast<std::uint64_t>(info.st_ino)};
  held->handle_ = std::exchange(handle_, -1);
  AddHeldFile(held->identity_);
  held->listed_ = true;
  held_ = held.get();
  return held;
}

// A rename replaces a file that is open or read-only as well.
bool NewFile::PutInPlace(const std::filesystem::path& target, HeldFile* /*old*/,
                         bool /*overReadOnly*/) {
  if (::rename(path_.c_str(), target.c_str()) != 0)
    return false;
  kept_ = true;
  if (held_ != nullptr)
    held_->path_ = target;
  return true;
}

bool SyncFolder(const std::filesystem::path& folder) {
  const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0)
    return false;
  const bool synced = ::fsync(fd) == 0;
  ::close(fd);
  return synced;
}

bool CanReplace(const std::filesystem::path& file) {
  const auto folder = file.has_parent_path() ? file.parent_path() : std::filesystem::path(".");
  return ::access(file.c_str(), W_OK) == 0 && ::access(folder.c_str(), W_OK) == 0;
}

std::int32_t LastFileErrorCode() {
  return errno;
}

void SetLastFileErrorCode(std::int32_t code) {
  errno = code;
}

bool LastFileErrorIsDiskFull() {
  return errno == ENOSPC || errno == EDQUOT;
}

bool LastFileErrorIsExisting() {
  return errno == EEXIST;
}

void SetFileInUseError() {
  errno = EBUSY;
}

}  // namespace brindel::platform
