#include "app/RegistrySource.h"
#include "platform/Errors.h"

namespace brindel::app {

// Off Windows there is no registry of the system: a run names its source.
bool HasLiveRegistry() {
  return false;
}

TRegistrySource OpenLiveSource() {
  throw platform::Exception(
      u"Keine Registry angegeben. Mögliche Quellen: --demo, --reg DATEI, --hive HKCU=DATEI oder "
      u"--windows-root ORDNER --user NAME.");
}

}  // namespace brindel::app
