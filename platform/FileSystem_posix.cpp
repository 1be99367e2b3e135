#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/FileSystem.h"
#include "platform/NewFile.h"

namespace brindel::platform {

bool FileExists(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool DirectoryExists(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool CreateDirectory(const std::string& path) {
  return ::mkdir(path.c_str(), 0777) == 0;
}

// The read-only attribute of Windows is the owner's write permission here; there is
// no hidden attribute to clear.
bool SetReadOnly(const std::string& path, bool readOnly) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0)
    return false;
  const mode_t mode = readOnly ? (info.st_mode & ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH))
                               : (info.st_mode | S_IWUSR);
  return ::chmod(path.c_str(), mode & 07777) == 0;
}

bool IsReadOnly(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && (info.st_mode & S_IWUSR) == 0;
}

void ClearFileAttributes(const std::string& path) {
  if (IsReadOnly(path))
    SetReadOnly(path, false);
}

bool DeleteFile(const std::string& path) {
  return ::unlink(path.c_str()) == 0;
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

}  // namespace

bool CopyFileNoOverwrite(const std::string& from, const std::string& to) {
  const int in = ::open(from.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (in < 0)
    return false;
  // Only a regular file is copied: a FIFO or a device would never end.
  struct stat status {};
  if (::fstat(in, &status) != 0 || !S_ISREG(status.st_mode)) {
    ::close(in);
    return false;
  }
  const int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666);
  if (out < 0) {
    ::close(in);
    return false;
  }
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
  ::close(in);
  ok = ::close(out) == 0 && ok;
  // A half-written copy must not stand as the target.
  if (!ok)
    ::unlink(to.c_str());
  return ok;
}

bool ReplaceFile(const std::string& from, const std::string& to) {
  if (::rename(from.c_str(), to.c_str()) != 0)
    return false;
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
  if (::stat(path.c_str(), &named) != 0) {
    return refuse(errno == ENOENT || errno == ENOTDIR ? TReadRefusal::Missing
                                                      : TReadRefusal::Unreadable);
  }
  if (!S_ISREG(named.st_mode))
    return refuse(TReadRefusal::NotAFile);
  // Without O_NONBLOCK, a FIFO put in the file's place would hold the open until
  // something writes into it.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0)
    return refuse(errno == ENOENT ? TReadRefusal::Missing : TReadRefusal::Unreadable);
  struct FdCloser {
    int fd;
    ~FdCloser() { ::close(fd); }
  } closer{fd};
  struct stat status {};
  if (::fstat(fd, &status) != 0)
    return refuse(TReadRefusal::Unreadable);
  if (!S_ISREG(status.st_mode))
    return refuse(TReadRefusal::NotAFile);
  if (static_cast<std::uint64_t>(status.st_size) > maxSize)
    return refuse(TReadRefusal::TooLarge);
  std::string bytes;
  // Read in one piece where the size is known: a backup can hold hundreds of MB.
  if (status.st_size > 0)
    bytes.reserve(static_cast<std::size_t>(status.st_size));
  char buffer[65536];
  ssize_t got = 0;
  while ((got = ::read(fd, buffer, sizeof buffer)) > 0) {
    // A file that grows while it is read is held to the limit all the same.
    if (static_cast<std::uint64_t>(got) > maxSize - bytes.size())
      return refuse(TReadRefusal::TooLarge);
    bytes.append(buffer, static_cast<std::size_t>(got));
  }
  if (got < 0)
    return refuse(TReadRefusal::Unreadable);
  return bytes;
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
