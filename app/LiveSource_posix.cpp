#include "app/RegistrySource.h"
#include "platform/Errors.h"
#include "platform/Text.h"

namespace brindel::app {

namespace {

constexpr std::u16string_view kNoRegistry =
    u"Keine Registry angegeben. Mögliche Quellen: --demo, --reg DATEI, --hive HKCU=DATEI oder "
    u"--windows-root ORDNER --user NAME.";

}  // namespace

// Off Windows there is no registry of the system: a run names its source.
bool HasLiveRegistry() {
  return false;
}

TRegistrySource OpenLiveSource(const TRunOptions& Options, bool) {
  if (Options.User) {
    throw platform::Exception(
        u"--user ohne --windows-root meint einen Benutzer des laufenden Windows; hier läuft "
        u"keines. Für eine eingehängte Windows-Installation: --windows-root ORDNER --user " +
        platform::FromUtf8(*Options.User) + u".");
  }
  throw platform::Exception(std::u16string(kNoRegistry));
}

TUserList ListLiveUsers() {
  throw platform::Exception(
      u"--all-users ohne --windows-root meint die Benutzer des laufenden Windows; hier läuft "
      u"keines. Für eine eingehängte Windows-Installation: --windows-root ORDNER --all-users.");
}

}  // namespace brindel::app
