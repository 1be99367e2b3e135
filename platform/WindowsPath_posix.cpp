#include "platform/WindowsPath.h"

namespace brindel::platform {

std::u16string WindowsDirectory() {
  return WindowsRoot().empty() ? u"" : u"C:\\Windows";
}

std::u16string SystemDirectory() {
  return WindowsRoot().empty() ? u"" : u"C:\\Windows\\System32";
}

}  // namespace brindel::platform
