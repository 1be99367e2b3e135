#pragma once

// Helpers for the tests that work on real hive files: a folder of its own per test,
// whole-file reads, and the independent readers that check what the store wrote.

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "support/Files.h"

namespace brindel::registry::store::testing {

// A new folder under the system's temporary folder, removed with everything in it.
class TempFolder {
 public:
  TempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "brindel-hive-XXXXXX").string();
    if (::mkdtemp(pattern.data()) != nullptr)
      path_ = pattern;
  }
  ~TempFolder() {
    std::error_code ignored;
    if (!path_.empty())
      std::filesystem::remove_all(path_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& Path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

  // Every name in the folder, to see that no temporary file was left behind.
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(path_)) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

 private:
  std::filesystem::path path_;
};

inline std::vector<std::uint8_t> ReadBytes(const std::filesystem::path& file) {
  return brindel::test::ReadFileBytes(file);
}

inline void WriteBytes(const std::filesystem::path& file, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

// The full path of a program on PATH, or empty.
inline std::string FindTool(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::stringstream folders(path ? path : "");
  std::string folder;
  while (std::getline(folders, folder, ':')) {
    const auto candidate = std::filesystem::path(folder.empty() ? "." : folder) / name;
    if (::access(candidate.c_str(), X_OK) == 0)
      return candidate.string();
  }
  return {};
}

struct ToolResult {
  int exitCode = -1;
  std::string output;  // standard output and standard error
};

// Runs an independent reader on a hive file. CI installs the readers (libwin-hivex-perl,
// libregf-utils), so a missing one is a failure, not a reason to skip.
inline ToolResult RunTool(const std::string& name, const std::string& arguments) {
  ToolResult result;
  const std::string tool = FindTool(name);
  if (tool.empty()) {
    ADD_FAILURE() << name << " is missing: install libwin-hivex-perl and libregf-utils";
    return result;
  }
  const std::string command = "'" + tool + "' " + arguments + " 2>&1";
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) {
    ADD_FAILURE() << "cannot run " << command;
    return result;
  }
  char buffer[4096];
  std::size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
    result.output.append(buffer, got);
  const int status = ::pclose(pipe);
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

inline std::string Quoted(const std::filesystem::path& file) {
  return "'" + file.string() + "'";
}

// hivexregedit's export of the whole hive: keys sorted, values sorted by name.
inline ToolResult HivexExport(const std::filesystem::path& file) {
  return RunTool("hivexregedit", "--export " + Quoted(file) + " '\\'");
}

// regfexport (libregf): values in stored order, big-data records read as Windows does.
inline ToolResult RegfExport(const std::filesystem::path& file) {
  return RunTool("regfexport", Quoted(file));
}

}  // namespace brindel::registry::store::testing
