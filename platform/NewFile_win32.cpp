#include <windows.h>
// After windows.h:
#include <aclapi.h>

#include <random>
#include <string>
#include <utility>

#include "platform/HeldFileList.h"
#include "platform/InRoot_win32.h"
#include "platform/NewFile.h"

namespace brindel::platform {

namespace {

HANDLE AsHandle(std::intptr_t handle) {
  return reinterpret_cast<HANDLE>(handle);
}

// The attributes of a file that a file in its place keeps: a user hive is hidden and
// a system file; read-only is not among them, since the file is to be replaced again.
constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                  FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// Gives `file` the DACL of `like` and, where this process may, its owner and group.
void CopySecurity(HANDLE like, const std::filesystem::path& file, HANDLE created) {
  PSID owner = nullptr;
  PSID group = nullptr;
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (::GetSecurityInfo(
          like, SE_FILE_OBJECT,
          OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
          &owner, &group, &dacl, nullptr, &descriptor) != ERROR_SUCCESS) {
    return;
  }
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  ::GetSecurityDescriptorControl(descriptor, &control, &revision);
  // A DACL that inherits from the folder inherits from the same folder again.
  const SECURITY_INFORMATION protection = (control & SE_DACL_PROTECTED) != 0
                                              ? PROTECTED_DACL_SECURITY_INFORMATION
                                              : UNPROTECTED_DACL_SECURITY_INFORMATION;
  ::SetSecurityInfo(created, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION | protection, nullptr,
                    nullptr, dacl, nullptr);
  // Only an administrator may hand a file to another owner; the file stays readable for
  // its user through the DACL.
  std::wstring name = file.wstring();
  ::SetNamedSecurityInfoW(name.data(), SE_FILE_OBJECT,
                          OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION, owner, group,
                          nullptr, nullptr);
  ::LocalFree(descriptor);
}

}  // namespace

std::unique_ptr<NewFile> NewFile::CreateUnique(const std::filesystem::path& folder,
                                               std::string_view prefix, const HeldFile* like) {
  static constexpr char kLetters[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  std::random_device seed;
  std::mt19937 random(seed());
  std::uniform_int_distribution<std::size_t> letter(0, sizeof kLetters - 2);

  DWORD attributes = FILE_ATTRIBUTE_NORMAL;
  BY_HANDLE_FILE_INFORMATION info{};
  if (like != nullptr && ::GetFileInformationByHandle(AsHandle(like->handle_), &info) &&
      (info.dwFileAttributes & kKeptAttributes) != 0) {
    attributes = info.dwFileAttributes & kKeptAttributes;
  }
  // The folder as every path below a Windows root is found.
  const auto place = inroot::SystemPath(folder, true);
  if (!place)
    return nullptr;
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name(prefix);
    for (int i = 0; i < 6; ++i)
      name += kLetters[letter(random)];
    const std::filesystem::path path = std::filesystem::path(*place) / name;
    const HANDLE handle =
        ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE | WRITE_DAC, 0, nullptr,
                      CREATE_NEW, attributes, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      if (::GetLastError() == ERROR_FILE_EXISTS)
        continue;
      return nullptr;
    }
    std::unique_ptr<NewFile> file = Adopt(path, reinterpret_cast<std::intptr_t>(handle));
    if (like != nullptr)
      CopySecurity(AsHandle(like->handle_), path, handle);
    return file;
  }
  return nullptr;
}

std::unique_ptr<NewFile> NewFile::Create(const std::filesystem::path& file) {
  const auto place = inroot::SystemPath(file, true);
  if (!place)
    return nullptr;
  const HANDLE handle = ::CreateFileW(place->c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE)
    return nullptr;
  return Adopt(file, reinterpret_cast<std::intptr_t>(handle));
}

std::unique_ptr<NewFile> NewFile::CreateExclusive(const std::filesystem::path& file) {
  const auto place = inroot::SystemPath(file, false);
  if (!place)
    return nullptr;
  const HANDLE handle = ::CreateFileW(place->c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE)
    return nullptr;
  return Adopt(file, reinterpret_cast<std::intptr_t>(handle));
}

NewFile::~NewFile() {
  // The reason of a failure, not of the clean-up, is what the user should read.
  const DWORD reason = ::GetLastError();
  if (handle_ != -1)
    ::CloseHandle(AsHandle(handle_));
  if (!kept_) {
    if (const auto place = inroot::SystemPath(path_, false))
      ::DeleteFileW(place->c_str());
  }
  ::SetLastError(reason);
}

bool NewFile::WriteAt(std::span<const std::uint8_t> bytes, std::uint64_t offset) {
  while (!bytes.empty()) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    const auto chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
    DWORD written = 0;
    if (!::WriteFile(AsHandle(handle_), bytes.data(), chunk, &written, &at))
      return false;
    if (written == 0) {
      ::SetLastError(ERROR_WRITE_FAULT);
      return false;
    }
    bytes = bytes.subspan(written);
    offset += written;
  }
  return true;
}

// Windows starts writing back on its own; FlushFileBuffers waits for the rest.
void NewFile::StartWriteback(std::uint64_t, std::uint64_t) {}

bool NewFile::Sync() {
  return ::FlushFileBuffers(AsHandle(handle_)) != FALSE;
}

bool NewFile::Close() {
  const HANDLE handle = AsHandle(std::exchange(handle_, -1));
  return ::CloseHandle(handle) != FALSE;
}

std::unique_ptr<HeldFile> NewFile::Hold() {
  // Held as every HeldFile is, for reading: a handle that may write would keep others
  // from reading the file beside this run.
  if (!Close())
    return nullptr;
  HeldFile::Refusal refusal = HeldFile::Refusal::None;
  auto held = HeldFile::Open(path_, HeldFile::Use::Write, refusal);
  held_ = held.get();
  return held;
}

bool NewFile::PutInPlace(const std::filesystem::path& target, HeldFile* old, bool overReadOnly) {
  const auto from = inroot::SystemPath(path_, false);
  const auto to = inroot::SystemPath(target, false);
  if (!from || !to)
    return false;
  // A backup or log the user made read-only or hidden is replaced all the same.
  if (overReadOnly && ::GetFileAttributesW(to->c_str()) != INVALID_FILE_ATTRIBUTES)
    ::SetFileAttributesW(to->c_str(), FILE_ATTRIBUTE_NORMAL);
  // Windows replaces no file that is open, and no file that is mapped.
  if (old != nullptr)
    old->Release();
  if (!::MoveFileExW(from->c_str(), to->c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    const DWORD error = ::GetLastError();
    if (old != nullptr)
      old->Restore();
    ::SetLastError(error);
    return false;
  }
  kept_ = true;
  if (held_ != nullptr)
    held_->path_ = target;
  return true;
}

bool SyncFolder(const std::filesystem::path&) {
  return true;
}

namespace {

// Whether this process may open `path` with `access`; sharing aside, which is not asked.
bool MayOpen(const std::filesystem::path& path, DWORD access) {
  const HANDLE handle =
      ::CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE)
    return ::GetLastError() == ERROR_SHARING_VIOLATION;
  ::CloseHandle(handle);
  return true;
}

}  // namespace

// The folder must take a new file, and the file may be deleted: through its own
// rights or through the folder's.
bool CanReplace(const std::filesystem::path& given) {
  const auto place = inroot::SystemPath(given, true);
  if (!place)
    return false;
  const std::filesystem::path file(*place);
  const DWORD attributes = ::GetFileAttributesW(file.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_READONLY) != 0)
    return false;
  const auto folder = file.has_parent_path() ? file.parent_path() : std::filesystem::path(L".");
  return MayOpen(folder, FILE_ADD_FILE) &&
         (MayOpen(file, DELETE) || MayOpen(folder, FILE_DELETE_CHILD));
}

std::int32_t LastFileErrorCode() {
  return static_cast<std::int32_t>(::GetLastError());
}

void SetLastFileErrorCode(std::int32_t code) {
  ::SetLastError(static_cast<DWORD>(code));
}

bool LastFileErrorIsDiskFull() {
  const DWORD error = ::GetLastError();
  return error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL;
}

bool LastFileErrorIsExisting() {
  const DWORD error = ::GetLastError();
  return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS;
}

bool LastFileErrorIsNotFound() {
  const DWORD error = ::GetLastError();
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
         error == ERROR_INVALID_DRIVE || error == ERROR_BAD_NETPATH;
}

void SetFileInUseError() {
  ::SetLastError(ERROR_SHARING_VIOLATION);
}

}  // namespace brindel::platform
