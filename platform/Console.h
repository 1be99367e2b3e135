#pragma once

#include <string>
#include <vector>

namespace brindel::platform {

// The program's arguments in UTF-8, argv[0] included. On Windows they are read as
// UTF-16 from the system, so that a profile named "Büro" arrives intact whatever
// the console's code page; elsewhere they are argv as it stands.
std::vector<std::string> CommandLineArguments(int argc, char** argv);

// Makes std::cout and std::cerr, which the program fills with UTF-8, show right:
// on Windows, text to a console goes through WriteConsoleW, and redirected output
// stays the same UTF-8 bytes as on other systems (no CR before LF). Elsewhere it
// changes nothing.
void UseUnicodeConsole();

}  // namespace brindel::platform
