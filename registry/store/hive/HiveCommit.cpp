#include "registry/store/hive/HiveCommit.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <string>
#include <utility>

#include "registry/store/hive/HiveCells.h"
#include "registry/store/hive/HiveWriter.h"

// The file sequence of a commit: a new file beside the hive, written, synced, and
// renamed over the hive; what a killed run left beside it is removed first.
namespace brindel::registry::store::hive {

ECommitError::ECommitError(std::u16string reason, std::optional<std::u16string> damagedKey)
    : EHiveError(std::move(reason)), damagedKey_(std::move(damagedKey)) {}

namespace {

// Temporary files of this naming beside a hive are ours: left by a run that was
// killed while it wrote, since a run that holds the hive's lock removes its own.
std::string TempPrefix(const std::filesystem::path& file) {
  return "." + file.filename().string() + ".brindel-";
}

void RemoveLeftovers(const std::filesystem::path& folder, const std::filesystem::path& file) {
  const std::string prefix = TempPrefix(file);
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
    const std::string name = entry.path().filename().string();
    if (name.size() == prefix.size() + 6 && name.starts_with(prefix) &&
        entry.is_regular_file(error) && !entry.is_symlink(error)) {
      ::unlink(entry.path().c_str());
    }
  }
}

// The new file until it has replaced the hive: removed on every way out before that.
class TempFile {
 public:
  TempFile(std::string path, int fd) : path_(std::move(path)), fd_(fd) {}
  ~TempFile() {
    if (fd_ >= 0)
      ::close(fd_);
    if (!path_.empty())
      ::unlink(path_.c_str());
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  const std::string& Path() const { return path_; }
  int Descriptor() const { return fd_; }
  // The descriptor now belongs to someone else.
  void GiveDescriptor() { fd_ = -1; }
  // The file is in place: it stays.
  void Keep() { path_.clear(); }

 private:
  std::string path_;
  int fd_;
};

}  // namespace

std::unique_ptr<HiveFile> CommitHive(const HiveFile& old, Key& root, const CommitFault& fault) {
  const std::filesystem::path& file = old.Path();
  // The new file goes next to the old one, so that the rename stays in one file system.
  const auto folder = file.has_parent_path() ? file.parent_path() : std::filesystem::path(".");
  RemoveLeftovers(folder, file);

  Steps steps(fault);
  std::string pattern = (folder / (TempPrefix(file) + "XXXXXX")).string();
  const int error = steps.Next();
  const int fd = error != 0 ? -1 : ::mkostemp(pattern.data(), O_CLOEXEC);
  if (fd < 0)
    throw ECommitError(u"im Ordner kann keine neue Datei angelegt werden");
  TempFile temp(pattern, fd);
  // The lock goes with the file into the hive's place; nobody else knows the file yet.
  ::flock(fd, LOCK_EX | LOCK_NB);
  // The original's permissions and, where we may, its owner.
  struct stat original {};
  if (::fstat(old.Descriptor(), &original) == 0) {
    ::fchmod(fd, original.st_mode & 07777);
    if (::fchown(fd, original.st_uid, original.st_gid) != 0) {
      // Only root may hand a file to another owner; the hive stays readable for its user.
    }
  }

  const std::uint64_t now = FileTimeNow();
  Output out(fd, steps);
  Cells cells(out, now);
  const std::uint32_t rootCell = WriteTree(old, root, cells, out);
  const std::uint32_t binsSize = cells.Finish();
  out.Flush();

  // The base block of the old file, for what Windows keeps there, as a clean hive.
  std::array<std::uint8_t, kBaseBlockSize> base{};
  const auto oldBase = old.BaseBlockBytes();
  std::copy(oldBase.begin(), oldBase.end(), base.begin());
  const std::uint32_t sequence = old.Base().sequence2 + 1;
  WriteLE32(base, kSequence1, sequence);
  WriteLE32(base, kSequence2, sequence);
  WriteLE64(base, kTimeStamp, now);
  WriteLE32(base, kRootCell, rootCell);
  WriteLE32(base, kBinsSize, binsSize);
  WriteLE32(base, kChecksum, BaseBlockChecksum(base));
  out.WriteAt(base, 0);

  // Durable before it replaces the original.
  if (int synced = steps.Next(); synced != 0 || ::fsync(fd) != 0)
    throw ECommitError(u"die neue Datei lässt sich nicht sichern");
  std::unique_ptr<HiveFile> written;
  try {
    written = HiveFile::Adopt(file, fd, base, cells.TakeUsed());
  } catch (const EHiveError&) {
    throw ECommitError(u"die neue Datei lässt sich nicht lesen");
  }
  temp.GiveDescriptor();
  if (int renamed = steps.Next(); renamed != 0 || ::rename(temp.Path().c_str(), file.c_str()) != 0)
    throw ECommitError(u"die neue Datei kann die alte nicht ersetzen");
  temp.Keep();
  // The rename is durable once the folder is; should that fail, the hive is the new
  // file all the same, or after a crash the old one, but never half of either.
  if (steps.Next() == 0) {
    if (const int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dirFd >= 0) {
      ::fsync(dirFd);
      ::close(dirFd);
    }
  }
  return written;
}

}  // namespace brindel::registry::store::hive
