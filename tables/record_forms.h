// The record dialogs' fields, as typed, and their validation.
//
// Each form is what one record dialog shows: filled from a record in modify
// mode (xxxFormOf), empty in add mode, and checked on "&Conferma"
// (checkXxx). A check gives the record (its file line without CR LF, the
// form table_engine.h keeps) or the first failing field's message and the
// field to focus. Texts are Windows-1252 bytes.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "tables/production.h"

namespace cfg {

struct RecordCheck {
  std::string record;  // valid when error is empty
  std::string error;   // the message, titled "Error Message"
  int field = -1;      // the form's field that gets the focus
  bool ok() const { return error.empty(); }
};

using DayFlags = std::array<bool, 8>;  // L M M G V S D F

inline constexpr const char* kBadTime = "Errore: dato non valido (formato 00:00).";
inline constexpr const char* kFromAfterTo = "Errore: 'dalle' superiore 'alle'.";
inline constexpr const char* kNoDay = "Errore: attivare almeno un giorno.";
inline constexpr const char* kBadCode = "Errore: codice non valido.";

// "Fascia Oraria" of the access policies. Fields: 0 code, 1 from, 2 to, 3 days.
struct PolicyForm {
  enum Field { Code, From, To, Days };
  std::string code, from, to;
  DayFlags days{};
};
PolicyForm policyFormOf(const std::string& record);
RecordCheck checkPolicy(const PolicyForm& form);

// "Fascia Oraria" of the sirens.
struct SirenForm {
  enum Field { Channel, Time, Days, Duration };
  std::string channel, time, duration;
  DayFlags days{};
  bool on = false, off = false;  // "ON" / "OFF"; neither: the duration
};
SirenForm sirenFormOf(const std::string& record);
RecordCheck checkSiren(const SirenForm& form);

// "Messaggio Utente".
struct MessageForm {
  enum Field { Company, Person, Text };
  std::string company, person, text;
};
MessageForm messageFormOf(const std::string& record);
RecordCheck checkMessage(const MessageForm& form);

// "Verso Timbratura di Uscita".
struct ExitForm {
  enum Field { From, To, Days };
  std::string from, to;
  DayFlags days{};
};
ExitForm exitFormOf(const std::string& record);
RecordCheck checkExit(const ExitForm& form);

// "Giustificativo", "Cantiere" and "Attività commessa": a code and a
// description.
struct CodeForm {
  enum Field { Code, Text };
  std::string code, text;
};
CodeForm justificationFormOf(const std::string& record);
RecordCheck checkJustification(const CodeForm& form);
CodeForm siteFormOf(const std::string& record);
RecordCheck checkSite(const CodeForm& form);

// "Festivita`".
inline constexpr const char* kBadHoliday = "Errore: dato non valido (formato gg/mm).";
RecordCheck checkHoliday(const std::string& day);

// "Linea di Programma". `program` is the list, `index` the record being
// edited (its own line number is no duplicate).
enum class ProgramOperation { None, Constant, Marker, Reader, GotoList, Table, Goto, Buzzer, Display };
struct ProgramForm {
  enum Field { Line, Text, Operation, TableCode, GotoLine, Time };
  std::string line, text, tableCode, gotoLine, time;
  ProgramOperation operation = ProgramOperation::None;
};
inline constexpr const char* kBadLine = "Errore: linea non valida.";
inline constexpr const char* kBadGotoLine = "Errore: linea non valida (1-65535).";
inline constexpr const char* kBadTimeValue = "Errore: tempo non valido (0-65535).";
inline constexpr const char* kBadTableCode = "Errore: tabella non valida (1-255).";
inline constexpr const char* kNoOperation = "Errore: nessuna operazione.";
inline constexpr const char* kLineTaken = "Errore: linea gia` presente.";
ProgramForm programFormOf(const std::string& record);
RecordCheck checkProgramLine(const ProgramForm& form, const std::vector<std::string>& program, int index);

// "Elemento in Tabella".
struct ItemForm {
  enum Field { Code, Text, Value };
  std::string code, text, value;
};
ItemForm itemFormOf(const std::string& record);
RecordCheck checkItem(const ItemForm& form);

}  // namespace cfg
