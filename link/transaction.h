// The transaction: send a request, wait for the reply, validate, retry.
//
// Main protocol: up to three attempts (one, waiting 5000 ms longer, for the
// LX-K4, LX-K1 and LX-K5); a modem line waits 3000 ms more. A reply of
// exactly the expected length is accepted (a 6-byte one only when it is ACK);
// any other valid reply of 9 bytes or more is accepted too. When every
// attempt failed the user is asked Retry/Cancel with "Errore: il lettore
// risponde NAK." (a NAK came) or "Errore: il lettore non risponde.", unless
// askOnFailure is cleared; then the result is a silent failure.
//
// Before each attempt the reply buffer is cleared. A caller that reads fields
// at fixed positions checks the accepted length first: a valid 9-byte reply
// accepted by the 9-byte rule is not a full record.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "link/link.h"
#include "link/prompt.h"

namespace cfg {

inline constexpr const char* kNoAnswerMessage = "Errore: il lettore non risponde.";
inline constexpr const char* kNakMessage = "Errore: il lettore risponde NAK.";

struct TxResult {
  bool ok = false;
  int length = 0;  // bytes of the accepted reply
  explicit operator bool() const { return ok; }
};

// Request Frame in `frame` (blank placeholder at length-2); the check byte is
// written into it. `capacity` bounds the reply.
TxResult transact(Link& link, const Messages& messages, std::string& frame, std::string& reply,
                  std::size_t capacity, int timeoutMs, int expectedLength);

// Builds the request for the Link's address from command + data and runs it.
TxResult exchange(Link& link, const Messages& messages, std::string_view commandAndData,
                  std::string& reply, std::size_t capacity, int timeoutMs, int expectedLength);

// Plain-XOR variant (desk card reader): 3 attempts; success on the expected
// length or 9; after 3 failures always asks Retry/Cancel with the no-answer text.
TxResult transactXor(Link& link, const Messages& messages, std::string& frame, std::string& reply,
                     std::size_t capacity, int timeoutMs, int expectedLength);

// Binary packet variant (fingerprint module): 3 attempts; success only on the
// expected length; Retry/Cancel with the no-answer text unless askOnFailure is cleared.
TxResult transactPacket(Link& link, const Messages& messages, std::string& packet, std::string& reply,
                        std::size_t capacity, int timeoutMs, int expectedLength);

// Retry/Cancel box of an exhausted transaction; true on Retry.
bool askRetry(const Messages& messages, const char* text);

}  // namespace cfg
