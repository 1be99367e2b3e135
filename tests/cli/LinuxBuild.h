#pragma once

// What the Windows tests need to compare brindel-cli.exe with the Linux build's
// brindel-cli, which Wine runs as the Linux program it is.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "tests/registry/store/hive/HiveTestSupport.h"

namespace brindel::test {

// The Linux build's brindel-cli.
inline std::string LinuxCli() {
  return BRINDEL_LINUX_CLI;
}

// Whether the Linux build's brindel-cli runs; where not, says how to get it.
inline ::testing::AssertionResult LinuxCliRuns() {
  const std::string cli = LinuxCli();
  if (registry::store::testing::RunUnixProgram(cli, {"--version"}).exitCode == 0)
    return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure()
         << cli
         << " is missing: build the Linux programs first (scripts/build), then the "
            "Windows tests";
}

// A path or message of a run with its folder `dir` put as <dir>, with the separators
// and line ends of one system.
inline std::string Normal(std::string text, const std::string& dir) {
  for (std::size_t at = text.find(dir); at != std::string::npos; at = text.find(dir, at))
    text.replace(at, dir.size(), "<dir>");
  std::replace(text.begin(), text.end(), '\\', '/');
  std::erase(text, '\r');
  return text;
}

}  // namespace brindel::test
