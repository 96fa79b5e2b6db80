#include "tables/users.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>

#include "link/hex.h"
#include "link/transaction.h"

namespace cfg {

namespace {

constexpr std::size_t kReplyCapacity = 256;
constexpr int kCountTimeoutMs = 2000;
constexpr int kCountReplyLength = 19;

bool isDigit(char c) { return c >= '0' && c <= '9'; }

bool allDigits(std::string_view s) { return std::all_of(s.begin(), s.end(), isDigit); }

// Decimal value of a field, blanks around it allowed; -1 when it is empty
// or holds anything but digits.
long long decimal(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  if (s.empty() || s.size() > 12 || !allDigits(s)) return -1;
  long long v = 0;
  for (char c : s) v = v * 10 + (c - '0');
  return v;
}

// A typed form field: empty is 0, otherwise digits only.
long long typed(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s.empty() ? 0 : decimal(s);
}

std::string fmt(const char* format, auto... args) {
  char buf[128];
  std::snprintf(buf, sizeof buf, format, args...);
  return buf;
}

bool isBigModel(std::string_view model) { return model == "LX-P2" || model == "LX-K5"; }

std::optional<std::string> parseUserLine(std::string_view line) {
  auto user = userOfLine(line);
  if (!user) return std::nullopt;
  return userLine(*user);
}

std::string wireOfLine(const std::string& record) {
  auto user = userOfLine(record);
  // The list holds only checked records; an unreadable one would be a fault
  // of the caller, and goes out as a free record rather than as garbage.
  return user ? userWire(*user) : std::string(40, '0');
}

std::optional<std::string> lineOfWire(std::string_view data) {
  auto user = userOfWire(data);
  if (!user) return std::nullopt;
  return userLine(*user);
}

TableDescriptor makeUsersTable() {
  return {TableId::Users, "users", kUsersTitle, "utenti.txt", kMaxUserCapacity, kUserLineLength, 0, 40, "0B", 2000,
          "0D", 1000, "08", "0000000000000000000000000000000000000000", nullptr,
          {"LX-K1", "LX-K2", "LX-K3", "LX-K4", "LX-K5", "LX-P1", "LX-P2", "HND  "}, parseUserLine, wireOfLine,
          lineOfWire};
}

}  // namespace

const TableDescriptor& usersTable() {
  static const TableDescriptor table = makeUsersTable();
  return table;
}

std::string badgeCode(int company, long personnel) {
  return fmt("%02X%08lX", static_cast<unsigned>(company) & 0xFFu, static_cast<unsigned long>(personnel) & 0xFFFFFFFFul);
}

std::string userLine(const UserRecord& u) {
  std::string expiry = u.expiry.substr(0, 10);
  return fmt("%02d %09ld %04u %-10s %04u %03u %03u %03u", u.company, u.personnel, u.pin, expiry.c_str(), u.counter,
             u.policy, u.extra1, u.extra2);
}

std::optional<UserRecord> userOfLine(std::string_view line) {
  const bool old = line.size() == static_cast<std::size_t>(kOldUserLineLength - 2);
  if (line.size() != static_cast<std::size_t>(kUserLineLength - 2) && !old) return std::nullopt;
  for (std::size_t blank : {2u, 12u, 17u, 28u, 33u})
    if (line[blank] != ' ') return std::nullopt;
  if (!old && (line[37] != ' ' || line[41] != ' ')) return std::nullopt;
  long long company = decimal(line.substr(0, 2)), personnel = decimal(line.substr(3, 9));
  long long pin = decimal(line.substr(13, 4)), counter = decimal(line.substr(29, 4));
  long long policy = decimal(line.substr(34, 3));
  long long extra1 = old ? 0 : decimal(line.substr(38, 3)), extra2 = old ? 0 : decimal(line.substr(42, 3));
  auto expiry = normalisedDate(line.substr(18, 10));
  if (company < 0 || company > 99 || personnel < 1 || personnel > 999999999 || pin < 0 || pin > 9999 || !expiry ||
      counter < 0 || counter > 9999 || policy < 0 || policy > 255 || extra1 < 0 || extra1 > 255 || extra2 < 0 ||
      extra2 > 255)
    return std::nullopt;
  return UserRecord{static_cast<int>(company),    static_cast<long>(personnel), static_cast<unsigned>(pin),
                    *expiry,                      static_cast<unsigned>(counter), static_cast<unsigned>(policy),
                    static_cast<unsigned>(extra1), static_cast<unsigned>(extra2)};
}

std::string userWire(const UserRecord& u) {
  // yymmdd from the stored dd/mm/yyyy.
  std::string e = u.expiry.size() == 10 ? u.expiry : std::string("00/00/0000");
  std::string yymmdd = e.substr(8, 2) + e.substr(3, 2) + e.substr(0, 2);
  return badgeCode(u.company, u.personnel) + "0000000000" + fmt("%04u", u.pin % 10000) + yymmdd +
         fmt("%04u", u.counter % 10000) + byteToHex(static_cast<std::uint8_t>(u.policy)) +
         byteToHex(static_cast<std::uint8_t>(u.extra1)) + byteToHex(static_cast<std::uint8_t>(u.extra2));
}

std::optional<UserRecord> userOfWire(std::string_view d) {
  if (d.size() < 40) return std::nullopt;
  int company = hexPairAt(d, 0);
  auto personnel = hex8ToU32(d.substr(2, 8));
  std::string_view pin = d.substr(20, 4), date = d.substr(24, 6), counter = d.substr(30, 4);
  int policy = hexPairAt(d, 34), extra1 = hexPairAt(d, 36), extra2 = hexPairAt(d, 38);
  // A badge code that is no company and personnel number, or digits that
  // are not digits, cannot be kept in a user file: nothing is invented.
  if (company < 0 || company > 99 || !personnel || *personnel < 1 || *personnel > 999999999 || !allDigits(pin) ||
      !allDigits(date) || !allDigits(counter) || policy < 0 || extra1 < 0 || extra2 < 0)
    return std::nullopt;
  UserRecord u;
  u.company = company;
  u.personnel = static_cast<long>(*personnel);
  u.pin = static_cast<unsigned>(decimal(pin));
  u.expiry = std::string(date.substr(4, 2)) + "/" + std::string(date.substr(2, 2)) + "/20" +
             std::string(date.substr(0, 2));
  u.counter = static_cast<unsigned>(decimal(counter));
  u.policy = static_cast<unsigned>(policy);
  u.extra1 = static_cast<unsigned>(extra1);
  u.extra2 = static_cast<unsigned>(extra2);
  return u;
}

std::optional<std::string> normalisedDate(std::string_view s) {
  std::size_t at = 0;
  auto digits = [&](std::size_t most) -> long {
    std::size_t from = at;
    long v = 0;
    while (at < s.size() && at - from < most && isDigit(s[at])) v = v * 10 + (s[at++] - '0');
    return at == from ? -1 : v;
  };
  auto separator = [&] {
    if (at < s.size() && (s[at] == '/' || s[at] == '-')) {
      ++at;
      return true;
    }
    return false;
  };
  long day = digits(2);
  if (day < 0 || !separator()) return std::nullopt;
  long month = digits(2);
  if (month < 0 || !separator()) return std::nullopt;
  long year = digits(4);
  if (year < 0 || at != s.size()) return std::nullopt;
  if (year < 100) year += 1900;
  return fmt("%02ld/%02ld/%04ld", day, month, year);
}

UserFormCheck checkUserForm(const UserForm& f) {
  UserFormCheck check;
  auto fail = [&](UserField field, const char* message) {
    check.field = field;
    check.message = message;
    return check;
  };
  long long company = typed(f.company), personnel = typed(f.personnel), policy = typed(f.policy);
  long long extra1 = typed(f.extra1), extra2 = typed(f.extra2), pin = typed(f.pin), counter = typed(f.counter);
  if (company < 0 || company > 99) return fail(UserField::Company, kBadCompany);
  if (personnel < 1 || personnel > 999999999) return fail(UserField::Personnel, kBadPersonnel);
  if (policy < 0 || policy > 255) return fail(UserField::Policy, kBadPolicy);
  if (extra1 < 0 || extra1 > 255) return fail(UserField::Extra1, kBadExtra);
  if (extra2 < 0 || extra2 > 255) return fail(UserField::Extra2, kBadExtra);
  // The dialog takes four digits for PIN and counter; anything else would
  // not fit the record's four-digit fields.
  if (pin < 0 || pin > 9999) return fail(UserField::Pin, kBadPin);
  if (counter < 0 || counter > 9999) return fail(UserField::Counter, kBadCounter);
  auto expiry = normalisedDate(f.expiry);
  if (!expiry) return fail(UserField::Expiry, kBadExpiry);
  check.user = UserRecord{static_cast<int>(company), static_cast<long>(personnel), static_cast<unsigned>(pin),
                          *expiry,
                          static_cast<unsigned>(counter),
                          static_cast<unsigned>(policy),
                          static_cast<unsigned>(extra1),
                          static_cast<unsigned>(extra2)};
  return check;
}

UserForm formOfUser(const UserRecord& u) {
  return UserForm{std::to_string(u.company), std::to_string(u.personnel), std::to_string(u.pin),
                  std::to_string(u.counter), std::to_string(u.policy),    std::to_string(u.extra1),
                  std::to_string(u.extra2),  u.expiry};
}

std::optional<UserCount> queryUserCount(Link& link, const Messages& messages) {
  std::string reply;
  TxResult r = exchange(link, messages, "3802", reply, kReplyCapacity, kCountTimeoutMs, kCountReplyLength);
  if (!r || r.length != kCountReplyLength || reply.size() < 16) return std::nullopt;
  if (reply.compare(4, 4, "3802") != 0) return std::nullopt;
  auto stored = hex4ToU16(std::string_view(reply).substr(8, 4));
  auto capacity = hex4ToU16(std::string_view(reply).substr(12, 4));
  if (!stored || !capacity) return std::nullopt;
  return UserCount{*stored, *capacity};
}

int readUserCapacity(Link& link, const Messages& messages) {
  AskOnFailureGuard quiet(messages.flags, false);
  auto count = queryUserCount(link, messages);
  return count ? count->capacity : 0;
}

int userListCapacity(int capacityRead) { return capacityRead > 0 ? capacityRead : kDefaultUserCapacity; }

int usersToRead(int capacityRead, std::string_view model) {
  if (capacityRead > 0) return capacityRead;
  return isBigModel(model) ? kDefaultUserCapacity : kSmallUserCapacity;
}

int userSendLimit(int capacityRead, std::string_view model) {
  if (isBigModel(model)) return 0;
  return capacityRead > 0 ? capacityRead : kSmallUserCapacity;
}

bool confirmUserCapacity(int capacityRead, std::string_view model, std::size_t count, const Messages& messages) {
  int limit = userSendLimit(capacityRead, model);
  if (limit == 0 || count <= static_cast<std::size_t>(limit)) return true;
  return messages.ask({kCapacityQuestion, kInfoTitle, Icon::Info, Buttons::YesNo, Answer::No}) == Answer::Yes;
}

bool loadUserFile(const std::filesystem::path& path, LoadMode mode, int selected, int capacity,
                  std::vector<std::string>& list, const Messages* diagnostic) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  char head[kUserLineLength];
  in.read(head, sizeof head);
  const std::string_view first(head, static_cast<std::size_t>(in.gcount()));
  in.close();
  if (mode == LoadMode::Insert && (selected < 0 || static_cast<std::size_t>(selected) >= list.size())) return false;
  if (first.empty()) {  // a saved empty list
    if (mode == LoadMode::Replace) list.clear();
    return true;
  }
  const std::size_t cr = first.find('\r');
  const int length = cr == std::string_view::npos ? static_cast<int>(first.size()) + 2 : static_cast<int>(cr) + 2;
  if (diagnostic) diagnostic->info(fmt(kLineLengthText, length));
  if (length != kUserLineLength && length != kOldUserLineLength) return false;
  TableDescriptor form = usersTable();
  form.lineLength = length;
  form.capacity = std::clamp(capacity, 0, kMaxUserCapacity);
  return loadTableFile(form, path, mode, selected, list);
}

bool saveUserFile(const std::filesystem::path& path, const std::vector<std::string>& list) {
  return saveTableFile(usersTable(), path, list);
}

TableEnd sendUsers(Worker& worker, Link& link, const Messages& messages, const std::vector<std::string>& list,
                   bool clearFirst) {
  return sendTable(worker, link, messages, usersTable(), list, clearFirst);
}

TableEnd receiveUsers(Worker& worker, Link& link, const Messages& messages, std::vector<std::string>& list,
                      int toRead) {
  TableDescriptor reading = usersTable();
  reading.capacity = std::clamp(toRead, 0, kMaxUserCapacity);
  return receiveTable(worker, link, messages, reading, list);
}

}  // namespace cfg
