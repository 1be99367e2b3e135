#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

namespace brindel::registry::store::hive {

// The bytes of an empty hive of format 1.5: a base block, one hive bin, a root key
// with no sub keys or values, and the security cell the root key refers to (full
// access for SYSTEM and Administrators, read access for Users, inherited by new keys).
std::vector<std::uint8_t> EmptyHiveBytes();

// Writes an empty hive to a new file and makes it durable. Refuses to replace an
// existing file. Throws EHiveError with a German message.
void WriteEmptyHive(const std::filesystem::path& file);

}  // namespace brindel::registry::store::hive
