#include "registry/store/hive/HiveCommit.h"

#include <array>
#include <cerrno>
#include <string>
#include <utility>

#include "platform/NewFile.h"
#include "registry/store/hive/HiveCells.h"
#include "registry/store/hive/HiveWriter.h"

// The file sequence of a commit: a new file beside the hive, written, synced, and put
// in the hive's place; what a killed run left beside it is removed first.
namespace brindel::registry::store::hive {

ECommitError::ECommitError(std::u16string reason, std::optional<std::u16string> damagedKey)
    : EHiveError(std::move(reason)), damagedKey_(std::move(damagedKey)) {}

namespace {

// Files of this naming beside a hive are ours: left by a run that was killed while it
// wrote, since a run that holds the hive's lock removes its own.
std::string TempPrefix(const std::filesystem::path& file) {
  return "." + file.filename().string() + ".brindel-";
}

}  // namespace

std::unique_ptr<HiveFile> CommitHive(HiveFile& old, Key& root, const CommitFault& fault) {
  const std::filesystem::path& file = old.Path();
  // The new file goes next to the old one, so that it replaces it within one file system.
  const auto folder = file.has_parent_path() ? file.parent_path() : std::filesystem::path(".");
  platform::RemoveLeftovers(folder, TempPrefix(file));

  Steps steps(fault);
  std::unique_ptr<platform::NewFile> temp;
  if (steps.Next() == 0)
    temp = platform::NewFile::CreateUnique(folder, TempPrefix(file), &old.File());
  if (!temp)
    throw ECommitError(u"im Ordner kann keine neue Datei angelegt werden");

  const std::uint64_t now = FileTimeNow();
  Output out(*temp, steps);
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
  // What was copied from a file that another program shortened meanwhile is zeros.
  if (!old.Whole())
    throw ECommitError(u"die Datei wurde während des Laufs von einem anderen Programm verkürzt");

  // Durable before it replaces the original.
  if (steps.Next() != 0 || !temp->Sync())
    throw ECommitError(u"die neue Datei lässt sich nicht sichern");
  std::unique_ptr<HiveFile> written;
  if (auto held = temp->Hold()) {
    try {
      written = HiveFile::Adopt(file, std::move(held), base, cells.TakeUsed());
    } catch (const EHiveError&) {
    }
  }
  if (!written)
    throw ECommitError(u"die neue Datei lässt sich nicht lesen");
  const bool replaced = steps.Next() == 0 && temp->PutInPlace(file, &old.File(), false);
  old.Refresh();
  if (!replaced)
    throw ECommitError(u"die neue Datei kann die alte nicht ersetzen");
  // The replacement is durable once the folder is; should that fail, the hive is the
  // new file all the same, or after a crash the old one, but never half of either.
  if (steps.Next() == 0)
    platform::SyncFolder(folder);
  return written;
}

}  // namespace brindel::registry::store::hive
