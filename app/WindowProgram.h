#pragma once

#include <functional>
#include <string_view>

#include "app/MainView.h"
#include "app/RegistrySource.h"

namespace brindel::app {

// What a window program does around its window, the same for every toolkit: the
// registry the options name opened for writing ("Löschen" writes to it) and installed
// as the current store, its notices shown, the window run, and the changes of a store
// that keeps them until it closes (hive files) written at the end. A source that
// cannot be opened, or changes that cannot be written, are shown and end with 1;
// otherwise the window's status.
int RunOnRegistrySource(const TRunOptions& Options,
                        const std::function<void(std::u16string_view, TMsgDlgType)>& ShowMessage,
                        const std::function<int(const TRegistrySource&)>& RunWindow);

}  // namespace brindel::app
