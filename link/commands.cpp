#include "link/commands.h"

#include <cstdio>

#include "link/frame.h"
#include "link/hex.h"
#include "link/transaction.h"

namespace cfg {

namespace {

constexpr std::size_t kReplyCapacity = 64;

std::string_view trimBlanks(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

}  // namespace

std::optional<unsigned long> parseDecimal(std::string_view text) {
  text = trimBlanks(text);
  if (text.empty() || text.size() > 9) return std::nullopt;
  unsigned long value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<unsigned long>(c - '0');
  }
  return value;
}

std::string decodeHexText(std::string_view reply, std::size_t pos, std::size_t maxBytes) {
  std::string text;
  // Data end where ETX stands, three bytes before the end of a data reply.
  std::size_t end = reply.size() >= 3 ? reply.size() - 3 : 0;
  for (std::size_t i = 0; i < maxBytes && pos + 2 * i + 1 < end; ++i) {
    int b = hexPairAt(reply, pos + 2 * i);
    if (b <= 0) break;
    text += static_cast<char>(b);
  }
  return text;
}

// --- date and time ---

std::tm localNow() {
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  return tm;
}

std::string setDateTimeRequest(const std::tm& t) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "29%04d%02d%02d%02d%02d%02d", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday,
                t.tm_hour, t.tm_min, t.tm_sec);
  return buf;
}

bool setDateTime(Link& link, const Messages& messages, const std::tm& local) {
  std::string reply;
  if (!exchange(link, messages, setDateTimeRequest(local), reply, kReplyCapacity, 200, 6)) return false;
  messages.info(kSuccessMessage);
  return true;
}

bool setDateTimeNow(Link& link, const Messages& messages) { return setDateTime(link, messages, localNow()); }

std::optional<std::string> formatDateTimeReply(std::string_view reply, int length) {
  // SOH a a STX "28" yyyy mm dd hh mm ss ETX check CR
  if (length != 23 || reply.size() < 23) return std::nullopt;
  for (std::size_t i = 6; i < 20; ++i)
    if (reply[i] < '0' || reply[i] > '9') return std::nullopt;
  const char* r = reply.data();
  char buf[32];
  std::snprintf(buf, sizeof buf, "%c%c/%c%c/%c%c%c%c %c%c:%c%c:%c%c", r[12], r[13], r[10], r[11], r[6], r[7],
                r[8], r[9], r[14], r[15], r[16], r[17], r[18], r[19]);
  return std::string(buf);
}

bool readDateTime(Link& link, const Messages& messages, std::string& text) {
  text.clear();
  std::string reply;
  TxResult r = exchange(link, messages, "28", reply, kReplyCapacity, 400, 23);
  if (!r) return false;
  if (auto formatted = formatDateTimeReply(reply, r.length)) text = *formatted;
  return true;
}

void dateTimeDisplay(Worker& worker, Link& link, const Messages& messages) {
  while (!worker.stopRequested()) {
    std::string text;
    if (!readDateTime(link, messages, text)) return;
    if (!text.empty()) worker.refresh(text);
    if (worker.pause(25) || worker.pause(1000)) return;
  }
}

// --- reset ---

bool resetTerminal(Link& link, const Messages& messages) {
  std::string reply;
  if (!exchange(link, messages, "30", reply, kReplyCapacity, 200, 6)) return false;
  messages.info(kSuccessMessage);
  return true;
}

bool resetWithDefaults(Link& link, const Messages& messages) {
  if (!messages.confirm(kResetDefaultsQuestion, kResetDefaultsTitle, Icon::Warning)) return false;
  std::string reply;
  if (!exchange(link, messages, "31", reply, kReplyCapacity, 200, 6)) return false;
  messages.info(kSuccessMessage);
  return true;
}

// --- versions ---

std::optional<std::string> firmwareVersionText(Link& link, Messages& messages) {
  std::string reply;
  // SOH a a STX "34" text(16 x 2) ETX check CR
  if (!exchange(link, messages, "34", reply, kReplyCapacity, 200, 41)) return std::nullopt;
  std::string text = "Versione firmware = '" + decodeHexText(reply, 6, 16) + "'";
  AskOnFailureGuard quiet(messages.flags, false);
  for (int reader = 1; reader <= 2; ++reader) {
    // SOH a a STX "34" reader(2) text(16 x 2) ETX check CR
    std::string request = "340" + std::to_string(reader);
    TxResult r = exchange(link, messages, request, reply, kReplyCapacity, 200, 43);
    if (!r || reply.size() < 8 || reply.compare(4, 2, "34") != 0) continue;
    char line[64];
    std::snprintf(line, sizeof line, "\rVersione lettore%d = '%s'", reader, decodeHexText(reply, 8, 16).c_str());
    text += line;
  }
  return text;
}

bool showFirmwareVersion(Link& link, Messages& messages) {
  auto text = firmwareVersionText(link, messages);
  if (!text) return false;
  messages.info(*text);
  return true;
}

// --- output command ---

CommandResult sendOutputCommand(Link& link, const Messages& messages, std::string_view channelText,
                                OutputChoice choice, std::string_view durationText) {
  auto channel = parseDecimal(channelText);
  if (!channel || *channel < 1 || *channel > 4) {
    messages.error(kBadChannelMessage);
    return {false, InputField::Channel};
  }
  unsigned long action = kOutputOn;
  if (choice == OutputChoice::Off) {
    action = kOutputOff;
  } else if (choice == OutputChoice::Duration) {
    auto duration = parseDecimal(durationText);
    if (!duration || *duration > 255) {
      messages.error(kBadDataMessage);
      return {false, InputField::Duration};
    }
    action = *duration;
  }
  std::string request = "37" + byteToHex(static_cast<std::uint8_t>(*channel)) +
                        byteToHex(static_cast<std::uint8_t>(action));
  std::string reply;
  if (!exchange(link, messages, request, reply, kReplyCapacity, 200, 6)) return {};
  messages.info(kSuccessMessage);
  return {true};
}

// --- direct command ---

std::string directReplyText(std::string_view reply, int length) {
  if (length < 9 || reply.size() < static_cast<std::size_t>(length) || reply[3] != STX) return {};
  return std::string(reply.substr(4, static_cast<std::size_t>(length) - 7));
}

std::optional<std::string> sendDirectCommand(Link& link, const Messages& messages, std::string_view text) {
  std::string reply;
  TxResult r = exchange(link, messages, text.substr(0, kDirectCommandMax), reply, kReplyCapacity, 200, 6);
  if (!r) return std::nullopt;
  std::string shown = directReplyText(reply, r.length);
  messages.info(shown);
  return shown;
}

}  // namespace cfg
