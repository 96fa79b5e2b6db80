#include "sim/sim_modem.h"

#include <algorithm>
#include <cctype>

namespace cfg::sim {

namespace {

constexpr std::size_t kMaxCommandLine = 255;

std::string upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace

bool parseDialResult(std::string_view name, DialResult& result) {
  static const std::pair<const char*, DialResult> names[] = {{"connect", DialResult::Connect},
                                                             {"busy", DialResult::Busy},
                                                             {"nocarrier", DialResult::NoCarrier},
                                                             {"none", DialResult::None}};
  for (const auto& [n, r] : names)
    if (name == n) {
      result = r;
      return true;
    }
  return false;
}

void SimModem::say(std::string_view text) {
  if (!settings_.present) return;
  if (answers_.empty()) answersDue_ = Clock::now() + std::chrono::milliseconds(settings_.answerDelayMs);
  answers_ += "\r\n";
  answers_ += text;
  answers_ += "\r\n";
}

void SimModem::receive(std::string_view bytes, Clock::time_point now, std::string& toLine,
                       std::string& toTerminal) {
  // Time passed since the last bytes may have ended an escape or a dial.
  tick(now, toLine, toTerminal);
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    char c = bytes[i];
    switch (state_) {
      case State::Command:
        heard_ += c;
        commandByte(c, toLine);
        break;
      case State::Dialling:
        heard_ += bytes.substr(i);
        // A key pressed while dialling abandons the call; the rest of what came is lost.
        state_ = State::Command;
        line_.clear();
        say("NO CARRIER");
        return;
      case State::Online:
        onlineByte(c, now, toTerminal);
        break;
    }
  }
}

void SimModem::commandByte(char c, std::string& toLine) {
  if (echo_ && settings_.present) toLine += c;
  if (c == '\r') {
    std::string line = std::move(line_);
    line_.clear();
    runCommand(line);
  } else if (c == '\b') {
    if (!line_.empty()) line_.pop_back();
  } else if (c != '\n' && line_.size() < kMaxCommandLine) {
    line_ += c;
  }
}

void SimModem::runCommand(const std::string& line) {
  std::string command = upper(line);
  // Anything before "AT" is noise on the line (a half escape, a stray byte).
  std::size_t at = command.find("AT");
  if (at == std::string::npos) return;
  command.erase(0, at);
  log_.push_back(line.substr(at));
  if (command == "ATE0" || command == "ATE1") {
    echo_ = command == "ATE1";
    say("OK");
  } else if (command == "ATH" || command == "ATH0") {
    callUp_ = false;
    say("OK");
  } else if (command == "ATO") {
    if (callUp_) {
      state_ = State::Online;
      say("CONNECT 9600");
    } else {
      say("NO CARRIER");
    }
  } else if (command.rfind("ATD", 0) == 0) {
    state_ = State::Dialling;
    dialDue_ = Clock::now() + std::chrono::milliseconds(settings_.dialDelayMs);
  } else if (command == "AT") {
    say("OK");
  } else {
    say(settings_.initReply);
  }
}

void SimModem::onlineByte(char c, Clock::time_point now, std::string& toTerminal) {
  auto guard = std::chrono::milliseconds(settings_.guardMs);
  bool quietBefore = now - lastByte_ >= guard;
  bool inTime = now - lastByte_ <= kMaxPlusGap;
  lastByte_ = now;
  if (c == '+' && ((pluses_ == 0 && quietBefore) || (pluses_ > 0 && pluses_ < 3 && inTime))) {
    ++pluses_;
    return;
  }
  // Not an escape after all: the held "+" were data.
  toTerminal.append(static_cast<std::size_t>(pluses_), '+');
  pluses_ = 0;
  toTerminal += c;
}

void SimModem::tick(Clock::time_point now, std::string& toLine, std::string& toTerminal) {
  if (state_ == State::Dialling && now >= dialDue_ && !settings_.present) dialDue_ = Clock::time_point::max();
  if (state_ == State::Dialling && now >= dialDue_) {
    state_ = State::Command;
    switch (settings_.dial) {
      case DialResult::Connect:
        state_ = State::Online;
        callUp_ = true;
        lastByte_ = now;
        pluses_ = 0;
        say("CONNECT 9600");
        break;
      case DialResult::Busy:
        say("BUSY");
        break;
      case DialResult::NoCarrier:
        say("NO CARRIER");
        break;
      case DialResult::None:
        state_ = State::Dialling;  // the call is never answered
        dialDue_ = Clock::time_point::max();
        break;
    }
  }
  if (!answers_.empty() && now >= answersDue_) {
    toLine += answers_;
    answers_.clear();
  }
  if (state_ == State::Online && pluses_ > 0) {
    auto quiet = now - lastByte_;
    if (pluses_ == 3 && quiet >= std::chrono::milliseconds(settings_.guardMs)) {
      pluses_ = 0;
      state_ = State::Command;
      line_.clear();
      log_.push_back("+++");
      heard_ += "+++";
      say("OK");
    } else if (pluses_ < 3 && quiet > kMaxPlusGap) {
      toTerminal.append(static_cast<std::size_t>(pluses_), '+');
      pluses_ = 0;
    }
  }
}

std::optional<SimModem::Clock::time_point> SimModem::due() const {
  std::optional<Clock::time_point> next;
  auto consider = [&next](Clock::time_point t) {
    if (!next || t < *next) next = t;
  };
  if (!answers_.empty()) consider(answersDue_);
  if (state_ == State::Dialling && dialDue_ != Clock::time_point::max()) consider(dialDue_);
  if (state_ == State::Online && pluses_ == 3) consider(lastByte_ + std::chrono::milliseconds(settings_.guardMs));
  if (state_ == State::Online && pluses_ > 0 && pluses_ < 3)
    consider(lastByte_ + kMaxPlusGap + std::chrono::milliseconds(1));
  return next;
}

}  // namespace cfg::sim
