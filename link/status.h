// Terminal status (36): two status bytes, shown as 16 labelled check boxes.
//
// Reply: SOH a a STX "36" first(2) second(2) ETX check CR, 13 bytes. The
// display has two columns, the first byte on the left and the second on the
// right, bit 7 at the top down to bit 0. Labels depend on the model; a bit a
// model does not use reads "n.u.", and a model outside the table (a
// handheld) has no status display at all.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "link/link.h"
#include "link/prompt.h"
#include "link/worker.h"

namespace cfg {

inline constexpr const char* kUnusedBit = "n.u.";

struct StatusBytes {
  std::uint8_t first = 0;
  std::uint8_t second = 0;
  bool operator==(const StatusBytes&) const = default;
};

// Labels indexed by bit number (0-7) for each byte.
struct StatusLabels {
  std::array<std::string, 8> first;
  std::array<std::string, 8> second;
};

// Empty for a model without a status display.
std::optional<StatusLabels> statusLabels(std::string_view model);

// One check box of the display.
struct StatusBox {
  std::string label;
  bool checked = false;
};
// The 16 boxes in display order: [column][row], column 0 the first byte,
// row 0 at the top (bit 7) down to row 7 (bit 0).
using StatusDisplay = std::array<std::array<StatusBox, 8>, 2>;
StatusDisplay statusDisplay(const StatusLabels& labels, StatusBytes bytes);

// The status bytes of an accepted 36 reply of `length` bytes; empty when the
// reply does not hold them.
std::optional<StatusBytes> statusFromReply(std::string_view reply, int length);

// The progress text the status worker writes ("%02X%02X") and its decoding.
std::string statusProgressText(StatusBytes bytes);
std::optional<StatusBytes> parseStatusText(std::string_view text);

// One 36. False when the transaction failed; `bytes` is empty when the
// answer did not hold two status bytes.
bool readStatus(Link& link, const Messages& messages, std::optional<StatusBytes>& bytes);

// Worker routine of "Lettura stato terminale": 36 and refresh with the
// status text, every 25 ms until stopped; a failed 36 ends it.
void statusWorker(Worker& worker, Link& link, const Messages& messages);

}  // namespace cfg
