#include <windows.h>
#undef CopyFile
#undef CreateDirectory
#undef DeleteFile
#undef ReplaceFile

#include <string>
#include <vector>

#include "platform/FileSystem.h"
#include "platform/InRoot_win32.h"
#include "platform/Text.h"

namespace brindel::platform {
namespace {

// Paths arrive in UTF-8; Windows takes them in UTF-16, below a Windows root with every
// junction and link on the way resolved within it (InRoot.h). Empty when a path below
// the root leads nowhere; the last error then says why.
std::wstring Wide(const std::string& path, bool followLast = true) {
  const std::u16string text = FromUtf8(path);
  return inroot::SystemPath(std::wstring(text.begin(), text.end()), followLast)
      .value_or(std::wstring());
}

DWORD Attributes(const std::string& path) {
  const std::wstring native = Wide(path);
  return native.empty() ? INVALID_FILE_ATTRIBUTES : ::GetFileAttributesW(native.c_str());
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
  const std::wstring native = Wide(path, false);
  return !native.empty() && ::CreateDirectoryW(native.c_str(), nullptr) != FALSE;
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
  const std::wstring native = Wide(path, false);
  return !native.empty() && ::DeleteFileW(native.c_str()) != FALSE;
}

bool CopyFileNoOverwrite(const std::string& from, const std::string& to) {
  // CopyFileW with bFailIfExists never overwrites; a failed copy leaves no target.
  const std::wstring source = Wide(from);
  const std::wstring target = Wide(to, false);
  if (source.empty() || target.empty() || !::CopyFileW(source.c_str(), target.c_str(), TRUE))
    return false;
  const HANDLE file = ::CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    return true;
  ::FlushFileBuffers(file);
  ::CloseHandle(file);
  return true;
}

bool ReplaceFile(const std::string& from, const std::string& to) {
  const std::wstring source = Wide(from, false);
  const std::wstring target = Wide(to, false);
  return !source.empty() && !target.empty() &&
         ::MoveFileExW(source.c_str(), target.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
}

namespace {

// A file opened for reading; only a file on a disk is read: a pipe or a device in its
// place would hold the run up or never end.
HANDLE OpenRegularFile(const std::string& path) {
  const std::wstring native = Wide(path);
  if (native.empty())
    return INVALID_HANDLE_VALUE;
  const HANDLE file = ::CreateFileW(native.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE && ::GetFileType(file) != FILE_TYPE_DISK) {
    ::CloseHandle(file);
    ::SetLastError(ERROR_INVALID_FUNCTION);
    return INVALID_HANDLE_VALUE;
  }
  return file;
}

}  // namespace

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
  // A path below the Windows root that leads out of it has no name here.
  const std::wstring native = Wide(path);
  if (native.empty())
    return refuse(TReadRefusal::Unreadable);
  const HANDLE file = ::CreateFileW(native.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
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

bool ReadFilePieces(const std::string& path, const std::function<bool(std::string_view)>& piece) {
  const HANDLE file = OpenRegularFile(path);
  if (file == INVALID_HANDLE_VALUE)
    return false;
  std::vector<char> buffer(std::size_t{1} << 18);
  bool ok = true;
  for (;;) {
    DWORD got = 0;
    if (!::ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr)) {
      ok = false;
      break;
    }
    if (got == 0)
      break;
    if (!piece(std::string_view(buffer.data(), got))) {
      ok = false;
      break;
    }
  }
  const DWORD error = ::GetLastError();
  ::CloseHandle(file);
  ::SetLastError(error);
  return ok;
}

std::optional<std::uint64_t> FileSize(const std::string& path) {
  const std::wstring native = Wide(path);
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (native.empty() || !::GetFileAttributesExW(native.c_str(), GetFileExInfoStandard, &data))
    return std::nullopt;
  if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    ::SetLastError(ERROR_DIRECTORY);
    return std::nullopt;
  }
  return std::uint64_t{data.nFileSizeHigh} << 32 | data.nFileSizeLow;
}

std::optional<std::vector<std::string>> ListFolder(const std::string& path) {
  const std::wstring native = Wide(path);
  if (native.empty())
    return std::nullopt;
  WIN32_FIND_DATAW found{};
  const HANDLE search = ::FindFirstFileW((native + L"\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE)
    return std::nullopt;
  std::vector<std::string> names;
  do {
    const std::u16string name(reinterpret_cast<const char16_t*>(found.cFileName));
    if (name != u"." && name != u"..")
      names.push_back(ToUtf8(name));
  } while (::FindNextFileW(search, &found));
  ::FindClose(search);
  return names;
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
