#include "link/worker.h"

#include <algorithm>
#include <chrono>
#include <system_error>
#include <utility>

namespace cfg {

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kStep = std::chrono::milliseconds(kStopPollMs);

}  // namespace

bool Worker::startStdThread(std::thread& thread, std::function<void()> body) {
  try {
    thread = std::thread(std::move(body));
    return true;
  } catch (const std::system_error&) {
    return false;
  }
}

Worker::Worker() : starter_(&Worker::startStdThread) {}

Worker::Worker(ThreadStarter starter) : starter_(std::move(starter)) {}

Worker::~Worker() { stop(); }

bool Worker::start(Progress& owner, Routine routine, const Messages& messages) {
  if (thread_.joinable()) return false;
  owner_ = &owner;
  stopRequest_.store(false);
  spare.store(0);
  alive_.store(true);
  bool started = starter_(thread_, [this, routine = std::move(routine)] { body(routine); });
  if (!started) {
    alive_.store(false);
    messages.linkError(kThreadStartFailed);
    return false;
  }
  return true;
}

void Worker::body(const Routine& routine) {
  if (!stopRequest_.load()) {
    try {
      routine(*this);
    } catch (...) {
      // An operation that throws has failed: it ends through the handshake
      // below instead of taking the program down.
    }
  }
  if (!stopRequest_.load()) {
    owner_->requestClose();
    while (!stopRequest_.load()) std::this_thread::sleep_for(kStep);
  }
  stopRequest_.store(false);
  alive_.store(false);
}

void Worker::stop() {
  if (!thread_.joinable()) return;
  stopRequest_.store(true);
  while (stopRequest_.load() && alive_.load()) std::this_thread::sleep_for(kStep);
  thread_.join();
  stopRequest_.store(false);
}

bool Worker::pause(int ms) const {
  auto end = Clock::now() + std::chrono::milliseconds(ms);
  for (;;) {
    if (stopRequest_.load()) return true;
    auto left = end - Clock::now();
    if (left <= Clock::duration::zero()) return false;
    std::this_thread::sleep_for(std::min<Clock::duration>(left, kStep));
  }
}

void Worker::refresh(int first, int second, std::string text) const {
  owner_->refresh({first, second, std::move(text)});
}

HeadlessEnd runHeadless(Worker& worker, const Messages& messages, Worker::Routine routine, int limitMs,
                        const std::function<void(const ProgressUpdate&)>& onRefresh) {
  ProgressQueue queue;
  if (!worker.start(queue, std::move(routine), messages)) return HeadlessEnd::NotStarted;
  auto deadline = Clock::now() + std::chrono::milliseconds(limitMs);
  HeadlessEnd end = HeadlessEnd::TimedOut;
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) break;
    auto event = queue.next(static_cast<int>(std::min<long long>(left, 100)));
    if (!event) continue;
    if (event->close) {
      end = HeadlessEnd::Closed;
      break;
    }
    if (onRefresh) onRefresh(event->update);
  }
  worker.stop();
  // Refreshes posted while the worker was being stopped.
  for (auto& e : queue.takeAll())
    if (!e.close && onRefresh) onRefresh(e.update);
  return end;
}

}  // namespace cfg
