#pragma once

#include <string>

namespace brindel::platform {

// Why the last file operation of this thread failed, as a German sentence for the
// user: what the system reported (errno off Windows, GetLastError on Windows). The
// file operations of FileSystem.h keep that reason when they clean up after a
// failure.
std::u16string LastFileErrorText();

}  // namespace brindel::platform
