// The card worker: polls the desk card reader, reads the card that lies on
// it, and carries out the operation the dialog asks for.
//
// The dialog and the worker share one CardSession. The dialog fills the
// data of an operation (remembered serial, holder data, template) only
// while no operation is pending, then publishes it by storing `pending`;
// the worker reads the data after loading `pending` and clears `pending`
// when the operation ends. What the worker shows travels the other way
// under the session's lock.
#pragma once

#include <atomic>
#include <mutex>
#include <optional>
#include <string>

#include "cards/card_layout.h"
#include "link/link.h"
#include "link/prompt.h"
#include "link/worker.h"

namespace cfg::cards {

enum class Operation : int { None = 0, AddTemplate = 1, EraseTemplates = 2, Write = 3, WriteAndEraseRecords = 4 };

// Refresh codes the worker posts (first value of the refresh).
inline constexpr int kRefreshNoCard = 0;
inline constexpr int kRefreshCardRead = 1;
inline constexpr int kRefreshStatus = 2;

inline constexpr const char* kBringCard = "Avvicinare una tessera.";
inline constexpr const char* kBringPreviousCard = "Avvicinare la tessera precedente.";
inline constexpr const char* kReading = "Lettura in corso ...";
inline constexpr const char* kWriting = "Scrittura in corso ...";
inline constexpr const char* kLoginError = "Errore login!";
inline constexpr const char* kReadError = "Errore lettura dati!";
inline constexpr const char* kUnknownCard = "Errore tessera sconosciuta!";
inline constexpr const char* kNotInitialised = "Tessera non inizializzata!";
inline constexpr const char* kWriteError = "Errore scrittura dati!";
inline constexpr const char* kCrc1Error = "Errore crc1 dati!";
inline constexpr const char* kCrc2Error = "Errore crc2 dati!";
inline constexpr const char* kCrc3Error = "Errore crc3 dati!";
inline constexpr const char* kCrcError = "Errore crc dati!";
inline constexpr const char* kTemplatesReadError = "Errore lettura impronte!";
inline constexpr const char* kCardSwapped = "Errore tessera sostituita!";
inline constexpr const char* kTemplateWriteError = "Errore scrittura impronta!";
inline constexpr const char* kTemplatesEraseError = "Errore cancellazione impronte!";
inline constexpr const char* kNoCardPresent = "Nessuna tessera presente !";
inline constexpr const char* kNoSpace = "Spazio esaurito!";
inline constexpr const char* kNoTemplateToErase = "Nessuna impronta da eliminare !";
inline constexpr const char* kEraseAllQuestion = "Tutte le impronte verranno eliminate. Continuare ?";
inline constexpr const char* kEraseRecordsQuestion = "Cancellare le timbrature eventualmente presenti nella tessera ?";

// The card on the reader as the dialog shows it.
struct CardView {
  std::string serial;  // empty: no card
  Family family = Family::F3x;
  bool is4k = false;
  char version = '1';
  bool initialised = false;  // block 2 carries the dialog's letter
  int offered = 1;           // templates the card offers
  int present = 0;           // templates found
  std::optional<HolderA> a;
  std::optional<HolderB> b;
};

class CardSession {
 public:
  explicit CardSession(char letter) : letter_(letter) {}
  char letter() const { return letter_; }

  // --- the dialog's side ---
  // Holder data and template of the operation; set before `request`.
  HolderA writeA;
  HolderB writeB;
  std::string templateDigits;  // 768 hexadecimal digits for AddTemplate
  // Remembers the card now shown and makes the operation pending; false
  // (nothing changes) while another is pending or no card is shown.
  bool request(Operation op);
  // The same for a card remembered earlier (its serial), shown or not now:
  // "&Aggiungi" remembers the card before the capture takes the reader.
  bool request(Operation op, const std::string& serial);
  Operation pending() const { return static_cast<Operation>(pending_.load()); }
  // Why "&Aggiungi" / "Elimina &tutte" cannot go on now; "" when they can.
  // A refused "&Aggiungi" while an operation is pending shows nothing.
  std::string addRefusal() const;
  std::string eraseRefusal() const;

  CardView view() const;
  std::string status() const;
  // The worker ended on a failed reader transaction: the desk reader
  // settings are to be asked again.
  bool readerFailed() const { return readerFailed_.load(); }

  // --- the worker's side ---
  std::string remembered() const { return remembered_; }
  void finish() { pending_.store(0); }
  void setView(CardView view);
  void setStatus(std::string text);
  void markReaderFailed() { readerFailed_.store(true); }

 private:
  const char letter_;
  std::atomic<int> pending_{0};
  std::string remembered_;  // written only while nothing is pending
  std::atomic<bool> readerFailed_{false};
  mutable std::mutex mutex_;
  CardView view_;
  std::string status_;
};

// The worker routine: polls until the stop request or a failed reader
// transaction. The Link is the desk reader's, already open.
void runCardWorker(Worker& worker, Link& link, const Messages& messages, CardSession& session);

}  // namespace cfg::cards
