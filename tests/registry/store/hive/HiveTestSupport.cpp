// What the hive tests need of the system: the independent readers, child processes,
// a killed process. Kept out of the header, so that <windows.h> does not turn the
// store's names (HKEY_CURRENT_USER, ERROR_SUCCESS, ...) into its macros there.

#include "tests/registry/store/hive/HiveTestSupport.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

#include "platform/Wine.h"
#include "support/Environment.h"
#include "support/Process.h"

namespace brindel::registry::store::testing {

#ifdef _WIN32

std::string UnixPath(const std::filesystem::path& file) {
  using ToUnix = char*(CDECL*)(const wchar_t*);
  // Through void*: a function of the system's own kind, not the one GetProcAddress names.
  const auto toUnix = reinterpret_cast<ToUnix>(reinterpret_cast<void*>(
      ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  char* name = toUnix ? toUnix(std::filesystem::absolute(file).c_str()) : nullptr;
  if (name == nullptr)
    return {};
  std::string unix(name);
  ::HeapFree(::GetProcessHeap(), 0, name);
  return unix;
}

namespace {

// Runs `command` with the shell of the system below Wine and waits until it is done:
// Wine starts Unix programs, but hands them neither the handles of a redirection nor
// back their exit status, so the command writes both into files of `folder`, the
// status last. It goes to the shell as a script file, in UTF-8 as it is, since Wine
// hands arguments on in the system's character set. The status, or -1 when the shell
// could not be started.
int RunShell(const std::string& command, const std::filesystem::path& folder) {
  const std::filesystem::path status = folder / "status";
  std::ofstream(folder / "command.sh", std::ios::binary)
      << command << "\necho $? >'" << UnixPath(status) << ".tmp'\nmv '" << UnixPath(status)
      << ".tmp' '" << UnixPath(status) << "'\n";
  std::wstring commandLine =
      L"sh \"" +
      std::filesystem::path(platform::FromUtf8(UnixPath(folder / "command.sh"))).wstring() + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!::CreateProcessW(L"Z:\\bin\\sh", commandLine.data(), nullptr, nullptr, FALSE,
                        CREATE_NO_WINDOW, nullptr, nullptr, &startup, &process)) {
    return -1;
  }
  ::WaitForSingleObject(process.hProcess, INFINITE);
  ::CloseHandle(process.hProcess);
  ::CloseHandle(process.hThread);
  for (int wait = 0; wait < 1200 && !std::filesystem::exists(status); ++wait)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  int code = -1;
  std::istringstream(brindel::test::ReadWholeFile(status)) >> code;
  return code;
}

// One argument for the shell: in single quotes, a quote in it closed and escaped.
std::string ShellWord(const std::string& word) {
  std::string quoted = "'";
  for (char c : word)
    quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

}  // namespace

std::string Quoted(const std::filesystem::path& file) {
  return "'" + UnixPath(file) + "'";
}

ToolResult RunTool(const std::string& name, const std::string& arguments) {
  ToolResult result;
  if (!platform::RunningOnWine()) {
    ADD_FAILURE() << name << " is a Linux program; the Windows tests run it under Wine";
    return result;
  }
  const TempFolder folder("brindel-tool-");
  const std::filesystem::path out = folder / "out";
  result.exitCode =
      RunShell(name + " " + arguments + " >'" + UnixPath(out) + "' 2>&1", folder.Path());
  if (result.exitCode < 0)
    ADD_FAILURE() << "cannot start the shell for " << name;
  result.output = brindel::test::ReadWholeFile(out);
  return result;
}

RunResult RunUnixProgram(const std::string& program, const std::vector<std::string>& args) {
  RunResult result;
  const TempFolder folder("brindel-unix-");
  std::string command = ShellWord(program);
  for (const std::string& arg : args)
    command += " " + ShellWord(arg);
  command += " </dev/null >'" + UnixPath(folder / "out") + "' 2>'" + UnixPath(folder / "err") + "'";
  result.exitCode = RunShell(command, folder.Path());
  result.out = brindel::test::ReadWholeFile(folder / "out");
  result.err = brindel::test::ReadWholeFile(folder / "err");
  return result;
}

HeldWithoutSharing::HeldWithoutSharing(const std::filesystem::path& file) {
  const HANDLE handle = ::CreateFileW(file.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle != INVALID_HANDLE_VALUE)
    handle_ = handle;
}

HeldWithoutSharing::~HeldWithoutSharing() {
  if (handle_ != nullptr)
    ::CloseHandle(handle_);
}

void KillThisProcess() {
  ::TerminateProcess(::GetCurrentProcess(), kKilled);
  std::abort();
}

namespace {

std::string ThisProgram() {
  wchar_t self[MAX_PATH * 4] = {};
  ::GetModuleFileNameW(nullptr, self, MAX_PATH * 4);
  return platform::ToUtf8(reinterpret_cast<const char16_t*>(self));
}

}  // namespace

#else

std::string Quoted(const std::filesystem::path& file) {
  return "'" + file.string() + "'";
}

namespace {

// The full path of a program on PATH, or empty.
std::string FindTool(const std::string& name) {
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

std::string ThisProgram() {
  return std::filesystem::read_symlink("/proc/self/exe").string();
}

}  // namespace

ToolResult RunTool(const std::string& name, const std::string& arguments) {
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

void KillThisProcess() {
  ::kill(::getpid(), SIGKILL);
  std::abort();
}

#endif

RunResult RunProgram(const std::string& program, const std::vector<std::string>& args) {
  const auto ended = brindel::test::RunProcess(program, args);
  return {ended.exitCode, ended.out, ended.err};
}

int RunChildTest(const std::string& test,
                 const std::vector<std::pair<std::string, std::string>>& variables) {
  std::vector<std::unique_ptr<brindel::test::ScopedEnv>> environment;
  for (const auto& [name, value] : variables)
    environment.push_back(std::make_unique<brindel::test::ScopedEnv>(name.c_str(), value.c_str()));
  return RunProgram(ThisProgram(), {"--gtest_also_run_disabled_tests", "--gtest_filter=" + test})
      .exitCode;
}

}  // namespace brindel::registry::store::testing
