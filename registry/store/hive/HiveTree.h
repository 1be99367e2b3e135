#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "registry/store/ShortText.h"
#include "registry/store/hive/HiveFile.h"
#include "registry/store/hive/MountPoint.h"

namespace brindel::registry::store::hive {

struct Mounted;

// A value of a key that the store has read: its name and size, and where its data
// lie. The data are read from the file when they are asked for; only a value set
// since the last write holds them here.
struct KeyValue {
  ShortText name;
  std::uint32_t type = 0;
  std::uint32_t size = 0;
  std::uint32_t cell = 0;     // its vk cell in the file; 0 for a value set since the last write
  std::uint32_t newCell = 0;  // the cell a write in progress gave it
  std::vector<std::uint8_t> data;  // a value set since the last write

  // Sets type and data; the value is no longer the one in the file.
  void Assign(std::uint32_t newType, std::span<const std::uint8_t> bytes) {
    type = newType;
    size = static_cast<std::uint32_t>(bytes.size());
    cell = 0;
    data.assign(bytes.begin(), bytes.end());
  }
};

// A key of a mounted hive as the store holds it. A key whose sub keys and values
// have not been read yet (`loaded` false) stands for everything below it in the file;
// a write copies that from the file as it is. A key that holds nothing the file does
// not also hold can go back to that state when no handle is open on it or below it,
// so that a walk over a large hive holds only the keys it is in.
struct Key {
  std::u16string name;
  Key* parent = nullptr;
  Mounted* hive = nullptr;    // null for a key that belongs to no hive: a root without one
  std::uint32_t cell = 0;     // the key's nk cell in the file; 0 for a key not yet written
  std::uint32_t newCell = 0;  // the cell a write in progress gave it
  std::uint16_t depth = 0;    // levels below the top of its hive
  bool fixed = false;         // a root or the top of a hive: cannot be deleted
  bool loaded = false;        // sub keys and values have been read from the file
  bool broken = false;        // they could not be read
  bool valuesChanged = false;
  bool touched = false;  // changed since the last write: its last-write time is stored
  bool deleted = false;
  // It or a key below it changed since the last write: it must stay as it is held.
  bool kept = false;
  std::uint32_t handles = 0;                   // handles open on it or on keys below it
  std::vector<std::shared_ptr<Key>> children;  // sorted as the registry lists them
  std::vector<KeyValue> values;                // in stored order
  std::uint64_t lastWrite = 0;

  bool HasChildren() const { return !children.empty(); }
};

// A hive file mounted at a root, with the keys of it that the store holds.
struct Mounted {
  std::unique_ptr<HiveFile> file;
  MountPoint where = MountPoint::CurrentUser;
  std::u16string rootName;  // where its top key appears: HKEY_CURRENT_USER, ...
  bool readOnly = false;
  bool damaged = false;       // a key could not be read: nothing more is written
  std::u16string damagedKey;  // the first such key, as the messages name it
  std::shared_ptr<Key> root;
  // The nk cells of the keys read so far, and the cells of their values' data: a key
  // or data that a second list leads to are damage, never read twice. This is what
  // keeps a list that leads back up the tree from being followed without end.
  CellSet reached;
  // The nk cells of the keys whose sub keys and data are in `reached`: such a key, read
  // again after the store let it go, is known to list nothing twice.
  CellSet expanded;
  bool changed = false;
  // What reading a key or a value's data fills, kept between reads so that each read
  // does not allocate them anew.
  struct Scratch {
    std::vector<SubKey> subKeys;
    std::vector<std::uint32_t> valueCells;
    DataLayout layout;
  } scratch;
};

}  // namespace brindel::registry::store::hive
