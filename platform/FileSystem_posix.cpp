#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

#include "platform/FileSystem.h"
#include "platform/InRoot_posix.h"
#include "platform/NewFile.h"

namespace brindel::platform {

bool FileExists(const std::string& path) {
  struct stat info {};
  return inroot::Stat(path, info) && S_ISREG(info.st_mode);
}

bool DirectoryExists(const std::string& path) {
  struct stat info {};
  return inroot::Stat(path, info) && S_ISDIR(info.st_mode);
}

bool CreateDirectory(const std::string& path) {
  const auto place = inroot::PlaceOf(path, false);
  return place && ::mkdirat(place->Dir(), place->Name(), 0777) == 0;
}

// The read-only attribute of Windows is the owner's write permission here; there is
// no hidden attribute to clear.
bool SetReadOnly(const std::string& path, bool readOnly) {
  const auto place = inroot::PlaceOf(path, true);
  struct stat info {};
  if (!place || ::fstatat(place->Dir(), place->Name(), &info, place->SymlinkNoFollow()) != 0)
    return false;
  // A link that the root's walk left in the last place was put there since: changing
  // the mode would change its target's.
  if (S_ISLNK(info.st_mode)) {
    errno = ELOOP;
    return false;
  }
  const mode_t mode = readOnly ? (info.st_mode & ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH))
                               : (info.st_mode | S_IWUSR);
  return ::fchmodat(place->Dir(), place->Name(), mode & 07777, 0) == 0;
}

bool IsReadOnly(const std::string& path) {
  struct stat info {};
  return inroot::Stat(path, info) && (info.st_mode & S_IWUSR) == 0;
}

void ClearFileAttributes(const std::string& path) {
  if (IsReadOnly(path))
    SetReadOnly(path, false);
}

bool DeleteFile(const std::string& path) {
  const auto place = inroot::PlaceOf(path, false);
  return place && ::unlinkat(place->Dir(), place->Name(), 0) == 0;
}

namespace {

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0)
      return false;
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

// A file opened for reading; only a regular file is read: a pipe or a device put in
// its place would hold the run up or never end.
inroot::Fd OpenRegularFile(const std::string& path, struct stat& status) {
  inroot::Fd fd(inroot::Open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (!fd.Valid() || ::fstat(fd.Get(), &status) != 0)
    return inroot::Fd();
  if (!S_ISREG(status.st_mode)) {
    errno = S_ISDIR(status.st_mode) ? EISDIR : EINVAL;
    return inroot::Fd();
  }
  return fd;
}

}  // namespace

bool CopyFileNoOverwrite(const std::string& from, const std::string& to) {
  // Only a regular file is copied: a FIFO or a device would never end.
  struct stat status {};
  inroot::Fd source = OpenRegularFile(from, status);
  if (!source.Valid())
    return false;
  const int in = source.Get();
  const int out = inroot::Open(to, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (out < 0)
    return false;
  bool ok = true;
  char buffer[65536];
  for (;;) {
    const ssize_t got = ::read(in, buffer, sizeof buffer);
    if (got < 0)
      ok = false;
    if (got <= 0)
      break;
    if (!WriteAll(out, std::string_view(buffer, static_cast<std::size_t>(got)))) {
      ok = false;
      break;
    }
  }
  ok = ::fsync(out) == 0 && ok;
  ok = ::close(out) == 0 && ok;
  // A half-written copy must not stand as the target.
  if (!ok)
    DeleteFile(to);
  return ok;
}

bool ReplaceFile(const std::string& from, const std::string& to) {
  const auto source = inroot::PlaceOf(from, false);
  const auto target = inroot::PlaceOf(to, false);
  if (!source || !target ||
      ::renameat(source->Dir(), source->Name(), target->Dir(), target->Name()) != 0) {
    return false;
  }
  // The new name durable too.
  SyncFolder(std::filesystem::path(to).parent_path());
  return true;
}

std::optional<std::string> ReadFileBytes(const std::string& path, std::uint64_t maxSize,
                                         TReadRefusal* refusal) {
  const auto refuse = [refusal](TReadRefusal why) -> std::optional<std::string> {
    if (refusal != nullptr)
      *refusal = why;
    return std::nullopt;
  };
  if (refusal != nullptr)
    *refusal = TReadRefusal::None;
  // Opening a device can already do something, so what is no regular file is not
  // opened at all; the open file is checked again, in case the name changed hands.
  struct stat named {};
  if (!inroot::Stat(path, named)) {
    return refuse(errno == ENOENT || errno == ENOTDIR ? TReadRefusal::Missing
                                                      : TReadRefusal::Unreadable);
  }
  if (!S_ISREG(named.st_mode))
    return refuse(TReadRefusal::NotAFile);
  struct stat status {};
  const inroot::Fd fd = OpenRegularFile(path, status);
  if (!fd.Valid()) {
    return refuse(errno == ENOENT  ? TReadRefusal::Missing
                  : errno == EINVAL || errno == EISDIR ? TReadRefusal::NotAFile
                                                        : TReadRefusal::Unreadable);
  }
  if (static_cast<std::uint64_t>(status.st_size) > maxSize)
    return refuse(TReadRefusal::TooLarge);
  std::string bytes;
  // Read in one piece where the size is known: a backup can hold hundreds of MB.
  if (status.st_size > 0)
    bytes.reserve(static_cast<std::size_t>(status.st_size));
  char buffer[65536];
  ssize_t got = 0;
  while ((got = ::read(fd.Get(), buffer, sizeof buffer)) > 0) {
    // A file that grows while it is read is held to the limit all the same.
    if (static_cast<std::uint64_t>(got) > maxSize - bytes.size())
      return refuse(TReadRefusal::TooLarge);
    bytes.append(buffer, static_cast<std::size_t>(got));
  }
  if (got < 0)
    return refuse(TReadRefusal::Unreadable);
  return bytes;
}

bool ReadFilePieces(const std::string& path, const std::function<bool(std::string_view)>& piece) {
  struct stat status {};
  const inroot::Fd fd = OpenRegularFile(path, status);
  if (!fd.Valid())
    return false;
  std::vector<char> buffer(std::size_t{1} << 18);
  for (;;) {
    const ssize_t got = ::read(fd.Get(), buffer.data(), buffer.size());
    if (got < 0 && errno == EINTR)
      continue;
    if (got < 0)
      return false;
    if (got == 0)
      return true;
    if (!piece(std::string_view(buffer.data(), static_cast<std::size_t>(got))))
      return false;
  }
}

std::optional<std::uint64_t> FileSize(const std::string& path) {
  struct stat status {};
  if (!inroot::Stat(path, status))
    return std::nullopt;
  if (!S_ISREG(status.st_mode)) {
    errno = S_ISDIR(status.st_mode) ? EISDIR : EINVAL;
    return std::nullopt;
  }
  return static_cast<std::uint64_t>(status.st_size);
}

std::optional<std::vector<std::string>> ListFolder(const std::string& path) {
  const auto place = inroot::PlaceOf(path, true);
  if (!place)
    return std::nullopt;
  const int fd =
      ::openat(place->Dir(), place->Name(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | place->NoFollow());
  if (fd < 0)
    return std::nullopt;
  DIR* dir = ::fdopendir(fd);
  if (dir == nullptr) {
    ::close(fd);
    return std::nullopt;
  }
  std::vector<std::string> names;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string_view name = entry->d_name;
    if (name != "." && name != "..")
      names.emplace_back(name);
  }
  ::closedir(dir);
  return names;
}

std::optional<std::string> MakeTemporaryFolder(std::string_view prefix) {
  std::error_code error;
  const std::filesystem::path base = std::filesystem::temp_directory_path(error);
  if (error)
    return std::nullopt;
  std::string pattern = (base / (std::string(prefix) + "XXXXXX")).string();
  if (::mkdtemp(pattern.data()) == nullptr)
    return std::nullopt;
  return pattern;
}

}  // namespace brindel::platform
