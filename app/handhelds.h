// The plant password and the handheld lists as the window uses them: the
// password's entry rule and file, and what a list dialog shows of the
// handheld list (its kind of search, its order, its rows).
//
// The plant password is eight decimal digits shared by the plant's
// handhelds. While it is the factory password 58203716 no plant password
// is set, and the handheld lists are refused.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "app/process_state.h"

namespace cfg {

inline constexpr const char* kNoPlantPassword = "Errore: impostare password !";
inline constexpr const char* kInvalidPlantPassword = "Errore: password non valida (8 caratteri numerici).";
inline constexpr std::size_t kPlantPasswordLength = 8;

// A plant password other than the factory one is set.
bool plantPasswordSet(const ProcessState& state);

// What the entry field shows: the current password when it is digits only,
// otherwise nothing.
std::string shownPlantPassword(std::string_view current);

// The typed text is a plant password: its leading run of digits is exactly
// eight characters long, and nothing follows it.
bool validPlantPassword(std::string_view text);

// "&Conferma" of "Password HND": a valid text becomes the plant password and
// password.txt is written (atomically; a failure is shown and the password
// is still used until the program ends). An invalid one shows "Errore:
// password non valida (8 caratteri numerici)." and changes nothing: false.
bool confirmPlantPassword(ProcessState& state, const Messages& messages, std::string_view text);

// Opening a list dialog of this kind (Usb or Bluetooth): a list that the
// other kind of search filled is emptied; two entries or more are sorted by id.
void prepareHandheldList(ProcessState& state, HandheldListOrigin kind);

// The texts of one list row: USB id, name, state; Bluetooth id, name,
// address text, service name, state.
std::vector<std::string> handheldRowTexts(const HandheldEntry& entry, HandheldListOrigin kind);

}  // namespace cfg
