#include "platform/WriteBehind.h"

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

bool TWriteBehind::Put(std::string_view bytes) {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return failed_ || waiting_.size() + (writing_ ? 1 : 0) < kPlaces; });
  if (failed_)
    return false;
  std::string piece;
  if (!spare_.empty()) {
    piece = std::move(spare_.back());
    spare_.pop_back();
  }
  // The place stays free while the bytes are copied: only this thread fills places.
  lock.unlock();
  piece.assign(bytes);
  lock.lock();
  waiting_.push_back(std::move(piece));
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
    std::string piece = std::move(waiting_.front());
    waiting_.pop_front();
    writing_ = true;
    lock.unlock();
    const bool written = write_(piece);
    lock.lock();
    writing_ = false;
    if (!written) {
      failed_ = true;
      waiting_.clear();
    }
    spare_.push_back(std::move(piece));
    changed_.notify_all();
  }
}

}  // namespace brindel::platform
