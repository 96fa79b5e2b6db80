#include "link/progress.h"

#include <chrono>
#include <utility>

namespace cfg {

void ProgressQueue::refresh(ProgressUpdate update) {
  {
    std::lock_guard lock(mutex_);
    ++refreshes_;
    latest_ = update;
    events_.push_back({false, std::move(update)});
  }
  posted_.notify_all();
}

void ProgressQueue::requestClose() {
  {
    std::lock_guard lock(mutex_);
    ++closes_;
    events_.push_back({true, {}});
  }
  posted_.notify_all();
}

std::optional<ProgressQueue::Event> ProgressQueue::next(int timeoutMs) {
  std::unique_lock lock(mutex_);
  if (!posted_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return !events_.empty(); }))
    return std::nullopt;
  Event e = std::move(events_.front());
  events_.pop_front();
  return e;
}

std::vector<ProgressQueue::Event> ProgressQueue::takeAll() {
  std::lock_guard lock(mutex_);
  std::vector<Event> all(std::make_move_iterator(events_.begin()), std::make_move_iterator(events_.end()));
  events_.clear();
  return all;
}

std::size_t ProgressQueue::refreshCount() const {
  std::lock_guard lock(mutex_);
  return refreshes_;
}

std::size_t ProgressQueue::closeCount() const {
  std::lock_guard lock(mutex_);
  return closes_;
}

std::optional<ProgressUpdate> ProgressQueue::latest() const {
  std::lock_guard lock(mutex_);
  return latest_;
}

}  // namespace cfg
