// cfgctl's call to a terminal behind a modem: dialled after the Link opens,
// hung up before it closes, whatever happened in between (a failed command,
// SIGINT or SIGTERM, an error thrown half way).
#pragma once

#include <atomic>

#include "link/link.h"
#include "link/modem.h"
#include "link/prompt.h"
#include "link/worker.h"

namespace cfg::cli {

class ModemCall {
 public:
  // `interrupted` (may be null) stops a dial under way; the dial then hangs up.
  ModemCall(Link& link, const Messages& messages, const std::atomic<bool>* interrupted,
            ModemTiming timing = {})
      : link_(link), messages_(messages), interrupted_(interrupted), timing_(timing) {}
  // Hangs up a call still up.
  ~ModemCall();
  ModemCall(const ModemCall&) = delete;
  ModemCall& operator=(const ModemCall&) = delete;

  // Dials the Link's number. The failure's message was shown (the prompt
  // writes it to stderr); `interruptedDial` tells a stopped dial apart.
  bool dial(bool& interruptedDial);
  // Ends the call; false when the modem did not confirm it (the message was
  // shown). Not stopped by an interruption: the line must not stay up.
  bool hangUp();

 private:
  Link& link_;
  const Messages& messages_;
  const std::atomic<bool>* interrupted_;
  ModemTiming timing_;
  Worker worker_;
  bool up_ = false;
};

}  // namespace cfg::cli
