#include "platform/Console.h"

namespace brindel::platform {

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
  return std::vector<std::string>(argv, argv + argc);
}

void UseUnicodeConsole() {}

}  // namespace brindel::platform
