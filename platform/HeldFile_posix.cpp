#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <mutex>
#include <utility>

#include "platform/HeldFile.h"
#include "platform/HeldFileList.h"
#include "platform/InRoot_posix.h"

namespace brindel::platform {

namespace {

// The guard of the views. A view shows the file through the page cache; when another
// program shortens the file, a read of a page past its new end raises SIGBUS, which
// would end the process. The handler puts zeroed pages in the place of the missing
// ones, from the page read to the end of the view, marks the view, and lets the read
// go on: what follows sees damage, and the holder sees that the view is not intact.
// The handler reads this table without locks, so each entry is set in an order that
// it can read at any moment: the size first, then the start.
struct GuardedView {
  std::atomic<std::uintptr_t> start{0};  // 0: free; 1: being filled
  std::atomic<std::size_t> size{0};
  std::atomic<bool> shortened{false};
};

constexpr std::size_t kGuardedViews = 256;
GuardedView guardedViews[kGuardedViews];
struct sigaction previousBusError;
std::uintptr_t pageSize = 4096;

void OnBusError(int signal, siginfo_t* info, void* context) {
  const auto address = reinterpret_cast<std::uintptr_t>(info->si_addr);
  for (GuardedView& view : guardedViews) {
    const std::uintptr_t start = view.start.load(std::memory_order_acquire);
    const std::size_t size = view.size.load(std::memory_order_acquire);
    if (start <= 1 || address < start || address - start >= size)
      continue;
    const std::uintptr_t page = address & ~(pageSize - 1);
    const std::uintptr_t end = (start + size + pageSize - 1) & ~(pageSize - 1);
    void* zeros = ::mmap(reinterpret_cast<void*>(page), end - page, PROT_READ,
                         MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0);
    if (zeros != MAP_FAILED) {
      view.shortened.store(true, std::memory_order_release);
      return;
    }
    break;
  }
  // Not one of the views: what would have happened without the guard.
  if ((previousBusError.sa_flags & SA_SIGINFO) != 0 && previousBusError.sa_sigaction != nullptr) {
    previousBusError.sa_sigaction(signal, info, context);
    return;
  }
  if (previousBusError.sa_handler != SIG_DFL && previousBusError.sa_handler != SIG_IGN) {
    previousBusError.sa_handler(signal);
    return;
  }
  // The read is made again on return and ends the process as it would have.
  struct sigaction fallback {};
  fallback.sa_handler = SIG_DFL;
  ::sigaction(SIGBUS, &fallback, nullptr);
}

void InstallGuard() {
  static std::once_flag once;
  std::call_once(once, [] {
    pageSize = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
    struct sigaction action {};
    action.sa_sigaction = OnBusError;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGBUS, &action, &previousBusError);
  });
}

// The place of the view in the table; -1 when the table is full.
int Guard(const void* view, std::size_t size) {
  InstallGuard();
  for (std::size_t i = 0; i < kGuardedViews; ++i) {
    std::uintptr_t free = 0;
    GuardedView& entry = guardedViews[i];
    if (entry.start.compare_exchange_strong(free, 1, std::memory_order_acq_rel)) {
      entry.shortened.store(false, std::memory_order_relaxed);
      entry.size.store(size, std::memory_order_release);
      entry.start.store(reinterpret_cast<std::uintptr_t>(view), std::memory_order_release);
      return static_cast<int>(i);
    }
  }
  return -1;
}

void Unguard(int index) {
  if (index < 0)
    return;
  GuardedView& entry = guardedViews[index];
  entry.start.store(1, std::memory_order_release);
  entry.size.store(0, std::memory_order_release);
  entry.start.store(0, std::memory_order_release);
}

FileIdentity IdentityOf(const struct stat& info) {
  return {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
}

HeldFile::Refusal RefusalOf(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR:
      return HeldFile::Refusal::NotFound;
    case EACCES:
    case EPERM:
      return HeldFile::Refusal::Denied;
    default:
      return HeldFile::Refusal::Failed;
  }
}

}  // namespace

std::optional<FileIdentity> IdentityOf(const std::filesystem::path& path) {
  struct stat info {};
  if (!inroot::Stat(path.string(), info))
    return std::nullopt;
  return IdentityOf(info);
}

std::unique_ptr<HeldFile> HeldFile::Open(const std::filesystem::path& file, Use use,
                                         Refusal& refusal) {
  for (int attempt = 0;; ++attempt) {
    // Without blocking: a pipe put in the file's place must not stop the run.
    const int fd = inroot::Open(file.string(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
      refusal = RefusalOf(errno);
      return nullptr;
    }
    std::unique_ptr<HeldFile> held(new HeldFile);
    held->path_ = file;
    held->use_ = use;
    held->handle_ = fd;
    struct stat opened {};
    if (::fstat(fd, &opened) != 0) {
      refusal = Refusal::Failed;
      return nullptr;
    }
    if (!S_ISREG(opened.st_mode)) {
      refusal = Refusal::NotAFile;
      return nullptr;
    }
    held->identity_ = IdentityOf(opened);
    if (use == Use::Write) {
      int locked = 0;
      do {
        locked = ::flock(fd, LOCK_EX | LOCK_NB);
      } while (locked != 0 && errno == EINTR);
      if (locked != 0) {
        refusal = errno == EWOULDBLOCK ? Refusal::Locked : Refusal::Failed;
        return nullptr;
      }
      // A run that wrote the file replaced it by a new one between our open and our
      // lock: what we opened is no longer the file. Take the new one.
      if (IdentityOf(file) != held->identity_) {
        if (attempt < 3)
          continue;
        refusal = Refusal::Locked;
        return nullptr;
      }
    }
    AddHeldFile(held->identity_);
    held->listed_ = true;
    refusal = Refusal::None;
    return held;
  }
}

HeldFile::~HeldFile() {
  CloseView();
  if (handle_ >= 0)
    ::close(static_cast<int>(handle_));
  if (listed_)
    RemoveHeldFile(identity_);
}

std::optional<std::uint64_t> HeldFile::Size() const {
  struct stat info {};
  if (handle_ < 0 || ::fstat(static_cast<int>(handle_), &info) != 0)
    return std::nullopt;
  return static_cast<std::uint64_t>(info.st_size);
}

bool HeldFile::ReadAt(std::uint64_t offset, std::span<std::uint8_t> bytes, std::size_t& got) const {
  got = 0;
  while (got < bytes.size()) {
    const ssize_t n = ::pread(static_cast<int>(handle_), bytes.data() + got, bytes.size() - got,
                              static_cast<off_t>(offset + got));
    if (n < 0 && errno == EINTR)
      continue;
    if (n < 0)
      return false;
    if (n == 0)
      break;
    got += static_cast<std::size_t>(n);
  }
  return true;
}

bool HeldFile::Map(std::size_t size) {
  CloseView();
  void* view = ::mmap(nullptr, size, PROT_READ, MAP_SHARED, static_cast<int>(handle_), 0);
  if (view == MAP_FAILED)
    return false;
  guard_ = Guard(view, size);
  if (guard_ >= 0)
    shortened_ = &guardedViews[guard_].shortened;
  if (guard_ < 0) {
    // More views than the guard keeps: a copy of the bytes instead, which no other
    // program can shorten.
    ::munmap(view, size);
    view = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    std::size_t got = 0;
    if (view == MAP_FAILED)
      return false;
    if (!ReadAt(0, std::span(static_cast<std::uint8_t*>(view), size), got) || got != size) {
      ::munmap(view, size);
      return false;
    }
    ::mprotect(view, size, PROT_READ);
  }
  view_ = static_cast<const std::uint8_t*>(view);
  viewSize_ = size;
  return true;
}

void HeldFile::CloseView() {
  if (view_ == nullptr)
    return;
  // What the view found stays known when it goes.
  lost_ = !Intact();
  Unguard(guard_);
  guard_ = -1;
  shortened_ = nullptr;
  ::munmap(const_cast<std::uint8_t*>(view_), viewSize_);
  view_ = nullptr;
  viewSize_ = 0;
}

void HeldFile::Unlock() {
  if (use_ != Use::Write || handle_ < 0)
    return;
  ::flock(static_cast<int>(handle_), LOCK_UN);
  use_ = Use::Read;
}

// A rename replaces a file that is open here; it needs nothing let go.
void HeldFile::Release() {}
void HeldFile::Restore() {}

}  // namespace brindel::platform
