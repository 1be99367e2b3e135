#include <windows.h>
#undef CopyFile
#undef CreateDirectory
#undef DeleteFile
#undef ReplaceFile

#include <string>

#include "platform/FileSystem.h"
#include "platform/Text.h"

namespace brindel::platform {
namespace {

// Paths arrive in UTF-8; Windows takes them in UTF-16.
std::wstring Wide(const std::string& path) {
  const std::u16string text = FromUtf8(path);
  return std::wstring(text.begin(), text.end());
}

DWORD Attributes(const std::string& path) {
  return ::GetFileAttributesW(Wide(path).c_str());
}

}  // namespace

bool FileExists(const std::string& path) {
  const DWORD attributes = Attributes(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool DirectoryExists(const std::string& path) {
  const DWORD attributes = Attributes(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool CreateDirectory(const std::string& path) {
  return ::CreateDirectoryW(Wide(path).c_str(), nullptr) != FALSE;
}

bool SetReadOnly(const std::string& path, bool readOnly) {
  const DWORD attributes = Attributes(path);
  if (attributes == INVALID_FILE_ATTRIBUTES)
    return false;
  const DWORD changed = readOnly ? (attributes | FILE_ATTRIBUTE_READONLY)
                                 : (attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
  return ::SetFileAttributesW(Wide(path).c_str(), changed) != FALSE;
}

bool IsReadOnly(const std::string& path) {
  const DWORD attributes = Attributes(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
}

// A backup the user made read-only or hidden is still replaced by the next one.
void ClearFileAttributes(const std::string& path) {
  if (Attributes(path) != INVALID_FILE_ATTRIBUTES)
    ::SetFileAttributesW(Wide(path).c_str(), FILE_ATTRIBUTE_NORMAL);
}

bool DeleteFile(const std::string& path) {
  return ::DeleteFileW(Wide(path).c_str()) != FALSE;
}

bool CopyFileNoOverwrite(const std::string& from, const std::string& to) {
  // CopyFileW with bFailIfExists never overwrites; a failed copy leaves no target.
  if (!::CopyFileW(Wide(from).c_str(), Wide(to).c_str(), TRUE))
    return false;
  const HANDLE file = ::CreateFileW(Wide(to).c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    return true;
  ::FlushFileBuffers(file);
  ::CloseHandle(file);
  return true;
}

bool ReplaceFile(const std::string& from, const std::string& to) {
  return ::MoveFileExW(Wide(from).c_str(), Wide(to).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
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
  // A folder does not open as a file; said so rather than "access denied".
  const DWORD attributes = Attributes(path);
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
    return refuse(TReadRefusal::NotAFile);
  const HANDLE file = ::CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD error = ::GetLastError();
    return refuse(error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND
                      ? TReadRefusal::Missing
                      : TReadRefusal::Unreadable);
  }
  struct HandleCloser {
    HANDLE handle;
    ~HandleCloser() { ::CloseHandle(handle); }
  } closer{file};
  // A named pipe or a device such as CON would keep the reader waiting.
  if (::GetFileType(file) != FILE_TYPE_DISK)
    return refuse(TReadRefusal::NotAFile);
  std::string bytes;
  LARGE_INTEGER size{};
  if (::GetFileSizeEx(file, &size) != FALSE) {
    if (static_cast<std::uint64_t>(size.QuadPart) > maxSize)
      return refuse(TReadRefusal::TooLarge);
    // Read in one piece where the size is known: a backup can hold hundreds of MB.
    if (size.QuadPart > 0)
      bytes.reserve(static_cast<std::size_t>(size.QuadPart));
  }
  char buffer[65536];
  DWORD got = 0;
  bool ok = true;
  while ((ok = ::ReadFile(file, buffer, sizeof buffer, &got, nullptr) != FALSE) && got > 0) {
    if (got > maxSize - bytes.size())
      return refuse(TReadRefusal::TooLarge);
    bytes.append(buffer, got);
  }
  if (!ok)
    return refuse(TReadRefusal::Unreadable);
  return bytes;
}

std::optional<std::string> MakeTemporaryFolder(std::string_view prefix) {
  wchar_t base[MAX_PATH + 1] = {};
  const DWORD length = ::GetTempPathW(MAX_PATH + 1, base);
  if (length == 0 || length > MAX_PATH)
    return std::nullopt;
  std::u16string folder(reinterpret_cast<const char16_t*>(base), length);
  folder += FromUtf8(prefix);
  // Process id and tick count make a name; a taken name is tried again with the next.
  const auto unique = static_cast<unsigned long long>(::GetCurrentProcessId()) << 32 |
                      static_cast<unsigned long long>(::GetTickCount());
  for (unsigned attempt = 0; attempt < 1000; ++attempt) {
    const std::string candidate = ToUtf8(folder) + std::to_string(unique + attempt);
    if (CreateDirectory(candidate))
      return candidate;
    if (::GetLastError() != ERROR_ALREADY_EXISTS)
      return std::nullopt;
  }
  return std::nullopt;
}

}  // namespace brindel::platform
