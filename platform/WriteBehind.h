#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace brindel::platform {

// Bytes of a file in memory of their own, so that they can be handed on without a
// copy.
struct TPiece {
  std::unique_ptr<char[]> bytes;
  std::size_t capacity = 0;
  std::size_t size = 0;

  // An empty piece with room for `capacity` bytes, not cleared.
  static TPiece WithRoom(std::size_t capacity) {
    return {std::unique_ptr<char[]>(new char[capacity]), capacity, 0};
  }
  std::string_view View() const { return {bytes.get(), size}; }
};

// Takes the bytes of a file as they are made; each call false when they could not be
// written.
class TFileSink {
 public:
  virtual ~TFileSink() = default;
  // Copies the bytes.
  virtual bool Write(std::string_view bytes) = 0;
  // Takes the piece's memory with its bytes, which saves copying a large file; the
  // piece is then one to fill again (size 0), or an empty one.
  virtual bool Take(TPiece& piece) = 0;
};

// Hands pieces of a file's bytes to a thread of their own that writes them in order,
// so that making the next piece and the system's copying of the last one overlap. A
// few pieces wait at most; a producer that is faster waits for a free place.
//
// The write function runs on that thread only. Once it returns false, it is called no
// more, and Write, Take and Finish return false.
class TWriteBehind : public TFileSink {
 public:
  explicit TWriteBehind(std::function<bool(std::string_view bytes)> write);
  // Waits for what was handed over; call Finish to learn whether it was written.
  ~TWriteBehind() override;
  TWriteBehind(const TWriteBehind&) = delete;
  TWriteBehind& operator=(const TWriteBehind&) = delete;

  // Copies the bytes into a waiting place; false when an earlier write failed. One
  // thread writes or takes.
  bool Write(std::string_view bytes) override;
  // Hands the piece on without a copy. `piece` is then one whose bytes were written,
  // to be filled again (size 0), or an empty one. False when an earlier write failed.
  bool Take(TPiece& piece) override;
  // Waits until everything handed over is written; true when every write worked.
  bool Finish();

 private:
  static constexpr std::size_t kPlaces = 4;

  void Run();
  // Waits for a free place; false when a write failed.
  bool WaitForPlace(std::unique_lock<std::mutex>& lock);

  std::function<bool(std::string_view)> write_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<TPiece> waiting_;  // in the order they were handed over
  std::vector<TPiece> spare_;   // written pieces, their memory kept for reuse
  bool writing_ = false;        // the thread holds a piece outside the queue
  bool failed_ = false;
  bool stop_ = false;
  std::thread thread_;
};

}  // namespace brindel::platform
