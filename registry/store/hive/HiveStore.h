#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "registry/store/KeyTree.h"
#include "registry/store/hive/HiveFormat.h"
#include "registry/store/hive/MountPoint.h"

namespace brindel::registry::store {

namespace hive {
struct Key;
struct KeyValue;
struct Mounted;
}  // namespace hive

// Offline hive files of a Windows installation as a registry store. A user hive is
// HKEY_CURRENT_USER; the SOFTWARE and SYSTEM hives are the sub keys of the same names of
// HKEY_LOCAL_MACHINE; SOFTWARE\Classes is also HKEY_CLASSES_ROOT. Roots without a hive are empty
// and cannot be changed.
//
// It behaves as MemoryStore does (names looked up without regard to case beyond
// ASCII, sub keys in sorted order, values in stored order, access rights per handle)
// and never throws from a registry operation. Each file is opened once and read as
// far as the run asks: keys when they are first opened, value data when they are
// queried. Changes stay in memory until FlushKey or until the store closes; then each
// changed hive is written as a new compact file in its folder, synced, and renamed
// over the original, so a run that stops half-way leaves every hive as it was.
//
// A hive that may be written is locked (the writers' lock of platform::HeldFile) from
// mounting until the store closes, so that a second run cannot write it at the same
// time; that run's Mount says the file is in use. A hive mounted to be read only is
// not locked. Another program that shortens a mounted hive under the run makes it
// unreadable from then on, never ends the process: see DamageNotice.
//
// Mounting throws EHiveError, with a German message, for a file that is missing, not
// a hive, truncated or corrupt, or in use; nothing is written to such a file. Damage
// found later, in a key first read then (a list that leads back to a key above it or
// to a key listed elsewhere, more than 512 levels, an empty name), makes that key
// unreadable (ERROR_BADDB) and the hive no longer written: see DamageNotice.
class HiveStore : public KeyTree<HiveStore, hive::Key> {
 public:
  enum class Mode {
    ReadWrite,
    ReadOnly,  // for actions that only read: every change is refused
  };

  using MountPoint = hive::MountPoint;

  // What mounting found out beyond success.
  struct MountResult {
    bool readOnly = false;
    // Why the hive opened read-only although writing was asked for; empty otherwise.
    std::u16string notice;
  };

  explicit HiveStore(Mode mode = Mode::ReadWrite);
  // Writes what is not yet written; a failure here can no longer be reported, so
  // front ends call Close first.
  ~HiveStore() override;
  HiveStore(const HiveStore&) = delete;
  HiveStore& operator=(const HiveStore&) = delete;

  // Opens a hive file at a mount point, replacing nothing: a mount point takes one
  // hive. A hive that Windows did not close cleanly opens read-only, with the reason
  // in the result. `readOnly` opens this one hive only to be read, whatever the
  // store's mode: unlocked, so that it stands in no other run's way. Throws EHiveError;
  // EHiveInUse, saying what to do instead, for a hive that another program keeps to
  // itself (a hive the running Windows has loaded).
  MountResult Mount(MountPoint where, const std::filesystem::path& file, bool readOnly = false);
  // Writes the changes of every hive and closes the files. Every later operation
  // finds the roots empty. ERROR_SUCCESS, or the result of the failed write.
  LSTATUS Close();
  // Forgets every change that is not yet written and reads the hives again from their
  // files: after an action that failed half-way, the files stay as they were.
  void DiscardChanges();

  // The German text of the last failed write, for the front end's message; empty
  // when the last write succeeded.
  const std::u16string& LastWriteError() const { return lastWriteError_; }
  // The German text for a hive in which a key could not be read (its cells are
  // damaged, or a name is longer than the registry allows), naming the file and the
  // key, or that another program shortened or replaced under the run; empty when there
  // is none. Such a hive is no longer written.
  std::u16string DamageNotice() const;

  // The keys of every hive that the store holds in memory now, for tests and
  // benchmarks: a walk over the whole tree holds only the keys it is in.
  std::size_t HeldKeyCount() const;

  // For tests: calls `fault` before each file operation of every later write of a
  // hive with the operation's number in that write, counted from 1; a result other
  // than 0 makes the operation fail as with that errno. Null removes it.
  void InjectCommitFault(std::function<int(std::size_t step)> fault) {
    commitFault_ = std::move(fault);
  }

 private:
  friend class KeyTree<HiveStore, hive::Key>;
  using Node = hive::Key;
  using Value = hive::KeyValue;
  using Hive = hive::Mounted;

  // What the tree asks of its store; see KeyTree. A key's sub keys and values are
  // read from the file the first time they are needed.
  LSTATUS StartOperation() { return ERROR_SUCCESS; }
  LSTATUS Descend(Node& node);
  LSTATUS Prepare(Node& node, KeyOperation operation);
  LSTATUS CheckOpen(const Node&, REGSAM) const { return ERROR_SUCCESS; }
  LSTATUS CheckWrite(const Node& node, KeyOperation operation) const;
  bool Storable(std::u16string_view name) const;
  LSTATUS AddChild(Node& parent, std::u16string_view name, std::shared_ptr<Node>& child);
  void RemoveChild(Node& parent, const Node& child);
  void Touch(Node& node, KeyChange change);
  bool ReadData(const Node& node, const Value& value, std::vector<std::uint8_t>& data) const;
  static std::uint32_t DataSize(const Value& value);
  // Writes every hive that has changes, whichever key is given.
  LSTATUS Flush(Node&) { return FlushAll(); }
  void Opened(Node& node);
  // A key whose last handle closed goes back to its state in the file once a number
  // of other keys were closed after it, unless it was opened again; the delay keeps a
  // key that is opened again and again, one value at a time, from being read each time.
  void Closed(const std::shared_ptr<Node>& node);
  void Release(Node& node);

  LSTATUS FlushAll();
  void ResetRoots();
  // Puts the top key of a mounted hive in its place below the roots.
  void Attach(Hive& hive);
  LSTATUS Write(Hive& hive);

  Mode mode_;
  std::vector<std::unique_ptr<Hive>> hives_;
  // The keys whose last handle closed most recently, oldest first from `nextClosed_`.
  std::vector<std::weak_ptr<Node>> closed_;
  std::size_t nextClosed_ = 0;
  std::u16string lastWriteError_;
  std::function<int(std::size_t)> commitFault_;
};

// Its code is made once, in HiveStore.cpp, where its keys are known.
extern template class KeyTree<HiveStore, hive::Key>;

}  // namespace brindel::registry::store
