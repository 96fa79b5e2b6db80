#include "sim/sim_terminal.h"
#include "sim/sim_fingerprints.h"
#include "sim/sim_tables.h"
#include "sim/sim_params.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

#include "link/frame.h"
#include "link/hex.h"

namespace cfg::sim {

namespace {

bool isModel(const std::string& model, std::string_view name) { return model == name; }

std::string withCheck(std::string frame) {
  sealMain(frame);
  return frame;
}

bool allDigits(std::string_view s) {
  for (char c : s)
    if (c < '0' || c > '9') return false;
  return true;
}

int number(std::string_view s) {
  int v = 0;
  for (char c : s) v = v * 10 + (c - '0');
  return v;
}

}  // namespace

std::string ackFrame(unsigned address) {
  return withCheck(std::string{SOH} + addressText(address) + ACK + ' ' + CR);
}

std::string nakFrame(unsigned address) {
  return withCheck(std::string{SOH} + addressText(address) + NAK + ' ' + CR);
}

std::string dataFrame(unsigned address, std::string_view data) {
  return withCheck(buildRequest(addressText(address), data));
}

std::string hexText(std::string_view text, std::size_t width) {
  std::string padded(text.substr(0, width));
  padded.resize(width, ' ');
  return bytesToHex(padded);
}

SimTerminal::SimTerminal(std::string model, unsigned address) : model_(std::move(model)), address_(address) {
  poke(configBlockAddress(), static_cast<std::uint8_t>(address));
  setSpeedIndex(3);  // 9600
  installParameterMemory(*this);
  installBasicCommands();
  installRecordCommands();
  installLoaderCommands(*this);
  installTableCommands(*this);
  installFingerprintCommands(*this);
}

void SimTerminal::add(const AttendanceRecord& r) { attendance.add(attendanceBody(r, 0).substr(4)); }
void SimTerminal::add(const ProductionRecord& r) { production.add(productionBody(r, 0).substr(4)); }
void SimTerminal::add(const CanteenRecord& r) { canteen.add(canteenBody(r, 0).substr(4)); }

std::optional<std::string> SimTerminal::nextStreamed() {
  if (!streaming) return std::nullopt;
  for (;;) {
    std::optional<std::string> record;
    for (const auto& p : attendance.pending())
      if (hex4ToU16(p) == streamPointer) record = p;
    if (!record) return std::nullopt;
    std::uint16_t pointer = streamPointer;
    if (streamRepeat == pointer) {
      streamRepeat.reset();  // sent now and once more next time
    } else {
      streamPointer = static_cast<std::uint16_t>((streamPointer + 1u) % attendance.ringSize());
    }
    if (streamSkip == pointer) {
      streamSkip.reset();
      continue;
    }
    return dataFrame(address_, "41" + *record);
  }
}

void SimTerminal::installRecordCommands() {
  struct Kind {
    const char* count;
    const char* next;
    const char* ack;
    const char* byIndex;
    RecordStore SimTerminal::*store;
  };
  static const Kind kinds[] = {{"00", "01", "02", "03", &SimTerminal::attendance},
                               {"60", "61", "62", "63", &SimTerminal::production},
                               {"80", "81", "82", "83", &SimTerminal::canteen}};
  for (const Kind& k : kinds) {
    std::string count = k.count, next = k.next, byIndex = k.byIndex;
    auto store = k.store;
    setHandler(count, [count, store](SimTerminal& t, std::string_view data) -> std::optional<std::string> {
      if (!data.empty()) return std::nullopt;
      auto n = static_cast<std::uint16_t>(std::min<std::size_t>((t.*store).unacknowledged(), 0xFFFF));
      return count + byteToHex(static_cast<std::uint8_t>(n >> 8)) + byteToHex(static_cast<std::uint8_t>(n));
    });
    setHandler(next, [next, store](SimTerminal& t, std::string_view data) -> std::optional<std::string> {
      auto r = (t.*store).next();
      if (!data.empty() || !r) return std::nullopt;
      return next + *r;
    });
    setHandler(k.ack, [store](SimTerminal& t, std::string_view data) -> std::optional<std::string> {
      auto pointer = hex4ToU16(data);
      if (data.size() != 4 || !pointer || !(t.*store).acknowledge(*pointer)) return std::nullopt;
      return std::string();
    });
    setHandler(byIndex, [byIndex, store](SimTerminal& t, std::string_view data) -> std::optional<std::string> {
      auto index = hex4ToU16(data);
      if (data.size() != 4 || !index) return std::nullopt;
      auto r = (t.*store).byIndex(*index);
      if (!r) return std::nullopt;
      return byIndex + *r;
    });
  }
  setHandler("35", [](SimTerminal& t, std::string_view data) -> std::optional<std::string> {
    if (!data.empty()) return std::nullopt;
    t.attendance.clear();
    t.production.clear();
    t.canteen.clear();
    return std::string();
  });
  setHandler("38", [](SimTerminal& t, std::string_view data) -> std::optional<std::string> {
    if (data == "02") return userCountReply(t);
    if (data != "01") return std::nullopt;
    auto size = static_cast<std::uint16_t>(std::min<std::uint32_t>(t.attendance.ringSize(), 0xFFFF));
    return "38" + byteToHex(t.ringStatus) + byteToHex(static_cast<std::uint8_t>(size >> 8)) +
           byteToHex(static_cast<std::uint8_t>(size)) + "0000";
  });
  setHandler("40", [](SimTerminal& t, std::string_view data) -> std::optional<std::string> {
    if (!data.empty()) return std::nullopt;
    std::uint16_t first = t.attendance.firstUnacknowledged();
    auto n = static_cast<std::uint16_t>(std::min<std::size_t>(t.attendance.unacknowledged(), 0xFFFF));
    t.streaming = true;
    t.streamPointer = first;
    return "40" + byteToHex(static_cast<std::uint8_t>(first >> 8)) + byteToHex(static_cast<std::uint8_t>(first)) +
           byteToHex(static_cast<std::uint8_t>(n >> 8)) + byteToHex(static_cast<std::uint8_t>(n));
  });
  setHandler("41", [](SimTerminal& t, std::string_view data) -> std::optional<std::string> {
    auto pointer = hex4ToU16(data);
    if (data.size() != 4 || !pointer) return std::nullopt;
    auto r = t.attendance.byPointer(*pointer);
    if (!r) return std::nullopt;
    // The stream goes on after the record asked for.
    t.streamPointer = static_cast<std::uint16_t>((*pointer + 1u) % t.attendance.ringSize());
    return "41" + *r;
  });
  setHandler("42", [](SimTerminal& t, std::string_view data) -> std::optional<std::string> {
    auto start = hex4ToU16(data.substr(0, std::min<std::size_t>(4, data.size())));
    auto next = hex4ToU16(data.size() >= 8 ? data.substr(4, 4) : std::string_view{});
    if (data.size() != 8 || !start || !next) return std::nullopt;
    t.streaming = false;
    if (!t.attendance.acknowledgeRun(*start, *next)) return std::nullopt;
    return std::string();
  });
}

std::uint8_t SimTerminal::peek(std::uint32_t address) const {
  auto it = memory_.find(address & 0xFFFFFF);
  return it == memory_.end() ? 0xFF : it->second;
}

void SimTerminal::poke(std::uint32_t address, std::uint8_t value) { memory_[address & 0xFFFFFF] = value; }

std::uint32_t SimTerminal::configBlockAddress() const {
  if (isModel(model_, "LX-P1") || isModel(model_, "LX-K3")) return 0x23FC00;  // 2A block FF index 00
  if (isModel(model_, "LX-P2")) return 0x47FC00;
  if (isModel(model_, "LX-K2") || isModel(model_, "LX-K1")) return 0x27FC00;
  if (isModel(model_, "LX-K4")) return 0x800000;
  if (isModel(model_, "LX-K5")) return 0x87FC00;
  return 0x47FC00;
}

std::tm SimTerminal::clockTime() const {
  std::time_t t = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now() + clockOffset);
  std::tm tm{};
  localtime_r(&t, &tm);
  return tm;
}

std::optional<std::string> SimTerminal::handle(std::string_view request) {
  // SOH a a STX c c data ETX check CR
  if (request.size() < 9 || request[0] != SOH || request[3] != STX || request.back() != CR ||
      request[request.size() - 3] != ETX)
    return std::nullopt;
  std::string_view code = request.substr(4, 2);
  // The streaming resynchronisation request "41" comes with a plain-XOR check byte.
  auto check = static_cast<std::uint8_t>(request[request.size() - 2]);
  bool checked = plainXor ? check == xorCheckByte(request)
                          : check == mainCheckByte(request) || (code == "41" && check == xorCheckByte(request));
  if (!checked) return std::nullopt;
  if (hexPairAt(request, 1) != static_cast<int>(address_)) return std::nullopt;

  std::string_view data = request.substr(6, request.size() - 9);
  auto it = handlers_.find(code);
  if (it == handlers_.end()) return nakFrame(address_);
  unsigned answeringAddress = address_;  // a reset may move the terminal to a new address
  std::optional<std::string> replyData = it->second(*this, data);
  if (!replyData) return nakFrame(answeringAddress);
  if (replyData->empty()) return ackFrame(answeringAddress);
  std::string reply = dataFrame(answeringAddress, *replyData);
  if (plainXor) sealXor(reply);
  return reply;
}

void SimTerminal::installBasicCommands() {
  setHandler("28", [](SimTerminal& t, std::string_view data) -> std::optional<std::string> {
    if (!data.empty()) return std::nullopt;
    std::tm tm = t.clockTime();
    char buf[64];
    std::snprintf(buf, sizeof buf, "28%04d%02d%02d%02d%02d%02d", tm.tm_year + 1900, tm.tm_mon + 1,
                  tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
    return std::string(buf);
  });
  setHandler("29", [](SimTerminal& t, std::string_view data) -> std::optional<std::string> {
    if (data.size() != 14 || !allDigits(data)) return std::nullopt;
    std::tm tm{};
    tm.tm_year = number(data.substr(0, 4)) - 1900;
    tm.tm_mon = number(data.substr(4, 2)) - 1;
    tm.tm_mday = number(data.substr(6, 2));
    tm.tm_hour = number(data.substr(8, 2));
    tm.tm_min = number(data.substr(10, 2));
    tm.tm_sec = number(data.substr(12, 2));
    tm.tm_isdst = -1;
    std::time_t wanted = std::mktime(&tm);
    if (wanted == -1) return std::nullopt;
    t.clockOffset = std::chrono::seconds(wanted - std::time(nullptr));
    return std::string();
  });
  setHandler("30", [](SimTerminal& t, std::string_view data) -> std::optional<std::string> {
    if (!data.empty()) return std::nullopt;
    ++t.resets;
    // The restart takes the line address from the configuration block; the
    // acknowledgement still goes out at the old address.
    t.address_ = t.peek(t.configBlockAddress());
    return std::string();
  });
  setHandler("31", [](SimTerminal& t, std::string_view data) -> std::optional<std::string> {
    if (!data.empty()) return std::nullopt;
    ++t.defaultResets;
    unsigned address = t.address_;
    unsigned speed = t.speedIndex();
    t.memory_.clear();
    t.poke(t.configBlockAddress(), static_cast<std::uint8_t>(address));
    t.setSpeedIndex(speed);
    installParameterMemory(t);  // the factory parameters come back too
    t.tables.clear();           // and the tables are gone
    return std::string();
  });
  setHandler("34", [](SimTerminal& t, std::string_view data) -> std::optional<std::string> {
    if (data.empty()) return "34" + hexText(t.firmwareVersion, 16);
    if (data == "01" || data == "02") {
      const auto& v = t.readerVersion[data[1] - '1'];
      if (!v) return std::nullopt;
      return "34" + std::string(data) + hexText(*v, 16);
    }
    return std::nullopt;
  });
  setHandler("36", [](SimTerminal& t, std::string_view data) -> std::optional<std::string> {
    if (!data.empty()) return std::nullopt;
    return "36" + byteToHex(t.status1) + byteToHex(t.status2);
  });
  setHandler("37", [](SimTerminal& t, std::string_view data) -> std::optional<std::string> {
    int channel = hexPairAt(data, 0);
    int action = hexPairAt(data, 2);
    if (data.size() != 4 || channel < 1 || channel > 4 || action < 0) return std::nullopt;
    t.outputs.emplace_back(channel, action);
    return std::string();
  });
  setHandler("04", [](SimTerminal& t, std::string_view data) -> std::optional<std::string> {
    if (!data.empty()) return std::nullopt;
    if (t.pollEvents.empty()) return "04" + byteToHex(t.idleStatus);
    PollEvent e = t.pollEvents.front();
    t.pollEvents.pop_front();
    std::string reply = "04" + byteToHex(e.status);
    if (e.status & 0x01) {
      reply += byteToHex(static_cast<std::uint8_t>(e.key));
      reply += byteToHex(static_cast<std::uint8_t>(e.text.size()));
      reply += bytesToHex(e.text);
    }
    return reply;
  });
  setHandler("05", [](SimTerminal& t, std::string_view data) -> std::optional<std::string> {
    int c = hexPairAt(data, 0);
    if (data.size() != 2 || c < 0) return std::nullopt;
    t.pollCharacters += static_cast<char>(c);
    return std::string();
  });
  for (const char* code : {"2A", "2C", "2D"})
    setHandler(code, [code = std::string(code)](SimTerminal& t, std::string_view data) {
      return t.memoryRead(code, data);
    });
  for (const char* code : {"2B", "2E"})
    setHandler(code, [code = std::string(code)](SimTerminal& t, std::string_view data) {
      return t.memoryWrite(code, data);
    });
}

namespace {

// Block form: block and index address one 4-byte word of an area.
std::optional<std::uint32_t> blockAddress(std::string_view code, int block, int index) {
  std::uint32_t base;
  if (code == "2C") base = 0x000000;
  else if (code == "2A" || code == "2B") base = 0x200000;
  else base = 0x240000;  // 2D / 2E
  return base + static_cast<std::uint32_t>(block) * 1024 + static_cast<std::uint32_t>(index) * 4;
}

}  // namespace

std::optional<std::string> SimTerminal::memoryRead(std::string_view code, std::string_view data) {
  std::uint32_t address;
  std::string echo;
  if (data.size() == 4) {
    int block = hexPairAt(data, 0), index = hexPairAt(data, 2);
    if (block < 0 || index < 0) return std::nullopt;
    address = *blockAddress(code, block, index);
  } else if (data.size() == 6 && code == "2D") {
    auto page = hex4ToU16(data);
    int offset = hexPairAt(data, 4);
    if (!page || offset < 0) return std::nullopt;
    address = static_cast<std::uint32_t>(*page) << 8 | static_cast<std::uint32_t>(offset);
  } else {
    return std::nullopt;
  }
  std::string echoed(data);
  if (wrongEchoes > 0) {
    // A reply to some earlier request: its index (block form) or offset
    // (address form) is not the one asked for.
    --wrongEchoes;
    std::size_t at = echoed.size() - 2;
    echoed.replace(at, 2, byteToHex(static_cast<std::uint8_t>(hexPairAt(echoed, at) + 4)));
  }
  std::string reply = std::string(code) + echoed;
  for (std::uint32_t i = 0; i < 4; ++i) reply += byteToHex(peek(address + i));
  return reply;
}

std::optional<std::string> SimTerminal::memoryWrite(std::string_view code, std::string_view data) {
  std::uint32_t address;
  std::string_view bytes;
  if (data.size() == 12) {
    int block = hexPairAt(data, 0), index = hexPairAt(data, 2);
    if (block < 0 || index < 0) return std::nullopt;
    address = *blockAddress(code, block, index);
    bytes = data.substr(4);
  } else if (data.size() == 14 && code == "2E") {
    auto page = hex4ToU16(data);
    int offset = hexPairAt(data, 4);
    if (!page || offset < 0) return std::nullopt;
    address = static_cast<std::uint32_t>(*page) << 8 | static_cast<std::uint32_t>(offset);
    bytes = data.substr(6);
  } else {
    return std::nullopt;
  }
  std::uint8_t value[4];
  for (std::size_t i = 0; i < 4; ++i) {
    int b = hexPairAt(bytes, 2 * i);
    if (b < 0) return std::nullopt;
    value[i] = static_cast<std::uint8_t>(b);
  }
  for (std::uint32_t i = 0; i < 4; ++i) poke(address + i, value[i]);
  return std::string();
}

}  // namespace cfg::sim
