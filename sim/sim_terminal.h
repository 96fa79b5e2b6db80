// A simulated fixed terminal: answers request Frames for its address the way
// a real one does. One command table; per-model state (memory image, clock,
// status, reader modules, polling events). Later features add their commands
// to the same table.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/record_store.h"
#include "sim/sim_cards.h"
#include "sim/sim_loader.h"
#include "sim/sim_records.h"

namespace cfg::sim {

// One pending event of a terminal in polling mode.
struct PollEvent {
  std::uint8_t status = 0x81;  // bit 0: a badge was read
  char key = 'T';
  std::string text;
};

class SimTerminal {
 public:
  SimTerminal(std::string model, unsigned address);

  const std::string& model() const { return model_; }
  unsigned address() const { return address_; }

  // Handles one complete request Frame (SOH ... CR). Returns the reply Frame,
  // or nothing when the terminal stays silent (another address, bad check byte).
  std::optional<std::string> handle(std::string_view request);

  // --- state the tests and the demo set and inspect ---
  std::chrono::seconds clockOffset{0};  // terminal clock = PC local time + offset
  std::uint8_t status1 = 0x00;
  std::uint8_t status2 = 0x00;
  std::string firmwareVersion = "FW 1.00 SIM";     // up to 16 characters
  std::optional<std::string> readerVersion[2];      // reader modules 1 and 2, absent when empty
  std::deque<PollEvent> pollEvents;
  std::uint8_t idleStatus = 0x80;                   // polling status when nothing is pending
  std::string pollCharacters;                       // characters received with 05
  std::vector<std::pair<int, int>> outputs;         // (channel, action) of each 37
  int resets = 0;                                   // 30 received
  int defaultResets = 0;                            // 31 received
  int wrongEchoes = 0;                              // the next memory reads echo another index/offset

  // Record memory: attendance ("00"-"03", "35", "3801", streaming "40"-"42"),
  // production ("60"-"63") and canteen ("80"-"83") records.
  RecordStore attendance{30};
  RecordStore production{48};
  RecordStore canteen{78};
  std::uint8_t ringStatus = 1;  // the status "3801" answers with (1 = ring size valid)
  void add(const AttendanceRecord& r);
  void add(const ProductionRecord& r);
  void add(const CanteenRecord& r);

  // Streaming after "40": the terminal sends its unacknowledged attendance
  // records unasked, one every streamGapMs, until "42" closes the run.
  bool streaming = false;
  std::uint16_t streamPointer = 0;
  int streamGapMs = 5;
  std::optional<std::uint16_t> streamSkip;    // leave this record out of the stream, once
  std::optional<std::uint16_t> streamRepeat;  // send this record twice, once
  // The next record Frame to send unasked; nothing when the stream has caught up.
  std::optional<std::string> nextStreamed();

  // Tables sent by the PC, by their write command ("1A", "56", ...), each
  // record as its wire data (sim_tables.h).
  std::map<std::string, std::vector<std::string>> tables;
  // Users it can hold (0: its model's, 5850 on LX-P2 and LX-K5, else 2880);
  // userCountFails refuses "3802" (NAK), as terminals that cannot tell do.
  int userCapacity = 0;
  bool userCountFails = false;

  // A desk card reader (sim_cards.h) checks and seals its Frames with the
  // plain XOR and keeps the cards laid on it.
  bool plainXor = false;
  SimCardReaderState cardReader;

  // The loader "33" starts (firmware download).
  SimLoader loader;

  // Memory image: 24-bit addresses (page << 8 | offset); unwritten bytes read 0xFF.
  std::uint8_t peek(std::uint32_t address) const;
  void poke(std::uint32_t address, std::uint8_t value);
  // Address of the 4-byte block holding this model's line address and speed index.
  std::uint32_t configBlockAddress() const;
  // Speed index 0 = 1200 ... 5 = 38400, as stored in the configuration block.
  unsigned speedIndex() const { return peek(configBlockAddress() + 1); }
  void setSpeedIndex(unsigned index) { poke(configBlockAddress() + 1, static_cast<std::uint8_t>(index)); }

  // Local time of the terminal's clock.
  std::tm clockTime() const;

  // Extension point: a command code ("28", "3A", ...) and its handler. The
  // handler gets the data between the command and ETX and returns the reply
  // data (starting with the command code), "" for ACK, or nothing for NAK.
  using Handler = std::function<std::optional<std::string>(SimTerminal&, std::string_view data)>;
  void setHandler(std::string code, Handler handler) { handlers_[std::move(code)] = std::move(handler); }
  void clearHandlers() { handlers_.clear(); }

 private:
  void installBasicCommands();
  void installRecordCommands();
  std::optional<std::string> memoryRead(std::string_view code, std::string_view data);
  std::optional<std::string> memoryWrite(std::string_view code, std::string_view data);

  std::string model_;
  unsigned address_;
  std::map<std::uint32_t, std::uint8_t> memory_;
  std::map<std::string, Handler, std::less<>> handlers_;
};

// Reply Frames as the terminal writes them.
std::string ackFrame(unsigned address);
std::string nakFrame(unsigned address);
std::string dataFrame(unsigned address, std::string_view data);

// Hexadecimal text of each byte of `text`, blank-padded to `width` bytes first.
std::string hexText(std::string_view text, std::size_t width);

}  // namespace cfg::sim
