#include "platform/WriteBehind.h"

#include <algorithm>
#include <utility>

namespace brindel::platform {

TWriteBehind::TWriteBehind(std::function<bool(std::string_view bytes)> write)
    : write_(std::move(write)), thread_([this] { Run(); }) {}

TWriteBehind::~TWriteBehind() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

bool TWriteBehind::WaitForPlace(std::unique_lock<std::mutex>& lock) {
  changed_.wait(lock, [this] { return failed_ || waiting_.size() + (writing_ ? 1 : 0) < kPlaces; });
  return !failed_;
}

bool TWriteBehind::Write(std::string_view bytes) {
  std::unique_lock lock(mutex_);
  if (!WaitForPlace(lock))
    return false;
  TPiece piece;
  if (!spare_.empty()) {
    piece = std::move(spare_.back());
    spare_.pop_back();
  }
  // The place stays free while the bytes are copied: only this thread fills places.
  lock.unlock();
  if (piece.capacity < bytes.size())
    piece = TPiece::WithRoom(bytes.size());
  std::copy(bytes.begin(), bytes.end(), piece.bytes.get());
  piece.size = bytes.size();
  lock.lock();
  waiting_.push_back(std::move(piece));
  lock.unlock();
  changed_.notify_all();
  return true;
}

bool TWriteBehind::Take(TPiece& piece) {
  std::unique_lock lock(mutex_);
  if (!WaitForPlace(lock))
    return false;
  waiting_.push_back(std::move(piece));
  piece = TPiece();
  if (!spare_.empty()) {
    piece = std::move(spare_.back());
    spare_.pop_back();
  }
  lock.unlock();
  changed_.notify_all();
  return true;
}

bool TWriteBehind::Finish() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return failed_ || (waiting_.empty() && !writing_); });
  return !failed_;
}

void TWriteBehind::Run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return stop_ || (!waiting_.empty() && !failed_); });
    if (waiting_.empty() || failed_)
      return;
    TPiece piece = std::move(waiting_.front());
    waiting_.pop_front();
    writing_ = true;
    lock.unlock();
    const bool written = write_(piece.View());
    lock.lock();
    writing_ = false;
    if (!written) {
      failed_ = true;
      waiting_.clear();
    }
    piece.size = 0;
    spare_.push_back(std::move(piece));
    changed_.notify_all();
  }
}

}  // namespace brindel::platform
