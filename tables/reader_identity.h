// The handheld's reader identification: 128 bytes kept in a ring of 32
// slots of 128 bytes at 0x27E000. The slot in force is the lowest whose
// first byte is neither 0x00 nor 0xFF. A new identification goes to the
// next slot (the first after the last); the old slot is invalidated only
// after every word of the new one was acknowledged, so a send cut short
// leaves the old identification in force.
//
// Bytes: 0 slot mark (1), 1-5 reader ID, 6-25 "Descrizione 1", 26-45
// "Descrizione 2", the rest kept as read.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "link/link.h"
#include "link/prompt.h"
#include "link/worker.h"
#include "tables/table_engine.h"

namespace cfg {

inline constexpr std::uint32_t kIdentityRing = 0x27E000;
inline constexpr int kIdentitySlots = 32;
inline constexpr std::uint32_t kIdentitySlotSize = 128;
inline constexpr const char* kBadReaderId = "Errore: ID non valido (10 caratteri alfanumerici).";

struct ReaderIdentity {
  std::array<std::uint8_t, 128> bytes{};
  bool found = false;  // a receive found a slot in force

  std::string id() const;  // "%02X" of bytes 1-5
  std::string description1() const;
  std::string description2() const;
  // Stores the typed fields; false (nothing changed) when the ID is not
  // ten characters of "0123456789ABCDEF".
  bool set(std::string_view id, std::string_view description1, std::string_view description2);
};

// Worker routine: finds the slot in force and reads its 32 words into
// `identity` (identity.found false and nothing read when there is none).
TableEnd receiveReaderIdentity(Worker& worker, Link& link, const Messages& messages, ReaderIdentity& identity);
// Worker routine: writes `identity` into the slot after the one in force
// (nothing when none is in force), then invalidates the old slot and sends
// the reset "30".
TableEnd sendReaderIdentity(Worker& worker, Link& link, const Messages& messages, const ReaderIdentity& identity,
                            bool& slotFound);

}  // namespace cfg
