#include <dirent.h>
#include <linux/openat2.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <deque>
#include <filesystem>

#include "platform/InRoot.h"
#include "platform/InRoot_posix.h"
#include "platform/Text.h"
#include "platform/WindowsPath.h"

namespace brindel::platform {

namespace inroot {

Fd::~Fd() {
  if (fd_ >= 0)
    ::close(fd_);
}

Fd& Fd::operator=(Fd&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0)
      ::close(fd_);
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

}  // namespace inroot

namespace {

using inroot::Fd;
using inroot::Place;

// As many links in one path as Linux follows.
constexpr int kMaxLinks = 40;

// Whether openat2 with RESOLVE_IN_ROOT may be used: not yet known, yes, no.
enum class SystemResolution { Unknown, Yes, No };
std::atomic<SystemResolution> systemResolution{SystemResolution::Unknown};
std::atomic<bool> systemResolutionWanted{true};

// The root as a path without a trailing slash ("" for "/"), made absolute.
std::string RootPath() {
  std::error_code error;
  std::string root = std::filesystem::absolute(WindowsRoot(), error).string();
  while (!root.empty() && root.back() == '/')
    root.pop_back();
  return root;
}

std::deque<std::string> Split(std::string_view path) {
  std::deque<std::string> parts;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find('/', start);
    if (end == std::string_view::npos)
      end = path.size();
    const std::string_view part = path.substr(start, end - start);
    if (!part.empty() && part != ".")
      parts.emplace_back(part);
    start = end + 1;
  }
  return parts;
}

std::string Join(const std::deque<std::string>& parts, std::size_t count) {
  std::string path;
  for (std::size_t i = 0; i < count; ++i)
    path += (path.empty() ? "" : "/") + parts[i];
  return path.empty() ? std::string(".") : path;
}

Fd Dup(int fd) {
  return Fd(::fcntl(fd, F_DUPFD_CLOEXEC, 0));
}

std::optional<std::string> ReadLink(int folder, const std::string& name) {
  std::string target(256, '\0');
  for (;;) {
    const ssize_t got = ::readlinkat(folder, name.c_str(), target.data(), target.size());
    if (got < 0)
      return std::nullopt;
    if (static_cast<std::size_t>(got) < target.size()) {
      target.resize(static_cast<std::size_t>(got));
      return target;
    }
    target.resize(target.size() * 2);
  }
}

// The name of the entry of `folder` that equals `name` without regard to letter case;
// the exact spelling first. nullopt when there is none.
std::optional<std::string> FindEntry(int folder, const std::string& name) {
  struct stat info {};
  if (::fstatat(folder, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0)
    return name;
  const int listing = ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (listing < 0)
    return std::nullopt;
  DIR* dir = ::fdopendir(listing);
  if (dir == nullptr) {
    ::close(listing);
    return std::nullopt;
  }
  std::optional<std::string> found;
  const std::u16string wanted = FromUtf8(name);
  while (const dirent* entry = ::readdir(dir)) {
    if (SameTextIgnoreCase(FromUtf8(entry->d_name), wanted)) {
      found = entry->d_name;
      break;
    }
  }
  ::closedir(dir);
  return found;
}

// What a walk from the root found: the folder the last name lies in, that name, and
// the path of the named thing below the root, in the disk's spelling.
struct Walked {
  Fd folder;
  std::string name;
  std::string below;
};

// Walks `todo` from `root` one name at a time. No step follows a link by itself
// (O_NOFOLLOW): a link is read and its target walked instead, from the root when it
// is absolute; ".." at the root stays there.
std::optional<Walked> Walk(int root, std::deque<std::string> todo, bool ignoreCase,
                           bool followLast) {
  struct Step {
    Fd fd;
    std::string name;
  };
  std::vector<Step> stack;
  const auto current = [&] { return stack.empty() ? root : stack.back().fd.Get(); };
  const auto below = [&] {
    std::string path;
    for (const Step& step : stack)
      path += "/" + step.name;
    return path;
  };
  int links = 0;
  while (!todo.empty()) {
    const std::string part = std::move(todo.front());
    todo.pop_front();
    if (part == "..") {
      if (!stack.empty())
        stack.pop_back();
      continue;
    }
    const bool last = todo.empty();
    std::string name = part;
    if (ignoreCase) {
      if (auto found = FindEntry(current(), part))
        name = std::move(*found);
    }
    struct stat info {};
    if (::fstatat(current(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
      if (errno == ENOENT && last)
        return Walked{Dup(current()), name, below() + "/" + name};
      return std::nullopt;
    }
    if (S_ISLNK(info.st_mode) && (!last || followLast)) {
      if (++links > kMaxLinks) {
        errno = ELOOP;
        return std::nullopt;
      }
      const auto target = ReadLink(current(), name);
      if (!target)
        return std::nullopt;
      if (target->starts_with('/'))
        stack.clear();
      const std::deque<std::string> parts = Split(*target);
      todo.insert(todo.begin(), parts.begin(), parts.end());
      continue;
    }
    if (last)
      return Walked{Dup(current()), name, below() + "/" + name};
    const int fd = ::openat(current(), name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
      return std::nullopt;
    stack.push_back({Fd(fd), name});
  }
  // The path names a folder itself: the root, or one that ".." led back to.
  return Walked{Dup(current()), ".", below()};
}

int OpenBelow(int root, const std::string& path, std::uint64_t flags) {
  open_how how{};
  how.flags = flags | O_CLOEXEC;
  how.resolve = RESOLVE_IN_ROOT | RESOLVE_NO_MAGICLINKS;
  return static_cast<int>(::syscall(SYS_openat2, root, path.c_str(), &how, sizeof how));
}

// Whether this kernel resolves below a root itself (openat2, Linux 5.6 and later; a
// sandbox may refuse the call).
bool HasSystemResolution(int root) {
  if (!systemResolutionWanted.load())
    return false;
  SystemResolution known = systemResolution.load();
  if (known == SystemResolution::Unknown) {
    const int probe = OpenBelow(root, ".", O_PATH | O_DIRECTORY);
    known = probe >= 0 || (errno != ENOSYS && errno != EPERM && errno != EINVAL)
                ? SystemResolution::Yes
                : SystemResolution::No;
    if (probe >= 0)
      ::close(probe);
    systemResolution.store(known);
  }
  return known == SystemResolution::Yes;
}

// The folder and last name of `todo` below `root`, resolved by the kernel: each
// folder with RESOLVE_IN_ROOT, and a link in the last place read and resolved again.
std::optional<Place> ResolveBySystem(int root, std::deque<std::string> todo, bool followLast) {
  for (int links = 0;; ++links) {
    if (links > kMaxLinks) {
      errno = ELOOP;
      return std::nullopt;
    }
    Place place;
    place.confined = true;
    if (todo.empty() || todo.back() == "..") {
      place.folder = Fd(OpenBelow(root, Join(todo, todo.size()), O_PATH | O_DIRECTORY));
      place.name = ".";
    } else {
      place.folder = Fd(OpenBelow(root, Join(todo, todo.size() - 1), O_PATH | O_DIRECTORY));
      place.name = todo.back();
    }
    if (!place.folder.Valid())
      return std::nullopt;
    struct stat info {};
    if (!followLast || place.name == "." ||
        ::fstatat(place.folder.Get(), place.Name(), &info, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISLNK(info.st_mode)) {
      return place;
    }
    const auto target = ReadLink(place.folder.Get(), place.name);
    if (!target)
      return std::nullopt;
    todo.pop_back();
    if (target->starts_with('/'))
      todo.clear();
    for (std::string& part : Split(*target))
      todo.push_back(std::move(part));
  }
}

Fd OpenRoot(const std::string& root) {
  return Fd(::open(root.empty() ? "/" : root.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
}

}  // namespace

bool BelowWindowsRoot(const std::string& path) {
  if (WindowsRoot().empty() || path.empty())
    return false;
  const std::string root = RootPath();
  std::error_code error;
  const std::string absolute = std::filesystem::absolute(path, error).string();
  return !error && absolute.starts_with(root) &&
         (absolute.size() == root.size() || absolute[root.size()] == '/');
}

std::optional<std::string> ResolveBelowRoot(const std::vector<std::u16string>& parts,
                                            bool ignoreCase) {
  const std::string root = RootPath();
  const Fd rootFd = OpenRoot(root);
  if (!rootFd.Valid())
    return std::nullopt;
  std::deque<std::string> todo;
  for (const std::u16string& part : parts) {
    for (std::string& name : Split(ToUtf8(part)))
      todo.push_back(std::move(name));
  }
  const auto walked = Walk(rootFd.Get(), std::move(todo), ignoreCase, true);
  if (!walked)
    return std::nullopt;
  return root + walked->below;
}

namespace detail {

void UseSystemResolution(bool use) {
  systemResolutionWanted.store(use);
}

}  // namespace detail

namespace inroot {

std::optional<Place> PlaceOf(const std::string& path, bool followLast) {
  if (!BelowWindowsRoot(path)) {
    Place place;
    place.name = path;
    return place;
  }
  const std::string root = RootPath();
  const Fd rootFd = OpenRoot(root);
  if (!rootFd.Valid())
    return std::nullopt;
  std::error_code error;
  const std::string absolute = std::filesystem::absolute(path, error).string();
  std::deque<std::string> todo = Split(std::string_view(absolute).substr(root.size()));
  if (HasSystemResolution(rootFd.Get()))
    return ResolveBySystem(rootFd.Get(), std::move(todo), followLast);
  auto walked = Walk(rootFd.Get(), std::move(todo), false, followLast);
  if (!walked)
    return std::nullopt;
  Place place;
  place.folder = std::move(walked->folder);
  place.name = std::move(walked->name);
  place.confined = true;
  return place;
}

int Open(const std::string& path, int flags, mode_t mode) {
  // A new file that must not be there yet is never a link's target, as open(2) has it.
  const bool exclusive = (flags & O_CREAT) != 0 && (flags & O_EXCL) != 0;
  const auto place = PlaceOf(path, !exclusive);
  if (!place)
    return -1;
  return ::openat(place->Dir(), place->Name(), flags | place->NoFollow(), mode);
}

bool Stat(const std::string& path, struct stat& info) {
  const auto place = PlaceOf(path, true);
  return place && ::fstatat(place->Dir(), place->Name(), &info, place->SymlinkNoFollow()) == 0;
}

}  // namespace inroot

}  // namespace brindel::platform
