#include <array>

#include "platform/FileSystem.h"
#include "platform/Text.h"

namespace brindel::platform {

std::string TemporaryFileOf(const std::string& path) {
  return path + ".brindel-new";
}

bool RemoveLeftoverOf(const std::string& path) {
  const std::string temporary = TemporaryFileOf(path);
  return DeleteFile(temporary) || (!FileExists(temporary) && !DirectoryExists(temporary));
}

bool IsPlainFileName(std::u16string_view name) {
  if (name.empty() || name == u"." || name == u"..")
    return false;
  for (const char16_t c : name) {
    if (c < 0x20 || c == 0x7F || c == u'/' || c == u'\\')
      return false;
  }
#ifdef _WIN32
  for (const char16_t c : name) {
    if (std::u16string_view(u"<>:\"|?*").find(c) != std::u16string_view::npos)
      return false;
  }
  // Windows drops trailing dots and blanks, so such a name would name another file.
  if (name.back() == u'.' || name.back() == u' ')
    return false;
  // Device names are reserved with any extension.
  const std::u16string stem = UpperCase(name.substr(0, name.find(u'.')));
  static constexpr std::array<std::u16string_view, 22> kDevices = {
      u"CON",  u"PRN",  u"AUX",  u"NUL",  u"COM1", u"COM2", u"COM3", u"COM4",
      u"COM5", u"COM6", u"COM7", u"COM8", u"COM9", u"LPT1", u"LPT2", u"LPT3",
      u"LPT4", u"LPT5", u"LPT6", u"LPT7", u"LPT8", u"LPT9"};
  for (auto device : kDevices) {
    if (stem == device)
      return false;
  }
#endif
  return true;
}

}  // namespace brindel::platform
