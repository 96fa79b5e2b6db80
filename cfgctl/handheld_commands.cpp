#include "cfgctl/handheld_commands.h"

#include <cerrno>
#include <cstdlib>
#include <ostream>

#include "app/text_1252.h"
#include "app/handhelds.h"
#include "app/loading.h"
#include "app/registry.h"
#include "app/registry_edit.h"
#include "app/terminal_lock.h"
#include "cfgctl/cli.h"
#include "cfgctl/cli_support.h"
#include "link/bt_system.h"
#include "link/bt_vendor.h"
#include "link/handheld_connect.h"
#include "link/handheld_scan.h"
#include "link/progress.h"

namespace cfg::cli {

namespace {

const char* const kHandheldsHelp =
    "cfgctl [-C DIR] handhelds usb|bt-system|bt-vendor\n"
    "Searches the USB handhelds (usb) or the Bluetooth ones through the system's\n"
    "Bluetooth stack (bt-system) or the vendor stack (bt-vendor), unlocks each with the plant password of DIR/password.txt\n"
    "(or the default one) and prints one line per handheld: NUMBER, ID, NAME and STATE,\n"
    "separated by tabs. STATE is \"Ok\" (plant password), \"Non configurato\" (default\n"
    "password) or \"Password errata\" (neither; the ID is then \"----\"). Nothing found:\n"
    "\"Nessun terminale USB trovato.\" and exit 1. A handheld is then reached as\n"
    "TERMINAL usb:ID by every command on a terminal, a Bluetooth one as bt:ID (with\n"
    "--stack vendor for the vendor stack; the system stack is the default).\n"
    "Over Bluetooth nothing found is \"Nessun terminale Bluetooth trovato.\" (exit 1); no\n"
    "radio is \"Attenzione: periferica bluetooth non trovata !\" and no search.\n"
    "Set CFG_HID_SIM to the socket termsim printed (\"hid PATH\") to search simulated USB\n"
    "handhelds, CFG_BT_SIM to its \"bt PATH\" for simulated Bluetooth ones.\n";

bool requirePlantPassword(const ProcessState& state, std::ostream& err) {
  if (cfg::plantPasswordSet(state)) return true;
  err << kNoPlantPassword << "\n"
      << "cfgctl: nessuna password d'impianto in password.txt: impostarla in cfgtool (Password HND).\n";
  return false;
}

}  // namespace

std::optional<TerminalName> parseTerminalName(const std::string& text) {
  TerminalName name;
  bool usb = text.rfind("usb:", 0) == 0;
  if (usb || text.rfind("bt:", 0) == 0) {
    name.search = usb ? HandheldSearch::Usb : HandheldSearch::BtSystem;
    name.handheldId = text.substr(usb ? 4 : 3);
    if (name.handheldId.size() != kHandheldIdLength) return std::nullopt;
    for (char c : name.handheldId)
      if (static_cast<unsigned char>(c) < 0x20) return std::nullopt;
    return name;
  }
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) return std::nullopt;
  errno = 0;
  char* end = nullptr;
  long number = std::strtol(text.c_str(), &end, 10);
  if (*end != '\0' || errno != 0 || number < 1 || number > 9999) return std::nullopt;
  name.number = static_cast<unsigned>(number);
  return name;
}

bool searchUsbHandhelds(ProcessState& state, const Messages& messages, const std::atomic<bool>* interrupted) {
  // No box may wait for anyone: "nothing found" is said by the caller.
  MessageFlagsGuard quiet(messages.flags, false, false);
  UsbScanJob job{hidBackend(), messages, state.plantPassword, state.handhelds};
  state.handheldOrigin = HandheldListOrigin::Usb;
  // The scan ends before its next device when interrupted.
  return runInterruptible([&](Worker& w) { scanUsbHandhelds(w, job); }, messages, interrupted) == WorkerEnd::Done;
}

bool searchBtSystemHandhelds(ProcessState& state, const Messages& messages, const std::atomic<bool>* interrupted) {
  // The scan's own warnings are printed; no probe asks anyone to retry.
  MessageFlagsGuard quiet(messages.flags, true, false);
  BtSystemScanJob job{btSystemStack(), messages, state.plantPassword, state.handhelds};
  state.handheldOrigin = HandheldListOrigin::Bluetooth;
  return runInterruptible([&](Worker& w) { scanBtSystemHandhelds(w, job); }, messages, interrupted) ==
         WorkerEnd::Done;
}

bool searchBtVendorHandhelds(ProcessState& state, const Messages& messages, const std::atomic<bool>* interrupted) {
  MessageFlagsGuard quiet(messages.flags, true, false);
  BtVendorScanJob job{messages, state.plantPassword, state.handhelds};
  state.handheldOrigin = HandheldListOrigin::Bluetooth;
  return runInterruptible([&](Worker& w) { scanBtVendorHandhelds(w, job); }, messages, interrupted) ==
         WorkerEnd::Done;
}

namespace {

bool searchHandhelds(HandheldSearch search, ProcessState& state, const Messages& messages,
                     const std::atomic<bool>* interrupted) {
  switch (search) {
    case HandheldSearch::Usb:
      return searchUsbHandhelds(state, messages, interrupted);
    case HandheldSearch::BtSystem:
      return searchBtSystemHandhelds(state, messages, interrupted);
    case HandheldSearch::BtVendor:
      return searchBtVendorHandhelds(state, messages, interrupted);
  }
  return false;
}

const char* searchNoun(HandheldSearch search) {
  return search == HandheldSearch::Usb ? "USB" : "Bluetooth";
}

const char* searchCommand(HandheldSearch search) {
  switch (search) {
    case HandheldSearch::Usb:
      return "usb";
    case HandheldSearch::BtSystem:
      return "bt-system";
    case HandheldSearch::BtVendor:
      break;
  }
  return "bt-vendor";
}

}  // namespace

int resolveTerminal(const TerminalName& name, ProcessState& state, const Messages& messages,
                    const FileReport& registryFile, TerminalTarget& target, std::ostream& err,
                    const std::atomic<bool>* interrupted) {
  if (name.handheldId.empty()) {
    // The first row with the number, as the program's selection finds it.
    std::optional<std::size_t> row = rowOfNumber(state.registry, name.number);
    if (!row) {
      err << "cfgctl: il terminale " << name.number << " non e` in " << printable(registryFile.path) << ".\n";
      return kSetup;
    }
    if (!fillLinkFromRow(state.registry, *row, target.link, messages)) return kSetup;
    target.lockPath = terminalLockPath(state.workingDirectory, name.number);
    target.handheld = false;
    return kOk;
  }
  if (!requirePlantPassword(state, err)) return kSetup;
  if (!searchHandhelds(name.search, state, messages, interrupted)) {
    err << "cfgctl: interrotto durante la ricerca dei terminali " << searchNoun(name.search) << ".\n";
    return kFailed;
  }
  const HandheldEntry* entry = state.handhelds.findId(name.handheldId);
  if (!entry) {
    err << "cfgctl: nessun terminale " << searchNoun(name.search) << " con codice "
        << printable(name.handheldId, false) << " (" << state.handhelds.size() << " trovati; \"cfgctl handhelds "
        << searchCommand(name.search) << "\" li elenca).\n";
    std::size_t refused = 0;
    for (const auto& e : state.handhelds.entries()) refused += e.passwordState == PasswordState::Neither;
    if (refused)
      err << "cfgctl: " << refused
          << " di essi rifiutano sia la password d'impianto sia quella iniziale: il loro codice non si puo` "
             "leggere.\n";
    return kSetup;
  }
  target.link = linkConfigOf(*entry);
  target.lockPath = handheldLockPath(state.workingDirectory, entry->id);
  target.handheld = true;
  return kOk;
}

int openTarget(Link& link, const ProcessState& state, const Messages& messages, const PortMap& ports,
               const TerminalTarget& target, std::ostream& err) {
  if (!target.handheld) return link.open(messages, ports) ? kOk : kSetup;
  HandheldConnectOptions options;
  options.plantPassword = state.plantPassword;
  LinkConfig config = link.config;
  switch (connectHandheld(link, config, messages, ports, options).outcome) {
    case HandheldConnectResult::Outcome::Unlocked:
      return kOk;
    case HandheldConnectResult::Outcome::OpenFailed:
      return kSetup;  // the Link said why
    case HandheldConnectResult::Outcome::Stopped:  // no pause is given: cannot happen
    case HandheldConnectResult::Outcome::Refused:
      break;
  }
  err << "cfgctl: il terminale " << printable(config.handheldId, false)
      << " rifiuta la password d'impianto e quella iniziale.\n";
  return kSetup;
}

bool isHandheldsCommand(const std::string& name) { return name == "handhelds"; }

std::string handheldsHelp() { return kHandheldsHelp; }

int runHandhelds(const std::vector<std::string>& words, const std::string& directory, std::ostream& out,
                 std::ostream& err, const std::atomic<bool>* interrupted) {
  std::optional<HandheldSearch> search;
  if (words.size() == 2 && words[1] == "usb") search = HandheldSearch::Usb;
  if (words.size() == 2 && words[1] == "bt-system") search = HandheldSearch::BtSystem;
  if (words.size() == 2 && words[1] == "bt-vendor") search = HandheldSearch::BtVendor;
  if (!search) {
    err << "cfgctl: uso: handhelds usb|bt-system|bt-vendor\n" << kHandheldsHelp;
    return kUsage;
  }
  CliPrompt prompt(out, err, false);
  Messages messages(prompt);
  ProcessState state;
  if (!loadUnattended(pathFromUtf8(directory), state, messages, err)) return kSetup;
  if (!requirePlantPassword(state, err)) return kSetup;
  if (!searchHandhelds(*search, state, messages, interrupted)) {
    err << "cfgctl: interrotto.\n";
    return kFailed;
  }
  if (state.handhelds.empty()) {
    // Over Bluetooth a missing radio or a failed inquiry was said already.
    err << (*search == HandheldSearch::Usb ? kNoUsbHandheld : kNoBtHandheld) << "\n";
    return kFailed;
  }
  for (const auto& e : state.handhelds.entries()) {
    std::string id = e.passwordState == PasswordState::Neither ? "----" : e.id;
    out << e.number << '\t' << printable(id, false) << '\t' << printable(e.name, false) << '\t'
        << passwordStateText(e.passwordState) << "\n";
  }
  return kOk;
}

}  // namespace cfg::cli
