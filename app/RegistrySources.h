#pragma once

#include <string>

#include "app/RunOptions.h"

// The registry sources whose existence depends on the system the program runs on:
// hive files (Linux, where the hive store maps and locks them) and the live registry
// (Windows). Each comes in a _posix and a _win32 variant.
namespace brindel::app {

// True where the program runs on the registry of the system itself, which is then
// the source when no other is named.
bool HasLiveRegistry();
TRegistrySource OpenLiveSource();

// Why hive files cannot be opened here, as a German sentence; empty where they can.
std::u16string HiveUnavailableReason();
// Opens the hive files that --hive and --windows-root name.
TRegistrySource OpenHiveSource(const TRunOptions& Options, bool ReadOnly);

}  // namespace brindel::app
