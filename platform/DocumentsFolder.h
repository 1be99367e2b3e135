#pragma once

#include <string>

namespace brindel::platform {

// The current user's documents folder, without a trailing separator; empty when the
// system cannot say. Windows: the shell's personal folder. Elsewhere: the XDG
// documents folder ($XDG_DOCUMENTS_DIR, else XDG_DOCUMENTS_DIR of user-dirs.dirs,
// else $HOME/Documents).
std::u16string DocumentsFolder();

}  // namespace brindel::platform
