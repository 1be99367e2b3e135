#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <random>
#include <string>
#include <utility>

#include "platform/FileSystem.h"
#include "platform/HeldFileList.h"
#include "platform/InRoot_posix.h"
#include "platform/NewFile.h"

namespace brindel::platform {

namespace {

int Descriptor(std::intptr_t handle) {
  return static_cast<int>(handle);
}

// Six letters or digits, as mkostemp makes them.
std::string UniqueEnding() {
  static constexpr char kLetters[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  thread_local std::mt19937_64 random{std::random_device{}()};
  std::string ending(6, 'X');
  for (char& c : ending)
    c = kLetters[random() % (sizeof kLetters - 1)];
  return ending;
}

}  // namespace

std::unique_ptr<NewFile> NewFile::CreateUnique(const std::filesystem::path& folder,
                                               std::string_view prefix, const HeldFile* like) {
  // mkostemp, in a folder found as every path below a Windows root is found.
  const std::string folderPath = folder.empty() ? std::string(".") : folder.string();
  const auto place = inroot::PlaceOf(folderPath, true);
  if (!place)
    return nullptr;
  const inroot::Fd dir(
      ::openat(place->Dir(), place->Name(), O_PATH | O_DIRECTORY | O_CLOEXEC | place->NoFollow()));
  if (!dir.Valid())
    return nullptr;
  int fd = -1;
  std::string name;
  for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
    name = std::string(prefix) + UniqueEnding();
    fd = ::openat(dir.Get(), name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0 && errno != EEXIST)
      return nullptr;
  }
  if (fd < 0)
    return nullptr;
  std::unique_ptr<NewFile> file = Adopt(folder / name, fd);
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
  const int fd = inroot::Open(file.string(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0)
    return nullptr;
  return Adopt(file, fd);
}

std::unique_ptr<NewFile> NewFile::CreateExclusive(const std::filesystem::path& file) {
  const int fd = inroot::Open(file.string(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0)
    return nullptr;
  return Adopt(file, fd);
}

NewFile::~NewFile() {
  // The reason of a failure, not of the clean-up, is what the user should read.
  const int reason = errno;
  if (handle_ >= 0)
    ::close(Descriptor(handle_));
  if (!kept_)
    DeleteFile(path_.string());
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
  const auto from = inroot::PlaceOf(path_.string(), false);
  const auto to = inroot::PlaceOf(target.string(), false);
  if (!from || !to || ::renameat(from->Dir(), from->Name(), to->Dir(), to->Name()) != 0)
    return false;
  kept_ = true;
  if (held_ != nullptr)
    held_->path_ = target;
  return true;
}

bool SyncFolder(const std::filesystem::path& folder) {
  const int fd = inroot::Open(folder.empty() ? std::string(".") : folder.string(),
                              O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0)
    return false;
  const bool synced = ::fsync(fd) == 0;
  ::close(fd);
  return synced;
}

bool CanReplace(const std::filesystem::path& file) {
  const auto folder = file.has_parent_path() ? file.parent_path() : std::filesystem::path(".");
  const auto writable = [](const std::filesystem::path& path) {
    const auto place = inroot::PlaceOf(path.string(), true);
    return place && ::faccessat(place->Dir(), place->Name(), W_OK, 0) == 0;
  };
  return writable(file) && writable(folder);
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

bool LastFileErrorIsNotFound() {
  return errno == ENOENT || errno == ENOTDIR;
}

void SetFileInUseError() {
  errno = EBUSY;
}

}  // namespace brindel::platform
