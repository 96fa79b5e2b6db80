#include "app/registry_edit.h"

#include <algorithm>
#include <cstdio>

#include "link/commands.h"

namespace cfg {

namespace {

template <std::size_t N>
std::string listed(const std::array<const char*, N>& list, std::string_view text) {
  for (const char* entry : list)
    if (text == entry) return entry;
  return {};
}

std::string formatted(const char* format, unsigned value) {
  char text[16];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

// Empty gives 0; the field holds at most 5 digits, kept within a port number.
std::uint16_t tcpPortOf(std::string_view text) {
  auto port = parseDecimal(text);
  return static_cast<std::uint16_t>(std::min<unsigned long>(port.value_or(0), 65535));
}

}  // namespace

std::string cardSpeed(std::string_view rate) {
  while (!rate.empty() && rate.front() == ' ') rate.remove_prefix(1);
  for (const char* entry : kCardSpeeds) {
    std::string_view e(entry);
    while (!e.empty() && e.front() == ' ') e.remove_prefix(1);
    if (!rate.empty() && rate == e) return entry;
  }
  return {};
}

bool isCardPort(std::string_view port) { return !listed(kCardPorts, port).empty(); }

bool allowsContinuousDownload(std::string_view model) { return model == "LX-P2" || model == "LX-K5"; }

std::optional<std::size_t> rowOfNumber(const Registry& registry, unsigned number) {
  for (std::size_t i = 0; i < registry.rows.size(); ++i)
    if (registry.rows[i].number == number) return i;
  return std::nullopt;
}

namespace {

std::optional<unsigned> currentNumber(const Registry& registry) {
  if (registry.current < 0 || static_cast<std::size_t>(registry.current) >= registry.rows.size())
    return std::nullopt;
  return registry.rows[registry.current].number;
}

void findCurrent(Registry& registry, std::optional<unsigned> number) {
  std::optional<std::size_t> row = number ? rowOfNumber(registry, *number) : std::nullopt;
  registry.current = row ? static_cast<int>(*row) : 0;
}

}  // namespace

void sortKeepingCurrent(Registry& registry) {
  auto number = currentNumber(registry);
  sortRegistryByNumber(registry);
  findCurrent(registry, number);
}

void reloadKeepingCurrent(const FileContext& ctx, Registry& registry) {
  auto number = currentNumber(registry);
  loadRegistry(ctx, registry);
  findCurrent(registry, number);
}

std::optional<std::size_t> deleteRow(Registry& registry, std::size_t index) {
  if (index >= registry.rows.size()) return std::nullopt;
  registry.rows.erase(registry.rows.begin() + static_cast<std::ptrdiff_t>(index));
  if (registry.current > static_cast<int>(index)) --registry.current;
  if (registry.rows.empty()) {
    registry.current = 0;
    return std::nullopt;
  }
  registry.current = std::min(registry.current, static_cast<int>(registry.rows.size()) - 1);
  return std::min(index, registry.rows.size() - 1);
}

CardFields newCard() {
  CardFields card;
  card.model = kCardModels[0];
  card.port = kCardPorts[0];
  card.speed = kCardSpeeds[0];
  return card;
}

CardFields cardFromRow(const TerminalRecord& row) {
  CardFields card;
  card.number = formatted("%04u", row.number);
  card.address = formatted("%03u", row.address);
  card.description = row.description;
  card.model = listed(kCardModels, row.model);
  card.port = listed(kCardPorts, row.port);
  card.speed = listed(kCardSpeeds, row.speed);
  card.rs485 = row.rs485;
  card.echo = row.echo;
  card.modem = row.modem;
  card.modemType = row.modemType < kModemTypes.size() ? row.modemType : 0;
  card.phoneNumber = row.phoneNumber;
  card.modemInit = row.modemInit;
  card.continuousModemDownload = allowsContinuousDownload(row.model) && row.continuousModemDownload;
  card.tcp = row.tcp;
  card.ip = row.ip;
  card.tcpPort = formatted("%u", row.tcpPort);
  return card;
}

CardError storeCard(const CardFields& card, TerminalRecord& row, const Messages& messages) {
  auto number = parseDecimal(card.number);
  if (!number || *number < 1 || *number > 9999) {
    messages.error(kBadNumberMessage);
    return CardError::Number;
  }
  auto address = parseDecimal(card.address);
  if (!address || *address > 255) {
    messages.error(kBadAddressMessage);
    return CardError::Address;
  }
  row.number = static_cast<std::uint16_t>(*number);
  row.description = card.description.substr(0, 30);
  if (!card.model.empty()) row.model = card.model;
  row.address = static_cast<std::uint16_t>(*address);
  if (!card.port.empty()) row.port = card.port;
  if (!card.speed.empty()) row.speed = card.speed;
  row.rs485 = card.rs485;
  row.echo = card.echo;
  row.modem = card.modem;
  row.modemType = static_cast<std::uint8_t>(std::clamp(card.modemType, 0, static_cast<int>(kModemTypes.size()) - 1));
  row.phoneNumber = card.phoneNumber.substr(0, 15);
  row.modemInit = card.modemInit.substr(0, 99);
  row.continuousModemDownload = allowsContinuousDownload(row.model) && card.continuousModemDownload;
  row.tcp = card.tcp;
  row.ip = card.ip;
  row.tcpPort = tcpPortOf(card.tcpPort);
  return CardError::None;
}

std::string cardInputProblem(const CardFields& card, std::string_view storedModel) {
  auto quoted = [](std::string_view text) { return "\"" + std::string(text) + "\""; };
  if (!card.model.empty() && !isRegistryModel(card.model))
    return "Errore: modello non valido: " + quoted(card.model) + " (LX-K1, LX-K3, LX-K2, LX-K4, LX-P1, LX-P2, LX-K5).";
  if (!card.port.empty() && !isCardPort(card.port))
    return "Errore: porta non valida: " + quoted(card.port) + " (COM1 ... COM8).";
  if (!card.speed.empty() && listed(kCardSpeeds, card.speed).empty())
    return "Errore: velocita` non valida: " + quoted(card.speed) + " (1200, 2400, 4800, 9600, 19200, 38400).";
  if (card.description.size() > 30) return "Errore: riferimento troppo lungo (al massimo 30 caratteri).";
  if (card.phoneNumber.size() > 15) return "Errore: numero di telefono troppo lungo (al massimo 15 caratteri).";
  if (card.modemInit.size() > 99) return "Errore: configurazione del modem troppo lunga (al massimo 99 caratteri).";
  auto port = parseDecimal(card.tcpPort);
  if (!card.tcpPort.empty() && (!port || card.tcpPort.size() > 5 || *port > 65535))
    return "Errore: porta TCP non valida: " + quoted(card.tcpPort) + " (0-65535).";
  std::string_view model = card.model.empty() ? storedModel : std::string_view(card.model);
  if (card.continuousModemDownload && !allowsContinuousDownload(model))
    return "Errore: lo scarico continuo via modem vale solo per LX-P2 e LX-K5.";
  if (card.modem && card.tcp) return "Errore: un terminale si raggiunge via modem o via Ethernet, non in entrambi i modi.";
  return {};
}

void storeDeskReader(const CardFields& card, TerminalRecord& reader) {
  if (!card.port.empty()) reader.port = card.port;
  if (!card.speed.empty()) reader.speed = card.speed;
  reader.rs485 = card.rs485;
  reader.echo = card.echo;
  reader.tcp = card.tcp;
  reader.ip = card.ip;
  reader.tcpPort = tcpPortOf(card.tcpPort);
}

bool roomForAnotherRow(const Registry& registry, const Messages& messages) {
  if (registry.rows.size() < kRegistryCapacity) return true;
  messages.error(kRegistryFullMessage);
  return false;
}

}  // namespace cfg
