#include "app/RegistrySource.h"
#include "registry/store/Win32Store.h"

namespace brindel::app {

bool HasLiveRegistry() {
  return true;
}

// The registry of the logged-on user, changed where it stands, as the program was
// made for. Windows writes it itself; a flush only asks it to do so now.
TRegistrySource OpenLiveSource() {
  auto store = std::make_unique<registry::store::Win32Store>();
  TRegistrySource source;
  source.Session = std::make_unique<TImmediateSession>(*store);
  source.Store = std::move(store);
  return source;
}

}  // namespace brindel::app
