#pragma once

#include <string>
#include <string_view>

namespace brindel::platform {

// The system's ANSI code page, in which the .reg and .log files are written.
// Where the platform has none (Linux) it is Windows-1252; a character the code
// page lacks becomes "?", as WideCharToMultiByte does by default.
std::string ToAnsi(std::u16string_view text);
std::u16string FromAnsi(std::string_view bytes);

}  // namespace brindel::platform
