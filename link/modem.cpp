#include "link/modem.h"

#include <chrono>
#include <memory>
#include <string_view>

namespace cfg {

namespace {

// The answer buffer holds 255 bytes with its terminator.
constexpr std::size_t kAnswerCapacity = 254;
constexpr int kAttempts = 3;
constexpr int kEscapeReads = 10;

bool contains(std::string_view line, std::string_view text) { return line.find(text) != std::string_view::npos; }

// A line with more than its line ends in it.
bool hasText(std::string_view line) { return line.find_first_not_of("\r\n") != std::string_view::npos; }

class ModemTalk {
 public:
  ModemTalk(Worker& worker, Link& link, const ModemTiming& timing) : worker_(worker), link_(link), timing_(timing) {}

  bool stopped() const { return worker_.stopRequested(); }

  // Sends unless the stop request is set.
  bool send(std::string_view text) {
    if (stopped()) return false;
    link_.send(text);
    return true;
  }

  // Reads one answer line unless the stop request is set; false when stopped.
  bool read(std::string& line, int timeoutMs) {
    line.clear();
    if (stopped()) return false;
    link_.receiveTextLine(line, kAnswerCapacity, timeoutMs);
    return true;
  }

  // Up to `reads` reads until a line holds one of the texts. False when none
  // did or the stop request came.
  bool await(int reads, int timeoutMs, std::string_view a, std::string_view b = {}) {
    std::string line;
    for (int i = 0; i < reads; ++i) {
      if (!read(line, timeoutMs)) return false;
      if (contains(line, a) || (!b.empty() && contains(line, b))) return true;
    }
    return false;
  }

  // The escape sequence and the hang-up command. True when the modem said
  // "OK" or "NO CARRIER" to the hang-up.
  bool escapeAndHangUp(bool silenceFirst) {
    if (silenceFirst && worker_.pause(timing_.silenceMs)) return false;
    for (int plus = 0; plus < 3; ++plus) {
      if (plus > 0 && worker_.pause(timing_.plusGapMs)) return false;
      if (!send("+")) return false;
    }
    await(kEscapeReads, timing_.escapeReadMs, "OK");
    std::string command = hangUpCommand(link_.config.modemType);
    if (!command.empty() && !send(command)) return false;
    return await(kEscapeReads, timing_.hangUpReadMs, "OK", "NO CARRIER");
  }

  // After a stopped dial: the call must not stay up.
  void hangUpAfterStop() {
    std::string command = hangUpCommand(link_.config.modemType);
    std::string line;
    for (int i = 0; i < kAttempts; ++i) {
      if (!command.empty()) link_.send(command);
      link_.receiveTextLine(line, kAnswerCapacity, timing_.cancelReadMs);
      if (contains(line, "CONNECT") || contains(line, "OK")) return;
    }
  }


 private:
  Worker& worker_;
  Link& link_;
  const ModemTiming& timing_;
};

ModemResult failure(const Messages& messages, const char* text) {
  if (messages.flags.showLinkErrors.load())
    messages.ask({text, kErrorTitle, Icon::Error, Buttons::Ok, Answer::Ok, true});
  return {ModemOutcome::Failed, text};
}

enum class Step { Ok, Failed, Stopped };

// Sends `command` and waits for "OK", up to 3 attempts with an escape and
// hang-up between them. A modem that still echoes sends the command back as
// a line of its own before its answer: only the wait's end fails an attempt.
Step commandUntilOk(ModemTalk& talk, const std::string& command, int readMs) {
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    if (!talk.send(command)) return Step::Stopped;
    auto deadline = Clock::now() + std::chrono::milliseconds(readMs);
    bool ok = false;
    for (int left = readMs; !ok && left > 0; left = millisecondsUntil(deadline)) {
      std::string line;
      if (!talk.read(line, left)) return Step::Stopped;
      ok = contains(line, "OK");
    }
    if (ok) return Step::Ok;
    talk.escapeAndHangUp(true);
    if (talk.stopped()) return Step::Stopped;
  }
  return Step::Failed;
}

}  // namespace

std::string hangUpCommand(std::uint8_t modemType) {
  switch (modemType) {
    case 0: return "ATH0\r";
    case 1: return "ATH\r";
    default: return {};
  }
}

ModemResult dialModem(Worker& worker, Link& link, const Messages& messages, const ModemTiming& timing) {
  ModemTalk talk(worker, link, timing);
  auto stopped = [&] {
    talk.hangUpAfterStop();
    return ModemResult{ModemOutcome::Stopped, {}};
  };

  switch (commandUntilOk(talk, "ATE0\r", timing.checkReadMs)) {
    case Step::Ok: break;
    case Step::Stopped: return stopped();
    case Step::Failed: return failure(messages, kModemAbsent);
  }
  if (!link.config.modemInit.empty()) {
    switch (commandUntilOk(talk, link.config.modemInit + "\r", timing.setupReadMs)) {
      case Step::Ok: break;
      case Step::Stopped: return stopped();
      case Step::Failed: return failure(messages, kModemSetupFailed);
    }
  }
  if (!talk.send("ATD" + link.config.phoneNumber + "\r")) return stopped();
  // The first line that comes is the modem's verdict on the call. A line cut
  // by a read's end is completed by the next read.
  std::string answer, part;
  for (int i = 0; i < timing.dialReads; ++i) {
    if (!talk.read(part, timing.dialReadMs)) return stopped();
    answer += part.substr(0, kAnswerCapacity - std::min(answer.size(), kAnswerCapacity));
    if (hasText(answer) && (answer.back() == '\n' || answer.size() >= kAnswerCapacity)) break;
  }
  if (contains(answer, "CONNECT")) return {ModemOutcome::Done, {}};
  return failure(messages, kModemDialFailed);
}

ModemResult hangUpModem(Worker& worker, Link& link, const Messages& messages, const ModemTiming& timing) {
  ModemTalk talk(worker, link, timing);
  if (worker.pause(timing.silenceMs)) return {ModemOutcome::Stopped, {}};
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    // One wait for silence before the first escape; a failed attempt has
    // read for seconds, so the line is quiet before the next.
    bool hungUp = talk.escapeAndHangUp(false);
    if (talk.stopped()) return {ModemOutcome::Stopped, {}};
    if (hungUp) return {ModemOutcome::Done, {}};
  }
  return failure(messages, kModemHangUpFailed);
}

ModemResult runModemHeadless(Worker& record, const Messages& messages, bool dial, Link& link, int limitMs,
                             const ModemTiming& timing) {
  auto result = std::make_shared<ModemResult>(ModemResult{ModemOutcome::Stopped, {}});
  auto routine = [result, dial, &link, &messages, &timing](Worker& w) {
    *result = dial ? dialModem(w, link, messages, timing) : hangUpModem(w, link, messages, timing);
  };
  if (runHeadless(record, messages, routine, limitMs) == HeadlessEnd::NotStarted)
    return {ModemOutcome::Failed, kThreadStartFailed};
  return *result;
}

}  // namespace cfg
