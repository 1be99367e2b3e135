#include "app/RegistrySource.h"
#include "platform/Errors.h"

namespace brindel::app {

std::u16string HiveUnavailableReason() {
  return u"Hive-Dateien (--hive, --windows-root) öffnet nur Brindel für Linux. Unter Windows "
         u"arbeitet Brindel ohne Angabe auf der Registry des angemeldeten Benutzers, mit --reg "
         u"oder --demo auf einer Registry im Speicher.";
}

TRegistrySource OpenHiveSource(const TRunOptions&, bool) {
  throw platform::Exception(HiveUnavailableReason());
}

}  // namespace brindel::app
