#pragma once

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
extern char** environ;
#endif

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/Text.h"
#include "support/Files.h"

namespace brindel::test {

// What a program run printed and how it ended.
struct ProcessResult {
  int exitCode = -1;
  std::string out;
  std::string err;
};

// Runs a program with arguments (no shell) and standard input closed, and collects
// its output through files, so that neither stream can block the other.
#ifdef _WIN32
namespace detail {

// One argument quoted the way CommandLineToArgvW reads it back.
inline std::wstring QuoteArgument(const std::string& utf8) {
  const std::u16string text = platform::FromUtf8(utf8);
  std::wstring quoted = L"\"";
  std::size_t backslashes = 0;
  for (const char16_t c : text) {
    if (c == u'\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == u'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    quoted += static_cast<wchar_t>(c);
  }
  quoted.append(backslashes * 2, L'\\');
  return quoted + L"\"";
}

inline HANDLE InheritableFile(const std::filesystem::path& file, bool write) {
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  return ::CreateFileW(file.c_str(), write ? GENERIC_WRITE : GENERIC_READ,
                       FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                       write ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace detail
#endif

inline ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args) {
  const auto dir = std::filesystem::temp_directory_path();
  static unsigned runs = 0;
#ifdef _WIN32
  const std::string tag = std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(++runs);
#else
  const std::string tag = std::to_string(::getpid()) + "-" + std::to_string(++runs);
#endif
  const auto outFile = dir / ("brindel-out-" + tag);
  const auto errFile = dir / ("brindel-err-" + tag);
  ProcessResult result;
#ifdef _WIN32
  std::wstring commandLine = detail::QuoteArgument(program);
  for (const auto& arg : args)
    commandLine += L" " + detail::QuoteArgument(arg);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = detail::InheritableFile(L"NUL", false);
  startup.hStdOutput = detail::InheritableFile(outFile, true);
  startup.hStdError = detail::InheritableFile(errFile, true);
  PROCESS_INFORMATION process{};
  const std::u16string programName = platform::FromUtf8(program);
  if (::CreateProcessW(reinterpret_cast<const wchar_t*>(programName.c_str()), commandLine.data(),
                       nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                       &process)) {
    ::WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    ::GetExitCodeProcess(process.hProcess, &code);
    result.exitCode = static_cast<int>(code);
    ::CloseHandle(process.hProcess);
    ::CloseHandle(process.hThread);
  }
  for (HANDLE handle : {startup.hStdInput, startup.hStdOutput, startup.hStdError})
    ::CloseHandle(handle);
#else
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
  pid_t pid = 0;
  if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ) == 0) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  posix_spawn_file_actions_destroy(&actions);
#endif
  result.out = ReadWholeFile(outFile);
  result.err = ReadWholeFile(errFile);
  for (const auto& file : {outFile, errFile}) {
    std::error_code error;
#ifdef _WIN32
    // Wine may close what the ended child inherited a moment after it reports the end.
    for (int attempt = 0; !std::filesystem::remove(file, error) && error && attempt < 50;
         ++attempt) {
      ::Sleep(20);
    }
#else
    std::filesystem::remove(file, error);
#endif
  }
  return result;
}

}  // namespace brindel::test
