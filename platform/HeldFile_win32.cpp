#include <windows.h>

#include <utility>

#include "platform/HeldFile.h"
#include "platform/HeldFileList.h"
#include "platform/InRoot_win32.h"

namespace brindel::platform {

namespace {

// Others may read the file and rename or delete it, as elsewhere, but no one may
// write it: a file that cannot be written cannot be shortened under the view either.
constexpr DWORD kShare = FILE_SHARE_READ | FILE_SHARE_DELETE;
// The writers' lock is one byte far past the end of any file it guards: Windows locks
// keep others from the bytes they cover, and readers must still read every byte.
constexpr DWORD kLockOffsetHigh = 0x7FFFFFFF;

HANDLE AsHandle(std::intptr_t handle) {
  return reinterpret_cast<HANDLE>(handle);
}

std::optional<FileIdentity> IdentityOf(HANDLE file) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!::GetFileInformationByHandle(file, &info))
    return std::nullopt;
  return FileIdentity{info.dwVolumeSerialNumber,
                      std::uint64_t{info.nFileIndexHigh} << 32 | info.nFileIndexLow};
}

HeldFile::Refusal RefusalOf(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_BAD_NETPATH:
    case ERROR_INVALID_DRIVE:
      return HeldFile::Refusal::NotFound;
    case ERROR_ACCESS_DENIED:
      return HeldFile::Refusal::Denied;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return HeldFile::Refusal::InUse;
    default:
      return HeldFile::Refusal::Failed;
  }
}

bool Lock(HANDLE file) {
  OVERLAPPED at{};
  at.OffsetHigh = kLockOffsetHigh;
  return ::LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at) !=
         FALSE;
}

// Opens the file as a HeldFile holds it, with the lock for a writer.
HANDLE OpenHeld(const std::filesystem::path& given, HeldFile::Use use, HeldFile::Refusal& refusal) {
  // Found as every path below a Windows root is found.
  const auto place = inroot::SystemPath(given, true);
  if (!place) {
    refusal = RefusalOf(::GetLastError());
    return INVALID_HANDLE_VALUE;
  }
  const std::filesystem::path file(*place);
  const DWORD attributes = ::GetFileAttributesW(file.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    refusal = RefusalOf(::GetLastError());
    return INVALID_HANDLE_VALUE;
  }
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    refusal = HeldFile::Refusal::NotAFile;
    return INVALID_HANDLE_VALUE;
  }
  const HANDLE handle = ::CreateFileW(file.c_str(), GENERIC_READ, kShare, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    refusal = RefusalOf(::GetLastError());
    return INVALID_HANDLE_VALUE;
  }
  if (::GetFileType(handle) != FILE_TYPE_DISK) {
    ::CloseHandle(handle);
    refusal = HeldFile::Refusal::NotAFile;
    return INVALID_HANDLE_VALUE;
  }
  if (use == HeldFile::Use::Write && !Lock(handle)) {
    const DWORD error = ::GetLastError();
    ::CloseHandle(handle);
    refusal = error == ERROR_LOCK_VIOLATION ? HeldFile::Refusal::Locked : HeldFile::Refusal::Failed;
    return INVALID_HANDLE_VALUE;
  }
  refusal = HeldFile::Refusal::None;
  return handle;
}

}  // namespace

std::optional<FileIdentity> IdentityOf(const std::filesystem::path& given) {
  const auto path = inroot::SystemPath(given, true);
  if (!path)
    return std::nullopt;
  // Asking for attributes only does not collide with how others share the file.
  const HANDLE file = ::CreateFileW(path->c_str(), FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    return std::nullopt;
  auto identity = IdentityOf(file);
  ::CloseHandle(file);
  return identity;
}

std::unique_ptr<HeldFile> HeldFile::Open(const std::filesystem::path& file, Use use,
                                         Refusal& refusal) {
  const HANDLE handle = OpenHeld(file, use, refusal);
  if (handle == INVALID_HANDLE_VALUE)
    return nullptr;
  std::unique_ptr<HeldFile> held(new HeldFile);
  held->path_ = file;
  held->use_ = use;
  held->handle_ = reinterpret_cast<std::intptr_t>(handle);
  const auto identity = IdentityOf(handle);
  if (!identity) {
    refusal = Refusal::Failed;
    return nullptr;
  }
  held->identity_ = *identity;
  AddHeldFile(held->identity_);
  held->listed_ = true;
  return held;
}

HeldFile::~HeldFile() {
  CloseView();
  if (handle_ != -1)
    ::CloseHandle(AsHandle(handle_));
  if (listed_)
    RemoveHeldFile(identity_);
}

std::optional<std::uint64_t> HeldFile::Size() const {
  LARGE_INTEGER size{};
  if (handle_ == -1 || !::GetFileSizeEx(AsHandle(handle_), &size))
    return std::nullopt;
  return static_cast<std::uint64_t>(size.QuadPart);
}

bool HeldFile::ReadAt(std::uint64_t offset, std::span<std::uint8_t> bytes, std::size_t& got) const {
  got = 0;
  while (got < bytes.size()) {
    OVERLAPPED at{};
    const std::uint64_t from = offset + got;
    at.Offset = static_cast<DWORD>(from);
    at.OffsetHigh = static_cast<DWORD>(from >> 32);
    DWORD read = 0;
    const auto chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - got, 1u << 30));
    if (!::ReadFile(AsHandle(handle_), bytes.data() + got, chunk, &read, &at)) {
      if (::GetLastError() == ERROR_HANDLE_EOF)
        break;
      return false;
    }
    if (read == 0)
      break;
    got += read;
  }
  return true;
}

bool HeldFile::Map(std::size_t size) {
  CloseView();
  const HANDLE mapping =
      ::CreateFileMappingW(AsHandle(handle_), nullptr, PAGE_READONLY, 0, 0, nullptr);
  if (mapping == nullptr)
    return false;
  const void* view = ::MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, size);
  if (view == nullptr) {
    ::CloseHandle(mapping);
    return false;
  }
  mapping_ = reinterpret_cast<std::intptr_t>(mapping);
  view_ = static_cast<const std::uint8_t*>(view);
  viewSize_ = size;
  return true;
}

void HeldFile::CloseView() {
  if (view_ != nullptr) {
    if (lost_)
      ::VirtualFree(const_cast<std::uint8_t*>(view_), 0, MEM_RELEASE);
    else
      ::UnmapViewOfFile(view_);
  }
  if (mapping_ != 0)
    ::CloseHandle(AsHandle(mapping_));
  mapping_ = 0;
  view_ = nullptr;
  viewSize_ = 0;
}

void HeldFile::Unlock() {
  if (use_ != Use::Write || handle_ == -1)
    return;
  OVERLAPPED at{};
  at.OffsetHigh = kLockOffsetHigh;
  ::UnlockFileEx(AsHandle(handle_), 0, 1, 0, &at);
  use_ = Use::Read;
}

void HeldFile::Release() {
  const std::size_t size = viewSize_;
  CloseView();
  viewSize_ = size;
  if (handle_ != -1)
    ::CloseHandle(AsHandle(handle_));
  handle_ = -1;
}

void HeldFile::Restore() {
  const std::size_t size = viewSize_;
  viewSize_ = 0;
  Refusal refusal = Refusal::None;
  const HANDLE handle = OpenHeld(path_, use_, refusal);
  if (handle != INVALID_HANDLE_VALUE) {
    handle_ = reinterpret_cast<std::intptr_t>(handle);
    // The same file as before, which the failed replacement left as it was.
    if (IdentityOf(handle) == identity_ && Map(size))
      return;
    ::CloseHandle(handle);
    handle_ = -1;
  }
  // Another file, or none: the view reads as zeros and is no longer intact.
  lost_ = true;
  view_ = static_cast<const std::uint8_t*>(
      ::VirtualAlloc(nullptr, size, MEM_RESERVE | MEM_COMMIT, PAGE_READONLY));
  viewSize_ = view_ != nullptr ? size : 0;
}

}  // namespace brindel::platform
