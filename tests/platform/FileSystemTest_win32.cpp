// What is no file on disk is never read: a named pipe, which would hold the reader
// until something writes into it, and a device such as NUL.

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "platform/FileSystem.h"

namespace brindel::platform {
namespace {

TEST(PipeReadTest, ReadFileBytesRefusesANamedPipeWithoutWaiting) {
  const std::wstring name =
      L"\\\\.\\pipe\\brindel-read-test-" + std::to_wstring(::GetCurrentProcessId());
  const HANDLE server = ::CreateNamedPipeW(name.c_str(), PIPE_ACCESS_OUTBOUND,
                                           PIPE_TYPE_BYTE | PIPE_WAIT, 1, 4096, 4096, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, server);
  // Frees a reader that waits in the pipe: closing the server ends its read.
  std::atomic<bool> done{false};
  std::atomic<bool> freed{false};
  std::thread guard([&] {
    const auto start = std::chrono::steady_clock::now();
    while (!done && std::chrono::steady_clock::now() - start < std::chrono::seconds(5))
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    if (!done) {
      freed = true;
      ::DisconnectNamedPipe(server);
    }
  });
  std::string utf8;
  for (const wchar_t c : name)
    utf8 += static_cast<char>(c);
  TReadRefusal why = TReadRefusal::None;
  const auto bytes = ReadFileBytes(utf8, kAnyFileSize, &why);
  done = true;
  guard.join();
  ::CloseHandle(server);
  EXPECT_EQ(std::nullopt, bytes);
  EXPECT_EQ(TReadRefusal::NotAFile, why);
  EXPECT_FALSE(freed) << "the reader waited in the pipe";
}

TEST(PipeReadTest, TheNulDeviceIsNoFile) {
  TReadRefusal why = TReadRefusal::None;
  EXPECT_EQ(std::nullopt, ReadFileBytes("NUL", 1 << 20, &why));
  EXPECT_EQ(TReadRefusal::NotAFile, why);
}

}  // namespace
}  // namespace brindel::platform
