#include "link/status.h"

#include "link/hex.h"
#include "link/link_config.h"
#include "link/transaction.h"

namespace cfg {

namespace {

struct Label {
  int bit;
  const char* text;
};

using Bits = std::initializer_list<Label>;

std::array<std::string, 8> labelsOf(Bits listed) {
  std::array<std::string, 8> labels;
  labels.fill(kUnusedBit);
  for (const Label& l : listed) labels[static_cast<std::size_t>(l.bit)] = l.text;
  return labels;
}

// Second byte of LX-P1, LX-K2, LX-K4, LX-K1, LX-K5: two outputs, two inputs.
const Bits kTwoPorts = {{5, "Stato output 2"}, {4, "Stato output 1"}, {1, "Stato input 2"}, {0, "Stato input 1"}};
// Second byte of LX-P2 and LX-K3: four outputs, four inputs.
const Bits kFourPorts = {{7, "Stato output 4"}, {6, "Stato output 3"}, {5, "Stato output 2"},
                         {4, "Stato output 1"}, {3, "Stato input 4"},  {2, "Stato input 3"},
                         {1, "Stato input 2"},  {0, "Stato input 1"}};

}  // namespace

std::optional<StatusLabels> statusLabels(std::string_view model) {
  if (sameModel(model, "LX-P1"))
    return StatusLabels{labelsOf({{6, "Checksum verify FAIL"}, {5, "Registrazioni presenti"}, {4, "Fuori servizio"}}),
                        labelsOf(kTwoPorts)};
  if (sameModel(model, "LX-P2"))
    return StatusLabels{labelsOf({{7, "Alimentazione 230V"},
                                  {6, "Checksum verify FAIL"},
                                  {5, "Registrazioni presenti"},
                                  {4, "Fuori servizio"}}),
                        labelsOf(kFourPorts)};
  if (sameModel(model, "LX-K3"))
    return StatusLabels{labelsOf({{6, "Checksum verify FAIL"}, {5, "Registrazioni presenti"}, {4, "Fuori servizio"}}),
                        labelsOf(kFourPorts)};
  if (sameModel(model, "LX-K2"))
    return StatusLabels{labelsOf({{7, "Alimentazione 12V"},
                                  {6, "Checksum verify FAIL"},
                                  {5, "Registrazioni presenti"},
                                  {4, "Fuori servizio"}}),
                        labelsOf(kTwoPorts)};
  if (sameModel(model, "LX-K4"))
    return StatusLabels{labelsOf({{7, "Alimentazione 12V"},
                                  {6, "Checksum verify FAIL"},
                                  {5, "Registrazioni presenti"},
                                  {4, "Fuori servizio"},
                                  {3, "Errore fingerprint"},
                                  {2, "Buffer reg. full"}}),
                        labelsOf(kTwoPorts)};
  if (sameModel(model, "LX-K1"))
    return StatusLabels{labelsOf({{7, "Alimentazione 12V"}, {6, "Checksum verify FAIL"}}), labelsOf(kTwoPorts)};
  if (sameModel(model, "LX-K5"))
    return StatusLabels{labelsOf({{7, "Alimentazione 230V"},
                                  {6, "Checksum verify FAIL"},
                                  {5, "Registrazioni presenti"},
                                  {4, "Fuori servizio"}}),
                        labelsOf(kTwoPorts)};
  return std::nullopt;
}

StatusDisplay statusDisplay(const StatusLabels& labels, StatusBytes bytes) {
  StatusDisplay display;
  for (std::size_t row = 0; row < 8; ++row) {
    std::size_t bit = 7 - row;
    display[0][row] = {labels.first[bit], ((bytes.first >> bit) & 1) != 0};
    display[1][row] = {labels.second[bit], ((bytes.second >> bit) & 1) != 0};
  }
  return display;
}

std::optional<StatusBytes> statusFromReply(std::string_view reply, int length) {
  // SOH a a STX "36" first(2) second(2) ETX check CR
  if (length < 13 || reply.size() < 13 || reply.compare(4, 2, "36") != 0) return std::nullopt;
  int first = hexPairAt(reply, 6);
  int second = hexPairAt(reply, 8);
  if (first < 0 || second < 0) return std::nullopt;
  return StatusBytes{static_cast<std::uint8_t>(first), static_cast<std::uint8_t>(second)};
}

std::string statusProgressText(StatusBytes bytes) { return byteToHex(bytes.first) + byteToHex(bytes.second); }

std::optional<StatusBytes> parseStatusText(std::string_view text) {
  int first = hexPairAt(text, 0);
  int second = hexPairAt(text, 2);
  if (text.size() != 4 || first < 0 || second < 0) return std::nullopt;
  return StatusBytes{static_cast<std::uint8_t>(first), static_cast<std::uint8_t>(second)};
}

bool readStatus(Link& link, const Messages& messages, std::optional<StatusBytes>& bytes) {
  bytes.reset();
  std::string reply;
  TxResult r = exchange(link, messages, "36", reply, 64, 200, 13);
  if (!r) return false;
  bytes = statusFromReply(reply, r.length);
  return true;
}

void statusWorker(Worker& worker, Link& link, const Messages& messages) {
  while (!worker.stopRequested()) {
    std::optional<StatusBytes> bytes;
    if (!readStatus(link, messages, bytes)) return;
    if (bytes) worker.refresh(statusProgressText(*bytes));
    if (worker.pause(25)) return;
  }
}

}  // namespace cfg
