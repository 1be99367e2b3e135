#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/WriteBehind.h"

namespace brindel::platform {

// File operations of the backup and the log, on local paths in UTF-8. None of them
// throws; each reports whether it worked.

// True when the path names an existing file or folder; a link counts as its target.
bool FileExists(const std::string& path);
bool DirectoryExists(const std::string& path);
// Creates this one folder; its parent must exist.
bool CreateDirectory(const std::string& path);
// Makes a read-only (and, on Windows, hidden) file an ordinary writable one again.
void ClearFileAttributes(const std::string& path);
bool SetReadOnly(const std::string& path, bool readOnly);
bool IsReadOnly(const std::string& path);
bool DeleteFile(const std::string& path);
// Copies a file; fails when the target exists.
bool CopyFileNoOverwrite(const std::string& from, const std::string& to);
// How a new file takes the place of an old one.
enum class TReplace {
  // Once every byte is in the system's cache: an export the user asked for.
  Cached,
  // Only once every byte is on the disk, and over a read-only file too: backups and
  // logs, which a crash must not leave half written.
  Durable,
};

// Writes a new file beside `path` as `write` makes it, piece by piece through the
// sink (a thread of its own writes each piece while the next is made), and puts it in
// place of `path` only when `write` returned true and every byte was written: `path`
// is either the old file or the complete new one, and no new file is left behind.
// False when `path` stayed the old file; the system's reason, when it had one, is
// LastFileErrorText's.
bool WriteFileReplacing(const std::string& path, TReplace how,
                        const std::function<bool(TFileSink& sink)>& write);
// The same for bytes at hand, durable.
bool WriteFileReplacing(const std::string& path, std::string_view bytes);
// A durable copy of the file `from` in place of `to`, as WriteFileReplacing writes.
bool CopyFileReplacing(const std::string& from, const std::string& to);
// Puts the complete file `from` in place of `to` in one step.
bool ReplaceFile(const std::string& from, const std::string& to);
// The file WriteFileReplacing writes before it puts it in place of `path`.
std::string TemporaryFileOf(const std::string& path);
// Removes the temporary file of `path` that a run killed between writing and
// renaming left behind. True when nothing is in its place any more.
bool RemoveLeftoverOf(const std::string& path);
// Why ReadFileBytes gave no bytes.
enum class TReadRefusal {
  None,
  Missing,     // nothing of that name
  NotAFile,    // a folder, a FIFO, a device or a socket
  TooLarge,    // more than the reader's limit
  Unreadable,  // the system refused to open or read it
};

inline constexpr std::uint64_t kAnyFileSize = ~std::uint64_t{0};

// The bytes of a regular file (or of the file a link names), of at most maxSize
// bytes; nullopt when it cannot be read, with the reason in `refusal` when given.
// Anything but a regular file is refused before a byte is read: a FIFO would make
// the reader wait for a writer for ever, a device would never end.
std::optional<std::string> ReadFileBytes(const std::string& path,
                                         std::uint64_t maxSize = kAnyFileSize,
                                         TReadRefusal* refusal = nullptr);
// Why a file was not read, as a German sentence that names it.
std::u16string ReadRefusalText(TReadRefusal refusal, std::u16string_view fileName);
// The bytes of a regular file piece by piece, for files too large to hold at once;
// false when it cannot be read or `piece` returned false.
bool ReadFilePieces(const std::string& path, const std::function<bool(std::string_view)>& piece);
// The size of a regular file; nullopt when there is none (LastFileErrorIsNotFound
// then tells a missing one from another thing in its place).
std::optional<std::uint64_t> FileSize(const std::string& path);

// The names of the entries of a folder, "." and ".." left out; nullopt when it cannot
// be read.
std::optional<std::vector<std::string>> ListFolder(const std::string& path);

// Creates a new, empty folder of a unique name in the system's folder for temporary
// files; its name begins with `prefix`. nullopt when that fails.
std::optional<std::string> MakeTemporaryFolder(std::string_view prefix);

// A name that can stand as one file name in the backup folder: not empty, not "." or
// "..", no "/" or "\", no control characters; on Windows also none of the characters
// and device names that Windows refuses, and no trailing dot or blank.
bool IsPlainFileName(std::u16string_view name);

}  // namespace brindel::platform
