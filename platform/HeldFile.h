#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>

namespace brindel::platform {

// What makes a file the same file whatever path names it: its volume and its number
// there (device and inode; on Windows the volume serial number and the file index).
struct FileIdentity {
  std::uint64_t volume = 0;
  std::uint64_t file = 0;
  friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

// The identity of the file that `path` names, links followed; nullopt when there is
// none (or it cannot be asked for).
std::optional<FileIdentity> IdentityOf(const std::filesystem::path& path);

// True when `path` names, by identity, a file that this process holds open as a
// HeldFile: writing there would pull the file from under its reader.
bool IsHeldFile(const std::filesystem::path& path);

class NewFile;

// A file opened once for a whole run and read through a read-only view of its first
// bytes. Nobody may change it while it is held: on Windows the way it is shared lets
// others read it and no one write it; elsewhere the guard of the view turns a read
// past the end of a file that another program shortened into zeros and the view is
// then no longer intact, instead of the signal that would end the process.
//
// A file held for writing also holds the writers' lock: one run at a time may hold
// it so. The lock belongs to the open file, so a run that dies leaves none behind.
class HeldFile {
 public:
  enum class Use {
    Read,   // shared with every reader, no lock
    Write,  // read now, replaced later: the writers' lock is held as well
  };

  // Why Open gave nothing.
  enum class Refusal {
    None,
    NotFound,
    NotAFile,  // a folder, a device, a pipe
    Denied,    // no right to read it
    Locked,    // another run holds the writers' lock
    InUse,     // another program has it open and lets no one read beside it
    Failed,    // anything else
  };

  static std::unique_ptr<HeldFile> Open(const std::filesystem::path& file, Use use,
                                        Refusal& refusal);
  ~HeldFile();
  HeldFile(const HeldFile&) = delete;
  HeldFile& operator=(const HeldFile&) = delete;

  const std::filesystem::path& Path() const { return path_; }
  FileIdentity Identity() const { return identity_; }
  // The size of the file now; nullopt when it cannot be asked for.
  std::optional<std::uint64_t> Size() const;
  // Reads up to `bytes.size()` bytes at `offset`; `got` says how many there were.
  bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> bytes, std::size_t& got) const;

  // Makes the read-only view of the first `size` bytes, which must be in the file.
  bool Map(std::size_t size);
  // The view; it may move when the file is put back after a failed replacement.
  std::span<const std::uint8_t> View() const { return {view_, viewSize_}; }
  // False once the view no longer shows the file: the file was found shorter than the
  // view, or it could not be opened again after a failed replacement. The view then
  // reads as zeros where the file is missing. Inline: asked after every read.
  bool Intact() const {
    return !lost_ && (shortened_ == nullptr || !shortened_->load(std::memory_order_acquire));
  }

  // Gives the writers' lock up, for a file that turned out to be only read.
  void Unlock();

 private:
  friend class NewFile;
  HeldFile() = default;

  void CloseView();
  // On Windows a file cannot be replaced while it is open: Release closes it, and
  // Restore opens it again (and locks and views it as before) when the replacement
  // failed. A file that is no longer the same then reads as zeros and is not intact.
  void Release();
  void Restore();

  std::filesystem::path path_;
  Use use_ = Use::Read;
  FileIdentity identity_;
  std::intptr_t handle_ = -1;  // the descriptor, or the Windows handle
  std::intptr_t mapping_ = 0;  // Windows: the file mapping object
  const std::uint8_t* view_ = nullptr;
  std::size_t viewSize_ = 0;
  int guard_ = -1;                                // POSIX: the view's place in the guard's table
  const std::atomic<bool>* shortened_ = nullptr;  // its mark there
  bool listed_ = false;                           // counted by IsHeldFile
  bool lost_ = false;                             // not opened again after a failed replacement
};

}  // namespace brindel::platform
