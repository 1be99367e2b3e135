#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

#include "registry/store/HiveFormat.h"

namespace brindel::registry::store::hive {

// The bytes of an empty hive of format 1.5: a base block, one hive bin, a root key
// with no sub keys or values, and the security cell the root key refers to (full
// access for SYSTEM and Administrators, read access for Users, inherited by new keys).
std::vector<std::uint8_t> EmptyHiveBytes();

// Writes an empty hive to a new file and makes it durable. Refuses to replace an
// existing file. Throws EHiveError with a German message.
void WriteEmptyHive(const std::filesystem::path& file);

// A value whose data go into a big-data record: the file offsets of its key's nk cell
// and of its vk cell, as hivex numbers keys and values, and the data.
struct BigDataValue {
  std::size_t keyCell = 0;
  std::size_t valueCell = 0;
  std::vector<std::uint8_t> data;
};

// Writes the data of each value as a big-data record (a "db" cell, its segment list
// and segments of at most kMaxCellData bytes) in one new hive bin at the end of the
// hive file, points the value at it, raises the key's largest data size, and updates the
// base block. Writes in place, so
// it is meant for a new file before it replaces the hive. Throws EHiveError.
void AppendBigData(const std::filesystem::path& file, std::span<const BigDataValue> values);

// What a written key still needs that hivex does not do. hivex orders a new key into
// its parent's sub key list by comparing UTF-8 bytes without regard to ASCII case, and
// hashes the UTF-8 bytes; Windows searches that list by binary search over names
// upper-cased per UTF-16 code unit and skips entries by their hash, so a key whose
// name is beyond ASCII or holds one of [\]^_` could not be found by Windows. And
// hivex leaves the last-write time of a changed key as it was.
struct KeyUpdate {
  std::size_t keyCell = 0;      // the key's nk cell, as hivex numbers keys
  bool sortSubKeys = false;     // a sub key was added
  std::uint64_t lastWrite = 0;  // FILETIME to store; 0 keeps the stored one
};

// Puts the sub key lists of the keys into the order Windows keeps them (names compared
// by upper-casing each UTF-16 code unit), with the hashes Windows computes ("lh": the
// upper-cased name's hash, "lf": its first four characters), and stores the last-write
// times. The lists keep their cells and the entries per cell, so nothing moves. Writes
// in place, so it is meant for a new file before it replaces the hive. Throws
// EHiveError for a list it does not understand, before anything is written.
void UpdateKeys(const std::filesystem::path& file, std::span<const KeyUpdate> keys);

}  // namespace brindel::registry::store::hive
