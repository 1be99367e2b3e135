#pragma once

// The file operations of the POSIX variants on paths below the Windows root: each
// takes a folder descriptor and a name (the *at calls), and the folder is found
// within the root. Only _posix.cpp files include this.

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <optional>
#include <string>
#include <utility>

namespace brindel::platform::inroot {

// A descriptor, closed with its owner.
class Fd {
 public:
  Fd() = default;
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd();
  Fd(Fd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  Fd& operator=(Fd&& other) noexcept;
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;

  int Get() const { return fd_; }
  bool Valid() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

// Where an operation on a path takes place: a folder and a name in it. For a path
// that is not below the root, the working folder and the path itself, so that the
// system treats it as it always does.
struct Place {
  Fd folder;         // invalid: AT_FDCWD
  std::string name;  // the last name, or the whole path outside the root
  bool confined = false;

  int Dir() const { return folder.Valid() ? folder.Get() : AT_FDCWD; }
  const char* Name() const { return name.c_str(); }
  // O_NOFOLLOW below the root: the last name was resolved already, and a link put
  // there since must not be followed.
  int NoFollow() const { return confined ? O_NOFOLLOW : 0; }
  int SymlinkNoFollow() const { return confined ? AT_SYMLINK_NOFOLLOW : 0; }
};

// The place of `path`. With `followLast` a link in the last place is followed
// (within the root), for operations that work on what a path names (open, stat);
// without, the link itself is the place (create, rename, delete). nullopt with errno
// set when a folder on the way is missing or the links lead round in a circle.
std::optional<Place> PlaceOf(const std::string& path, bool followLast);

// open(2) of what `path` names, links followed within the root.
int Open(const std::string& path, int flags, mode_t mode = 0);
// stat(2) of what `path` names, links followed within the root.
bool Stat(const std::string& path, struct stat& info);

}  // namespace brindel::platform::inroot
