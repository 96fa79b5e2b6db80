// The user list: who may badge at a fixed terminal (its "white-list").
//
// Users are a table of the engine (table_engine.h). In the list a user is
// kept, like every record of the engine, as its file line without CR LF:
// "%02d %09ld %04u %-10s %04u %03u %03u %03u" (company, personnel number,
// PIN, expiry date dd/mm/yyyy, counter, policy, extra 1, extra 2). What the
// engine cannot know by itself is added here: the terminal's capacity, read
// with "3802", decides how many users a list holds, how many indices a
// receive reads and when a send asks before going on; and a user file is
// read in the line form of its first line (47 bytes, or 39 for old files).
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "link/link.h"
#include "link/prompt.h"
#include "link/worker.h"
#include "tables/table_engine.h"

namespace cfg {

struct UserRecord {
  int company = 0;         // 0-99
  long personnel = 0;      // 1-999999999
  unsigned pin = 0;        // 0-9999
  std::string expiry;      // "dd/mm/yyyy"
  unsigned counter = 0;    // 0-9999
  unsigned policy = 0;     // 0-255, an access-policy code
  unsigned extra1 = 0;     // 0-255
  unsigned extra2 = 0;     // 0-255
};

inline constexpr int kUserLineLength = 47;     // with CR LF
inline constexpr int kOldUserLineLength = 39;  // no extras
inline constexpr int kMaxUserCapacity = 65535;  // the most a terminal can report
inline constexpr int kDefaultUserCapacity = 5850;
inline constexpr int kSmallUserCapacity = 2880;

inline constexpr const char* kUsersTitle = "Elenco Utenti";
inline constexpr const char* kUserCardTitle = "Scheda Utente";
inline constexpr const char* kUserCountText = "Numero utenti nella white-list del terminale = %d";
inline constexpr const char* kBadCompany = "Errore: azienda non valida (0-99).";
inline constexpr const char* kBadPersonnel = "Errore: matricola non valida (1-999.999.999).";
inline constexpr const char* kBadPolicy = "Errore: politica non valida (0-255).";
inline constexpr const char* kBadExtra = "Errore: dato extra non valido (0-255).";
// Fields the dialog already limits to what fits (four digits, the picker's
// dates); these guard callers that fill a form otherwise.
inline constexpr const char* kBadPin = "Errore: pin-code non valido (0-9999).";
inline constexpr const char* kBadCounter = "Errore: scalare non valido (0-9999).";
inline constexpr const char* kBadExpiry = "Errore: scadenza non valida.";

// The users table of the engine. Its capacity is the largest a terminal can
// report; the list functions below apply the terminal's own.
const TableDescriptor& usersTable();

// Company and personnel number as ten hexadecimal characters ("%02X%08lX").
std::string badgeCode(int company, long personnel);

// A user as its list record (the file line without CR LF), and back.
std::string userLine(const UserRecord& user);
std::optional<UserRecord> userOfLine(std::string_view line);  // 37- or 45-character lines
// The 40 characters of the write and read commands.
std::string userWire(const UserRecord& user);
std::optional<UserRecord> userOfWire(std::string_view data);

// The expiry-date test of files and imports: day (1-2 digits), "/" or "-",
// month (1-2 digits), "/" or "-", year (1-4 digits) and nothing after it.
// Gives "%02d/%02d/%04d", years below 100 with 1900 added; day and month
// are not range-checked.
std::optional<std::string> normalisedDate(std::string_view text);

// --- the "Scheda Utente" form ---

enum class UserField { Company, Personnel, Pin, Expiry, Counter, Policy, Extra1, Extra2 };

// The form's values as typed (digits only; an empty field is 0). The expiry
// date comes from the date picker, already as "dd/mm/yyyy".
struct UserForm {
  std::string company, personnel, pin, counter, policy, extra1, extra2;
  std::string expiry;
};

struct UserFormCheck {
  std::optional<UserRecord> user;  // set when every field is valid
  UserField field = UserField::Company;  // otherwise the field to focus
  std::string message;                   // and its message ("Error Message")
};

// Checks in the form's order (company, personnel number, policy, extras).
UserFormCheck checkUserForm(const UserForm& form);
// The form of a stored user (modify mode).
UserForm formOfUser(const UserRecord& user);

// --- the terminal's capacity ---

struct UserCount {
  int stored = 0;    // users in the terminal's white-list
  int capacity = 0;  // users the terminal can hold
};

// "3802" with the messages as they stand (a failure shows Retry/Cancel).
// Nothing when the transaction fails or the reply is not for sub-code 02.
std::optional<UserCount> queryUserCount(Link& link, const Messages& messages);
// "3802" without the failure message; 0 when the terminal does not tell.
int readUserCapacity(Link& link, const Messages& messages);

// Users a list may hold: the capacity read, or 5850 when it reads 0.
int userListCapacity(int capacityRead);
// Indices a receive reads: the capacity read, or 5850 (LX-P2, LX-K5) / 2880.
int usersToRead(int capacityRead, std::string_view model);
// Where a send asks the capacity question: the capacity read (2880 when it
// reads 0); 0 for LX-P2 and LX-K5, which are never asked.
int userSendLimit(int capacityRead, std::string_view model);
// Asked on the user's thread before a send, with the capacity read: true
// when the send may go on (the list fits, or Yes).
bool confirmUserCapacity(int capacityRead, std::string_view model, std::size_t count, const Messages& messages);

// --- file and transfer ---

// "len = %d" of the diagnostic mode, shown with the first line's length.
inline constexpr const char* kLineLengthText = "len = %d";

// Loads a user file in the engine's modes, at most `capacity` users in the
// list. The first line (up to its CR) decides the line form: 47 or 39 bytes,
// any other length fails. `diagnostic` (the "-d" mode) is shown the length.
// A failure leaves the list as it was. An empty file loads no users.
bool loadUserFile(const std::filesystem::path& path, LoadMode mode, int selected, int capacity,
                  std::vector<std::string>& list, const Messages* diagnostic = nullptr);
bool saveUserFile(const std::filesystem::path& path, const std::vector<std::string>& list);

// Worker routines of the engine with the users table. The receive reads
// `toRead` indices (usersToRead of the capacity read before it starts).
TableEnd sendUsers(Worker& worker, Link& link, const Messages& messages, const std::vector<std::string>& list,
                   bool clearFirst);
TableEnd receiveUsers(Worker& worker, Link& link, const Messages& messages, std::vector<std::string>& list,
                      int toRead);

}  // namespace cfg
