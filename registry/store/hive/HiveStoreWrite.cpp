#include "registry/store/hive/HiveStore.h"

#include "platform/Text.h"
#include "registry/store/hive/HiveCommit.h"
#include "registry/store/hive/HiveFile.h"
#include "registry/store/hive/HiveTree.h"

// The hive store's write: each changed hive goes to a new file through the writer,
// and the keys the store holds move to their cells in it.
namespace brindel::registry::store {

using platform::Format;

LSTATUS HiveStore::FlushAll() {
  // One text for the whole flush: a later hive without changes must not clear the
  // error of an earlier one.
  lastWriteError_.clear();
  LSTATUS result = ERROR_SUCCESS;
  for (auto& hive : hives_) {
    if (LSTATUS status = Write(*hive); status != ERROR_SUCCESS && result == ERROR_SUCCESS) {
      result = status;
    }
  }
  return result;
}

LSTATUS HiveStore::Write(Hive& hive) {
  if (!hive.changed)
    return ERROR_SUCCESS;
  const auto fail = [this, &hive](std::u16string_view reason) {
    lastWriteError_ = Format(
        u"Die Änderungen können nicht in die Hive-Datei '%s' geschrieben werden (%s); "
        u"die Datei ist unverändert.",
        {hive::DisplayName(hive.file->Path()), reason});
    return ERROR_CANTWRITE;
  };
  if (!hive.file->Intact())
    return fail(u"die Datei wurde während des Laufs von einem anderen Programm verkürzt");
  if (hive.damaged)
    return fail(u"die Datei ist beschädigt");

  std::unique_ptr<hive::HiveFile> written;
  try {
    written = hive::CommitHive(*hive.file, *hive.root, commitFault_);
  } catch (const hive::ECommitError& error) {
    // A file that could not be held again after a failed replacement reads as zeros.
    if (!hive.file->Intact())
      hive.damaged = true;
    if (const auto& key = error.DamagedKey()) {
      // Damage below keys that were never read shows only now.
      hive.damaged = true;
      if (hive.damagedKey.empty())
        hive.damagedKey = key->empty() ? hive.rootName : hive.rootName + u"\\" + *key;
    }
    return fail(error.Message());
  }

  // The new file is the hive now: every key and value the store holds moves to its
  // cell there, and the data written no longer need to be held.
  struct Settle {
    void operator()(Node& node) const {
      node.cell = node.newCell;
      node.newCell = 0;
      node.touched = false;
      node.valuesChanged = false;
      node.kept = false;
      for (auto& value : node.values) {
        value.cell = value.newCell;
        value.newCell = 0;
        std::vector<std::uint8_t>().swap(value.data);
      }
      for (auto& child : node.children)
        (*this)(*child);
    }
  };
  Settle{}(*hive.root);
  hive.file = std::move(written);
  hive.reached = hive::CellSet(hive.file->BinsSize());
  hive.expanded = hive::CellSet(hive.file->BinsSize());
  hive.changed = false;
  return ERROR_SUCCESS;
}

}  // namespace brindel::registry::store
