#pragma once

// A FIFO for tests that a program must refuse to read, and a guard that frees a
// reader that did not refuse it: opening a FIFO for reading waits until something
// opens it for writing, so a program that opens it would otherwise hold its test
// for ever. POSIX only.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

namespace brindel::test {

inline bool MakeFifo(const std::filesystem::path& path) {
  return ::mkfifo(path.c_str(), 0600) == 0;
}

// While it lives, a thread opens the FIFO for writing, without waiting, as soon as a
// reader waits in it after `patience`: the reader then reads an empty file and goes
// on. Freed() tells the test that somebody had opened the FIFO.
class FifoGuard {
 public:
  explicit FifoGuard(std::filesystem::path fifo,
                     std::chrono::milliseconds patience = std::chrono::seconds(5))
      : fifo_(std::move(fifo)), thread_([this, patience] { Watch(patience); }) {}
  ~FifoGuard() {
    done_ = true;
    thread_.join();
  }
  FifoGuard(const FifoGuard&) = delete;
  FifoGuard& operator=(const FifoGuard&) = delete;

  bool Freed() const { return freed_; }

 private:
  void Watch(std::chrono::milliseconds patience) {
    const auto start = std::chrono::steady_clock::now();
    while (!done_) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      if (std::chrono::steady_clock::now() - start < patience)
        continue;
      // Succeeds only while a reader has the FIFO open.
      const int fd = ::open(fifo_.c_str(), O_WRONLY | O_NONBLOCK);
      if (fd >= 0) {
        freed_ = true;
        ::close(fd);
      }
    }
  }

  std::filesystem::path fifo_;
  std::atomic<bool> done_{false};
  std::atomic<bool> freed_{false};
  std::thread thread_;
};

}  // namespace brindel::test
