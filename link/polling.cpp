#include "link/polling.h"

#include <chrono>

#include "link/frame.h"
#include "link/hex.h"
#include "link/transaction.h"

namespace cfg {

namespace {

using Clock = std::chrono::steady_clock;

void sendCharacter(Link& link, const Messages& messages, char c) {
  std::string reply;
  exchange(link, messages, "05" + byteToHex(static_cast<std::uint8_t>(c)), reply, 64, 200, 6);
}

}  // namespace

const char* pollButtonText(PollButton button) {
  switch (button) {
    case PollButton::Entry: return "ENTRY";
    case PollButton::Exit: return "EXIT";
    case PollButton::Open: return "OPEN";
    case PollButton::Close: return "CLOSE";
    case PollButton::Enable: return "ENAB";
    case PollButton::Disable: return "DISAB";
  }
  return "";
}

char pollCommandCharacter(PollButton button, char replyCharacter) {
  switch (button) {
    case PollButton::Entry: return replyCharacter == '2' ? 'E' : replyCharacter == '3' ? 'F' : 'A';
    case PollButton::Exit: return 'B';
    case PollButton::Open: return 'C';
    case PollButton::Close: return 'D';
    case PollButton::Enable: return 'G';
    case PollButton::Disable: return 'H';
  }
  return 0;
}

void PollControl::selectReply(std::size_t index) {
  if (index < kPollReplies.size()) replyCharacter.store(kPollReplies[index][0]);
}

bool PollControl::press(PollButton button) {
  char none = 0;
  return pendingCommand.compare_exchange_strong(none, pollCommandCharacter(button, replyCharacter.load()));
}

std::optional<PollReply> parsePollReply(std::string_view reply, int length) {
  // SOH a a STX "04" S(2) [K(2) N(2) data(2N)] ETX check CR
  if (length < 11 || reply.size() < static_cast<std::size_t>(length) || reply.compare(4, 2, "04") != 0)
    return std::nullopt;
  int s = hexPairAt(reply, 6);
  if (s < 0) return std::nullopt;
  PollReply out{static_cast<std::uint8_t>(s), std::nullopt};
  if (!(s & kPollDataRead) || length < 15) return out;
  int k = hexPairAt(reply, 8);
  int n = hexPairAt(reply, 10);
  if (k < 0 || n < 0) return out;
  int held = std::min(n, (length - 15) / 2);
  std::string text(1, static_cast<char>(k));
  text += " - ";
  for (int i = 0; i < held; ++i) {
    int b = hexPairAt(reply, 12 + 2 * static_cast<std::size_t>(i));
    if (b < 0) break;
    text += static_cast<char>(b);
  }
  out.received = std::move(text);
  return out;
}

std::string pollProgressText(const PollDisplay& display) { return byteToHex(display.status) + display.received; }

std::optional<PollDisplay> parsePollProgress(std::string_view text) {
  int s = hexPairAt(text, 0);
  if (s < 0) return std::nullopt;
  return PollDisplay{static_cast<std::uint8_t>(s), std::string(text.substr(2))};
}

void pollingWorker(Worker& worker, Link& link, const Messages& messages, PollControl& control) {
  std::string received;
  std::optional<Clock::time_point> lastReceived;
  std::uint8_t lastStatus = 0;
  while (!worker.stopRequested()) {
    std::string reply;
    // Any valid reply counts: a terminal with nothing to report may answer
    // ACK or a short data reply without the status byte.
    TxResult r = exchange(link, messages, "04", reply, 256, 200, kAnyValidReply);
    if (!r) return;
    auto event = parsePollReply(reply, r.length);
    if (!event) {
      // No status in the reply: the boxes keep the last one, the received
      // text still ages out.
      if (!received.empty() && lastReceived &&
          Clock::now() - *lastReceived > std::chrono::milliseconds(kPollTextHoldMs)) {
        received.clear();
        worker.refresh(pollProgressText({lastStatus, received}));
      }
    } else {
      std::uint8_t s = event->status;
      lastStatus = s;
      if (event->received) {
        received = *event->received;
        lastReceived = Clock::now();
      } else if (!lastReceived || Clock::now() - *lastReceived > std::chrono::milliseconds(kPollTextHoldMs)) {
        received.clear();
      }
      worker.refresh(pollProgressText({s, received}));
      if ((s & kPollDataRead) && !(s & kPollBusy)) sendCharacter(link, messages, control.replyCharacter.load());
      if (!(s & kPollBusy)) {
        // The command's reply is not checked.
        if (char c = control.pendingCommand.exchange(0)) sendCharacter(link, messages, c);
      }
    }
    if (worker.pause(25)) return;
  }
}

}  // namespace cfg
