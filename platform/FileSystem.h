#pragma once

#include <optional>
#include <string>
#include <string_view>

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
// Writes the bytes to a new file beside `path`, makes them durable, and only then
// puts the file in place of `path`, so that `path` is either the old file or the
// complete new one.
bool WriteFileReplacing(const std::string& path, std::string_view bytes);
// Puts the complete file `from` in place of `to` in one step.
bool ReplaceFile(const std::string& from, const std::string& to);
// The file WriteFileReplacing writes before it puts it in place of `path`.
std::string TemporaryFileOf(const std::string& path);
// Removes the temporary file of `path` that a run killed between writing and
// renaming left behind. True when nothing is in its place any more.
bool RemoveLeftoverOf(const std::string& path);
// The bytes of a file; nullopt when it cannot be read.
std::optional<std::string> ReadFileBytes(const std::string& path);

// Creates a new, empty folder of a unique name in the system's folder for temporary
// files; its name begins with `prefix`. nullopt when that fails.
std::optional<std::string> MakeTemporaryFolder(std::string_view prefix);

// A name that can stand as one file name in the backup folder: not empty, not "." or
// "..", no "/" or "\", no control characters; on Windows also none of the characters
// and device names that Windows refuses, and no trailing dot or blank.
bool IsPlainFileName(std::u16string_view name);

}  // namespace brindel::platform
