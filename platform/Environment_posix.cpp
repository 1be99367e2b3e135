#include "platform/Environment.h"

#include <cstdlib>
#include <optional>
#include <string>

#include "platform/Text.h"

extern char** environ;

namespace brindel::platform {

namespace {

// Windows looks variables up without regard to letter case; the exact name wins
// here, since a POSIX environment may hold both spellings.
std::optional<std::u16string> Lookup(std::u16string_view name) {
  if (name.empty())
    return std::nullopt;
  const std::string wanted = ToUtf8(name);
  if (const char* value = std::getenv(wanted.c_str()))
    return FromUtf8(value);
  for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
    const std::string_view text(*entry);
    const std::size_t equals = text.find('=');
    if (equals == std::string_view::npos)
      continue;
    if (SameTextIgnoreCase(FromUtf8(text.substr(0, equals)), name)) {
      return FromUtf8(text.substr(equals + 1));
    }
  }
  return std::nullopt;
}

}  // namespace

std::u16string ExpandEnvironmentStrings(std::u16string_view text) {
  std::u16string out;
  std::size_t i = 0;
  while (i < text.size()) {
    if (text[i] != u'%') {
      out += text[i++];
      continue;
    }
    const std::size_t close = text.find(u'%', i + 1);
    if (close == std::u16string_view::npos) {
      out += text.substr(i);
      break;
    }
    const std::u16string_view name = text.substr(i + 1, close - i - 1);
    if (auto value = Lookup(name)) {
      out += *value;
      i = close + 1;
    } else {
      // "%NAME" is kept; the closing "%" is looked at again as a possible opening.
      out += text.substr(i, close - i);
      i = close;
    }
  }
  return out;
}

std::optional<std::u16string> ReadEnvironmentVariable(std::u16string_view name) {
  const char* value = std::getenv(ToUtf8(name).c_str());
  return value ? std::optional<std::u16string>(FromUtf8(value)) : std::nullopt;
}

void WriteEnvironmentVariable(std::u16string_view name,
                              const std::optional<std::u16string>& value) {
  if (value) {
    ::setenv(ToUtf8(name).c_str(), ToUtf8(*value).c_str(), 1);
  } else {
    ::unsetenv(ToUtf8(name).c_str());
  }
}

}  // namespace brindel::platform
