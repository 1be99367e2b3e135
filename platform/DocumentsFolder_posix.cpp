#include "platform/DocumentsFolder.h"

#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "platform/FileSystem.h"
#include "platform/Text.h"

namespace brindel::platform {

namespace {

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? std::string(value) : std::string();
}

// The value of XDG_DOCUMENTS_DIR in user-dirs.dirs: a quoted path that is either
// absolute or begins with $HOME. Empty when the file or the line is missing or the
// line cannot be read.
std::string FromUserDirs(const std::string& home) {
  std::string config = Environment("XDG_CONFIG_HOME");
  if (config.empty()) {
    if (home.empty())
      return {};
    config = home + "/.config";
  }
  // Only a regular file is read: a FIFO in its place would hold the start for ever.
  constexpr std::uint64_t kMaxConfigSize = 1024 * 1024;
  const auto bytes = ReadFileBytes(config + "/user-dirs.dirs", kMaxConfigSize);
  if (!bytes)
    return {};
  std::istringstream file(*bytes);
  std::string line;
  while (std::getline(file, line)) {
    const std::size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos || line[start] == '#')
      continue;
    constexpr std::string_view kKey = "XDG_DOCUMENTS_DIR=";
    if (line.compare(start, kKey.size(), kKey) != 0)
      continue;
    std::string value = line.substr(start + kKey.size());
    while (!value.empty() &&
           (value.back() == ' ' || value.back() == '\t' || value.back() == '\r')) {
      value.pop_back();
    }
    if (value.size() < 2 || value.front() != '"' || value.back() != '"')
      return {};
    std::string path;
    for (std::size_t i = 1; i + 1 < value.size(); ++i) {
      if (value[i] == '\\' && i + 2 < value.size())
        ++i;
      path += value[i];
    }
    if (path.rfind("$HOME", 0) == 0) {
      if (home.empty())
        return {};
      path = home + path.substr(5);
    }
    if (path.empty() || path.front() != '/')
      return {};
    while (path.size() > 1 && path.back() == '/')
      path.pop_back();
    return path;
  }
  return {};
}

}  // namespace

std::u16string DocumentsFolder() {
  if (std::string direct = Environment("XDG_DOCUMENTS_DIR"); !direct.empty()) {
    return FromUtf8(direct);
  }
  const std::string home = Environment("HOME");
  if (std::string configured = FromUserDirs(home); !configured.empty()) {
    return FromUtf8(configured);
  }
  if (home.empty())
    return {};
  return FromUtf8(home + "/Documents");
}

}  // namespace brindel::platform
