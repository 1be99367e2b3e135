#pragma once

namespace brindel::registry::store::hive {

// Where a hive file appears in the registry.
enum class MountPoint {
  CurrentUser,      // HKEY_CURRENT_USER
  MachineSoftware,  // HKEY_LOCAL_MACHINE\SOFTWARE, and HKEY_CLASSES_ROOT
  MachineSystem,    // HKEY_LOCAL_MACHINE\SYSTEM
};

}  // namespace brindel::registry::store::hive
