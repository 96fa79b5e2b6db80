#include "sim/sim_fingerprint_module.h"

#include <cstdlib>

namespace cfg::sim {

namespace {

constexpr char kHead = 0x40;
constexpr char kLf = 0x0A;
constexpr char kSoh = 0x01;
constexpr std::size_t kPacket = 13;
constexpr std::uint8_t kWrite = 0x01, kSave = 0x02, kRead = 0x03, kScan = 0x05, kTemplate = 0x14, kStart = 0x17;
constexpr std::uint8_t kFirstTouch = 0x79;

std::uint8_t sum(std::string_view bytes) {
  unsigned s = 0;
  for (char c : bytes) s += static_cast<std::uint8_t>(c);
  return static_cast<std::uint8_t>(s);
}

std::uint8_t at(const std::string& s, std::size_t i) { return static_cast<std::uint8_t>(s[i]); }

std::string header(std::uint8_t command, std::uint8_t byte6, std::uint8_t byte10) {
  std::string p(kPacket, '\0');
  p[0] = kHead;
  p[1] = static_cast<char>(command);
  p[6] = static_cast<char>(byte6);
  p[10] = static_cast<char>(byte10);
  p[12] = kLf;
  return p;
}

std::string sealed(std::string p) {
  p[11] = static_cast<char>(sum(std::string_view(p).substr(0, 11)));
  return p;
}

// Counts a fault down; true when it strikes this time.
bool strikes(int& count) {
  if (count == 0) return false;
  if (count > 0) --count;
  return true;
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

SimFingerprintModule::SimFingerprintModule()
    : parameters{{'b', '3'}, {'e', '2'}, {'g', '0'}, {'u', '0'}, {'w', '0'}, {0x82, '0'}, {0x84, '0'}},
      templateBytes(sampleTemplate(1)) {}

std::string SimFingerprintModule::sampleTemplate(unsigned seed) {
  std::string t(kSimTemplateBytes, '\0');
  for (std::size_t i = 0; i < t.size(); ++i) t[i] = static_cast<char>((seed * 29 + i * 37 + (i >> 3)) & 0xFF);
  return t;
}

void SimFingerprintModule::enter() {
  active_ = true;
  touches_ = 0;
  input_.clear();
  rest_.clear();
  ++sessions;
}

std::string SimFingerprintModule::takeRest() {
  std::string r;
  r.swap(rest_);
  return r;
}

std::vector<SimFingerprintModule::Reply> SimFingerprintModule::feed(std::string_view bytes) {
  std::vector<Reply> replies;
  if (!active_) return replies;
  input_.append(bytes);
  while (!input_.empty()) {
    if (input_[0] == '+' || input_[0] == kSoh) {
      // "+++" or a Frame for the desk reader: the line goes back to it.
      if (input_[0] == '+') {
        if (input_.size() < 3) return replies;
        if (input_.compare(0, 3, "+++") == 0) {
          ++endings;
          input_.erase(0, 3);
        } else {
          input_.erase(0, 1);
          continue;
        }
      }
      active_ = false;
      rest_.swap(input_);
      input_.clear();
      return replies;
    }
    if (input_[0] != kHead) {
      input_.erase(0, 1);
      continue;
    }
    if (input_.size() < kPacket) return replies;
    std::string request = input_.substr(0, kPacket);
    input_.erase(0, kPacket);
    if (request[12] != kLf || at(request, 11) != sum(std::string_view(request).substr(0, 11))) continue;
    packets.push_back(request);
    if (strikes(silent)) continue;
    if (auto r = answer(request)) replies.push_back(std::move(*r));
  }
  return replies;
}

std::optional<SimFingerprintModule::Reply> SimFingerprintModule::answer(const std::string& request) {
  const std::uint8_t command = at(request, 1), byte6 = at(request, 6), byte10 = at(request, 10);
  switch (command) {
    case kRead: {
      auto p = parameters.find(byte10);
      if (p == parameters.end()) return Reply{0, sealed(header(command, 0, 0))};
      return Reply{0, sealed(header(command, p->second, p->first))};
    }
    case kWrite: {
      auto p = parameters.find(byte10);
      if (p == parameters.end()) return Reply{0, sealed(header(command, 0, 0))};
      p->second = byte6;
      return Reply{0, sealed(header(command, p->second, p->first))};
    }
    case kSave:
      ++saves;
      return Reply{0, sealed(header(command, 0, 'a'))};
    case kStart:
      touches_ = 0;
      return Reply{0, sealed(header(command, 0, 'a'))};
    case kScan: {
      char result = 'a';
      if (byte10 == kFirstTouch) {
        if (strikes(noFinger)) result = 'x';
        touches_ = result == 'a' ? 1 : 0;
      } else {
        if (touches_ != 1 || strikes(badTouches)) result = 'b';
        touches_ = result == 'a' ? 2 : 0;
      }
      return Reply{scanMs, sealed(header(command, 0, static_cast<std::uint8_t>(result)))};
    }
    case kTemplate: {
      const bool ready = touches_ == 2 && at(request, 2) == 1 && !strikes(badTemplates);
      std::string p = header(command, 0, ready ? 'a' : 'b');
      p[6] = static_cast<char>(kSimTemplateBytes & 0xFF);
      p[7] = static_cast<char>(kSimTemplateBytes >> 8);
      p = sealed(std::move(p));
      std::string data = ready ? templateBytes : std::string();
      data.resize(kSimTemplateBytes, '\0');
      if (ready) ++templatesSent;
      touches_ = 0;
      return Reply{0, p + data + kLf};
    }
    default:
      return Reply{0, sealed(header(command, 0, 'e'))};
  }
}

bool applyModuleFault(std::string_view text, SimFingerprintModule& module) {
  const std::size_t colon = text.find(':');
  const std::string_view kind = text.substr(0, colon);
  int count = -1;
  if (colon != std::string_view::npos) {
    const std::string digits(text.substr(colon + 1));
    if (digits.empty() || digits.size() > 6 || digits.find_first_not_of("0123456789") != std::string::npos)
      return false;
    count = std::atoi(digits.c_str());
  }
  if (kind == "nofinger") {
    module.noFinger = count;
  } else if (kind == "badtouch") {
    module.badTouches = count;
  } else if (kind == "badtemplate") {
    module.badTemplates = count;
  } else if (kind == "silent") {
    module.silent = count;
  } else {
    return false;
  }
  return true;
}

std::optional<std::string> parseTemplateDigits(std::string_view text) {
  if (text.size() != 2 * kSimTemplateBytes) return std::nullopt;
  std::string bytes;
  for (std::size_t i = 0; i < text.size(); i += 2) {
    const int hi = hexValue(text[i]), lo = hexValue(text[i + 1]);
    if (hi < 0 || lo < 0) return std::nullopt;
    bytes += static_cast<char>(hi * 16 + lo);
  }
  return bytes;
}

}  // namespace cfg::sim
