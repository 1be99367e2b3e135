#pragma once

#include <string_view>

namespace brindel::platform {

// Shows the folder in explorer.exe, asked by the shell with the verb "open" and the
// folder in double quotes, owned by `owner` (a window handle, or null). The outcome
// is not reported. Windows only: the Qt window opens folders through Qt.
void OpenFolder(std::u16string_view folder, void* owner = nullptr);

}  // namespace brindel::platform
