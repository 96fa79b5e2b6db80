// A simulated Hayes-style modem in front of a terminal's line.
//
// Command mode: what comes in is echoed (until "ATE0") and collected into a
// command line ended by CR; a line starting with "AT" is answered in verbose
// form, "\r\nOK\r\n":
//
//   ATE0 / ATE1      echo off / on, "OK"
//   ATD<number>      dial: after a short delay "CONNECT 9600" (then online),
//                    or "BUSY", "NO CARRIER", or nothing at all, as set
//   ATH / ATH0       hang up, "OK"
//   ATO              back online when a call is up, else "NO CARRIER"
//   AT               "OK"
//   any other AT...  the initialisation reply as set ("OK" by default; e.g.
//                    "ERROR" refuses every set-up string)
//
// While dialling, any byte that comes in abandons the call: "NO CARRIER".
//
// Online: bytes pass to the terminal and its replies come back. "+++" with
// the guard time of silence before the first "+" and after the third (and
// at most kMaxPlusGap between the "+") returns to command mode with "OK",
// the call still up; "+" without the guard times are data.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cfg::sim {

enum class DialResult { Connect, Busy, NoCarrier, None };

// "connect", "busy", "nocarrier", "none"
bool parseDialResult(std::string_view name, DialResult& result);

struct ModemSettings {
  std::string initReply = "OK";   // the answer to set-up strings
  DialResult dial = DialResult::Connect;
  int guardMs = 300;              // silence before the first and after the last "+"
  int dialDelayMs = 50;           // from "ATD" to the answer
  bool present = true;            // false: switched off, it hears but never answers
  // The echo goes back at once, answers this much later, as the echo of
  // a typed command comes before the modem's verdict on it.
  int answerDelayMs = 20;
};

class SimModem {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr std::chrono::milliseconds kMaxPlusGap{1000};

  explicit SimModem(ModemSettings settings) : settings_(std::move(settings)) {}

  // Bytes from the line. What the modem says goes to `toLine`, what passes
  // through to the terminal to `toTerminal`.
  void receive(std::string_view bytes, Clock::time_point now, std::string& toLine, std::string& toTerminal);
  // Timed events: the dial's answer, the end of an escape's guard time.
  void tick(Clock::time_point now, std::string& toLine, std::string& toTerminal);
  // When tick() has something to do next.
  std::optional<Clock::time_point> due() const;

  // A call is up and the modem is not in command mode: data flows.
  bool online() const { return state_ == State::Online; }
  // Every command line received ("ATE0", "ATDT0312345678", "ATH0") and every
  // escape ("+++"), in order.
  const std::vector<std::string>& log() const { return log_; }
  // Every byte the modem took as its own (command mode, dialling, escapes),
  // exactly as it came.
  const std::string& heard() const { return heard_; }
  const ModemSettings& settings() const { return settings_; }

 private:
  enum class State { Command, Dialling, Online };

  void commandByte(char c, std::string& toLine);
  void runCommand(const std::string& line);
  void onlineByte(char c, Clock::time_point now, std::string& toTerminal);
  // Queues an answer; it goes to the line answerDelayMs later.
  void say(std::string_view text);

  ModemSettings settings_;
  State state_ = State::Command;
  bool echo_ = true;
  bool callUp_ = false;        // connected, perhaps in command mode after an escape
  std::string line_;           // the command being typed
  Clock::time_point dialDue_{};
  // Online: when the last byte came, and "+" held back while an escape may be starting.
  Clock::time_point lastByte_{};
  int pluses_ = 0;
  std::vector<std::string> log_;
  std::string heard_;
  std::string answers_;  // said, not yet on the line
  Clock::time_point answersDue_{};
};

}  // namespace cfg::sim
