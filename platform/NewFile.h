#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "platform/HeldFile.h"

namespace brindel::platform {

// A new file written beside a target and put in the target's place once it is
// complete and on the disk, so that the target is always either the old file or the
// whole new one. Until it is in place it is removed on every way out. Each step
// reports whether it worked; the system's reason is then LastFileErrorText's.
//
// The steps, in order: Create, WriteAt or Append, Sync, then Close (or Hold, to read
// it on as the run's file), PutInPlace, and SyncFolder for a rename that a crash must
// not undo.
class NewFile {
 public:
  // A file of a name no other file has, `prefix` and six letters or digits, in
  // `folder`. It gets the permissions and owner of `like` where the system lets this
  // process give them (on Windows its security descriptor and attributes).
  static std::unique_ptr<NewFile> CreateUnique(const std::filesystem::path& folder,
                                               std::string_view prefix, const HeldFile* like);
  // The file `file`, emptied when it is there already.
  static std::unique_ptr<NewFile> Create(const std::filesystem::path& file);
  // The file `file`, which must not be there yet; it is meant to stay (Keep).
  static std::unique_ptr<NewFile> CreateExclusive(const std::filesystem::path& file);
  // Removes the file unless it was put in place or kept.
  ~NewFile();
  NewFile(const NewFile&) = delete;
  NewFile& operator=(const NewFile&) = delete;

  const std::filesystem::path& Path() const { return path_; }
  bool WriteAt(std::span<const std::uint8_t> bytes, std::uint64_t offset);
  // Writes after the bytes appended so far; from one thread at a time.
  bool Append(std::string_view bytes);
  // Lets the disk start on a written stretch while the rest is still being made, so
  // that Sync waits for the last stretch only. Only a start: Sync finds out whether
  // it worked.
  void StartWriteback(std::uint64_t offset, std::uint64_t length);
  // Every byte on the disk.
  bool Sync();
  // No more writing: the file is closed.
  bool Close();
  // No more writing: the file is held for the run as a HeldFile for writing, with the
  // writers' lock, before anyone else can know it. Nullptr when that fails.
  std::unique_ptr<HeldFile> Hold();
  // Puts the file in place of `target` in one step. `old` is the target as this run
  // holds it: where the system replaces no open file (Windows), it is let go for the
  // step and held again when the step fails. `overReadOnly` replaces a target that is
  // marked read-only as well. A file that Hold gave is then the target.
  bool PutInPlace(const std::filesystem::path& target, HeldFile* old, bool overReadOnly);
  // The file stays where it is.
  void Keep() { kept_ = true; }

 private:
  NewFile() = default;
  // The object for an open handle of a file that this object now owns.
  static std::unique_ptr<NewFile> Adopt(std::filesystem::path path, std::intptr_t handle);

  std::filesystem::path path_;
  std::intptr_t handle_ = -1;
  std::uint64_t appended_ = 0;
  HeldFile* held_ = nullptr;  // what Hold gave, renamed with the file
  bool kept_ = false;
};

// Makes the names in `folder` durable, the new name of a file put in place there
// among them. Windows writes a replacement through at once.
bool SyncFolder(const std::filesystem::path& folder);

// Removes the files that a run killed between CreateUnique and PutInPlace left in
// `folder`: regular files whose names are `prefix` and six more characters.
void RemoveLeftovers(const std::filesystem::path& folder, std::string_view prefix);

// True when this process may replace `file` by a new file beside it: the file and its
// folder may be written.
bool CanReplace(const std::filesystem::path& file);

// The system's code of the last failed file operation of this thread, to hand it to
// another thread with SetLastFileErrorCode (errno; on Windows GetLastError).
std::int32_t LastFileErrorCode();
void SetLastFileErrorCode(std::int32_t code);
// What the last failed file operation of this thread ran into.
bool LastFileErrorIsDiskFull();
bool LastFileErrorIsExisting();
// A file or a folder on its way that is not there.
bool LastFileErrorIsNotFound();
// Records that a file operation was refused because the file is in use.
void SetFileInUseError();

}  // namespace brindel::platform
