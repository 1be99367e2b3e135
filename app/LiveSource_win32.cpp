#include "app/RegistrySources.h"
#include "platform/ErrorText.h"
#include "platform/Text.h"
#include "registry/store/Win32Store.h"

namespace brindel::app {

bool HasLiveRegistry() {
  return true;
}

// The registry of the logged-on user, changed where it stands, as the program was
// made for. Windows writes it itself; a flush only asks it to do so now.
TRegistrySource OpenLiveSource() {
  auto store = std::make_unique<registry::store::Win32Store>();
  registry::store::RegistryStore* live = store.get();
  TRegistrySource source;
  source.Flush = [live]() -> std::u16string {
    const auto status = live->FlushKey(registry::store::HKEY_CURRENT_USER);
    if (status == registry::store::ERROR_SUCCESS)
      return {};
    return u"Die Änderungen konnten nicht in die Registry geschrieben werden: " +
           platform::ErrorText(status);
  };
  source.Store = std::move(store);
  return source;
}

}  // namespace brindel::app
