// Polling: answering a terminal that reports events (a badge read at a
// turnstile) and waits for the PC's verdict.
//
// 04 reply: SOH a a STX "04" S(2) [K(2) N(2) N bytes(2 each)] ETX check CR.
// S is the event status; when its bit 0 is set, K is a character code and
// the N bytes are the received text. The worker answers a read badge with
// the selected reply character (05) unless the terminal is busy (bit 4), and
// sends a command character chosen with a button when it is not busy.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "link/link.h"
#include "link/prompt.h"
#include "link/worker.h"

namespace cfg {

// Labels of the eight boxes of S, by bit number.
inline constexpr std::array<const char*, 8> kPollBitLabels = {
    "Titolo letto", "NON TRANSITATO", "Posizione OPEN", "Posizione NORM.",
    "Busy",         "Allarme sw",     "Allarme hw",     "Ready"};
// The reply list; an entry's first character is the reply character.
inline constexpr std::array<const char*, 5> kPollReplies = {
    "0: Titolo NON valido", "1: Titolo regolare", "2: Titolo ridotto/omaggio", "3: Persona pericolosa",
    "4: Titolo valido, ma ..."};
inline constexpr std::uint8_t kPollDataRead = 0x01;
inline constexpr std::uint8_t kPollBusy = 0x10;
// Received text stays shown this long after the last event that carried one.
inline constexpr int kPollTextHoldMs = 1500;

enum class PollButton { Entry, Exit, Open, Close, Enable, Disable };
// "ENTRY", "EXIT", "OPEN", "CLOSE", "ENAB", "DISAB".
const char* pollButtonText(PollButton button);
// ENTRY gives "E" with reply character '2', "F" with '3', otherwise "A";
// EXIT "B", OPEN "C", CLOSE "D", ENAB "G", DISAB "H".
char pollCommandCharacter(PollButton button, char replyCharacter);

// What the dialog and the polling worker share: both are atomics, written by
// the dialog and read (the pending command also cleared) by the worker.
struct PollControl {
  std::atomic<char> replyCharacter{'0'};
  std::atomic<char> pendingCommand{0};  // 0: none pending

  // Selects entry `index` of kPollReplies.
  void selectReply(std::size_t index);
  // Sets the button's command character, only when none is pending; true when set.
  bool press(PollButton button);
};

// One 04 reply, decoded only as far as it goes: text only when the reply
// holds K and N, and at most min(N, (length - 15) / 2) bytes of it.
struct PollReply {
  std::uint8_t status = 0;
  std::optional<std::string> received;  // K + " - " + the received bytes
};
std::optional<PollReply> parsePollReply(std::string_view reply, int length);

// The progress text of the worker: "%02X" of S followed by the received-data
// text, and its decoding for the dialog.
struct PollDisplay {
  std::uint8_t status = 0;
  std::string received;
};
std::string pollProgressText(const PollDisplay& display);
std::optional<PollDisplay> parsePollProgress(std::string_view text);

// Worker routine of "Polling Terminale": 04, refresh, the automatic reply,
// the pending command, 25 ms, again until stopped; a failed 04 ends it.
void pollingWorker(Worker& worker, Link& link, const Messages& messages, PollControl& control);

}  // namespace cfg
