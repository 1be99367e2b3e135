#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "support/Files.h"

extern char** environ;

namespace brindel::test {

// What a program run printed and how it ended.
struct ProcessResult {
  int exitCode = -1;
  std::string out;
  std::string err;
};

// Runs a program with arguments (no shell) and standard input closed, and collects
// its output through files, so that neither stream can block the other.
inline ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args) {
  const auto dir = std::filesystem::temp_directory_path();
  const std::string tag =
      std::to_string(::getpid()) + "-" + std::to_string(reinterpret_cast<std::uintptr_t>(&args));
  const auto outFile = dir / ("brindel-out-" + tag);
  const auto errFile = dir / ("brindel-err-" + tag);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0600);
  posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0600);
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const auto& arg : args)
    argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  ProcessResult result;
  pid_t pid = 0;
  if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ) == 0) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  posix_spawn_file_actions_destroy(&actions);
  result.out = ReadWholeFile(outFile);
  result.err = ReadWholeFile(errFile);
  std::filesystem::remove(outFile);
  std::filesystem::remove(errFile);
  return result;
}

}  // namespace brindel::test
