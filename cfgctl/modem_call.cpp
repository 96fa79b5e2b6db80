#include "cfgctl/modem_call.h"

#include <chrono>
#include <memory>

namespace cfg::cli {

namespace {

// A hang-up takes at most three escapes with their reads, about 25 s.
constexpr int kHangUpLimitMs = 60000;

}  // namespace

ModemCall::~ModemCall() {
  if (up_) hangUp();
}

bool ModemCall::dial(bool& interruptedDial) {
  interruptedDial = false;
  auto result = std::make_shared<ModemResult>(ModemResult{ModemOutcome::Stopped, {}});
  ProgressQueue queue;
  auto routine = [result, this](Worker& w) { *result = dialModem(w, link_, messages_, timing_); };
  if (!worker_.start(queue, routine, messages_)) return false;
  for (;;) {
    if (interrupted_ && interrupted_->load()) {
      interruptedDial = true;
      break;
    }
    auto event = queue.next(100);
    if (event && event->close) break;
  }
  worker_.stop();  // a dial still ringing hangs up before the worker lets go
  up_ = result->done();
  return up_;
}

bool ModemCall::hangUp() {
  if (!up_) return true;
  up_ = false;
  return runModemHeadless(worker_, messages_, false, link_, kHangUpLimitMs, timing_).done();
}

}  // namespace cfg::cli
