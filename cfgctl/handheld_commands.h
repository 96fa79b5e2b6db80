// cfgctl and the handhelds: the USB search, and TERMINAL as a handheld.
//
// TERMINAL is a registry number ("12") or a handheld's id over USB
// ("usb:H001"). One function turns it into the Link to open and the lock to
// hold, so every command on a terminal reaches a handheld the same way.
#pragma once

#include <atomic>
#include <filesystem>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "app/process_state.h"
#include "link/link_config.h"

namespace cfg::cli {

// Which search finds a handheld named by its id.
enum class HandheldSearch { Usb, BtSystem, BtVendor };

struct TerminalName {
  unsigned number = 0;     // a registry terminal, when handheldId is empty
  std::string handheldId;  // "usb:ID" or "bt:ID": the handheld's 4-character id
  HandheldSearch search = HandheldSearch::Usb;
};

// "1"-"9999", or "usb:" or "bt:" with 4 characters; nothing when it is none
// of them. A "bt:" name is searched through the system stack.
std::optional<TerminalName> parseTerminalName(const std::string& text);

struct TerminalTarget {
  LinkConfig link;
  std::filesystem::path lockPath;
  bool handheld = false;
};

// Finds the terminal (the first registry row with the number, or the USB
// handheld with the id after a search) and fills `target`. Returns 0, or
// the exit code after saying on `err` what is wrong (unknown terminal, a
// modem row, no plant password, interrupted).
int resolveTerminal(const TerminalName& name, ProcessState& state, const Messages& messages,
                    const FileReport& registryFile, TerminalTarget& target, std::ostream& err,
                    const std::atomic<bool>* interrupted);

// Opens the Link as link.config stands (the target's, possibly adjusted);
// a handheld is opened and unlocked through connectHandheld (the plant
// password, then the factory one). Returns 0, or the exit code after saying
// why; nothing stays open on failure.
int openTarget(Link& link, const ProcessState& state, const Messages& messages, const PortMap& ports,
               const TerminalTarget& target, std::ostream& err);

// The USB search into state.handhelds, without any box; false when interrupted.
bool searchUsbHandhelds(ProcessState& state, const Messages& messages, const std::atomic<bool>* interrupted);
// The Bluetooth search of the system stack into state.handhelds; its
// warnings and errors are printed, no box waits. False when interrupted.
bool searchBtSystemHandhelds(ProcessState& state, const Messages& messages, const std::atomic<bool>* interrupted);
// The same through the vendor stack (btbridge).
bool searchBtVendorHandhelds(ProcessState& state, const Messages& messages, const std::atomic<bool>* interrupted);

bool isHandheldsCommand(const std::string& name);
std::string handheldsHelp();
// "handhelds usb|bt-system|bt-vendor": one line per handheld, NUMBER TAB ID
// TAB NAME TAB STATE.
int runHandhelds(const std::vector<std::string>& words, const std::string& directory, std::ostream& out,
                 std::ostream& err, const std::atomic<bool>* interrupted);

}  // namespace cfg::cli
