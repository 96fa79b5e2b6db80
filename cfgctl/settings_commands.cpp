// cfgctl's settings commands: config.dat and acqreg.dat edited from the
// command line with the same rules as the "Scheda Terminale" card and the
// archive configuration dialogs, saved atomically.
#include <algorithm>
#include <cstdio>
#include <map>
#include <optional>
#include <ostream>

#include "app/process_state.h"
#include "app/registry.h"
#include "app/registry_edit.h"
#include "app/settings_files.h"
#include "cfgctl/cli.h"
#include "cfgctl/cli_support.h"
#include "link/commands.h"
#include "records/archive_choice.h"
#include "records/formats.h"

namespace cfg::cli {

namespace {

const char* const kTerminalsHelp =
    "cfgctl [-C DIR] terminals\n"
    "Lists config.dat: number, description, model, connection and address, one terminal a line.\n";

const char* const kTerminalHelp =
    "cfgctl [-C DIR] terminal add NUMBER --model M --address N\n"
    "       (--tcp IP:PORT | --port COMn --speed BAUD [--rs485] [--echo])\n"
    "       [--description TEXT] [--modem PHONE [--modem-type standard|telit]\n"
    "       [--modem-init TEXT] [--continuous]]\n"
    "cfgctl [-C DIR] terminal set NUMBER [the options above] [--no-rs485] [--no-echo]\n"
    "       [--no-modem] [--no-continuous]\n"
    "cfgctl [-C DIR] --yes terminal remove NUMBER\n"
    "Edits config.dat with the checks of the program's terminal card: number 1-9999,\n"
    "address 0-255, model LX-K1, LX-K3, LX-K2, LX-K4, LX-P1, LX-P2 or LX-K5, port COM1-COM8,\n"
    "speed 1200, 2400, 4800, 9600, 19200 or 38400, description up to 30 characters.\n"
    "add refuses a number already in config.dat; set changes only the fields given on the\n"
    "first row with NUMBER; remove needs --yes. When config.dat has lines that cannot be read,\n"
    "saving would drop them: they are listed and nothing is written without --yes.\n";

const char* const kArchivesHelp =
    "cfgctl [-C DIR] archives\n"
    "cfgctl [-C DIR] archives set KIND on|off [--copy2 PATH] [--copy3 PATH] [--format NAME]\n"
    "Shows or edits acqreg.dat, the archives acquire and retrieve write. KIND:\n"
    "  reg  attendance, own layout (file_reg.txt)    out, ou2  attendance in a format of\n"
    "  prd  production (file_prd.txt)                          format.dat (file_out.txt, file_ou2.txt)\n"
    "  cnt  production, one line (file_cnt.txt)     mns  canteen (file_mns.txt)\n"
    "--copy2/--copy3 give full paths of extra copies (\"\" removes one); --format (out, ou2\n"
    "only) names a format of format.dat. Leaving a record kind with no archive and no copy\n"
    "asks the system's question: only --yes saves it.\n";

struct ArchiveKind {
  const char* name;
  RecordKind kind;
  std::size_t slot;  // in archiveSlots(kind)
  const char* file;
};
constexpr ArchiveKind kArchiveKinds[] = {
    {"reg", RecordKind::Attendance, 0, "file_reg.txt"}, {"out", RecordKind::Attendance, 1, "file_out.txt"},
    {"ou2", RecordKind::Attendance, 2, "file_ou2.txt"}, {"prd", RecordKind::Production, 0, "file_prd.txt"},
    {"cnt", RecordKind::Production, 1, "file_cnt.txt"}, {"mns", RecordKind::Canteen, 0, "file_mns.txt"},
};

std::string quotedArg(const std::string& text) { return "\"" + printable(shownArg(text), false) + "\""; }

std::string trimmed(std::string text) {
  text.erase(0, std::min(text.find_first_not_of(' '), text.size()));
  return text;
}

// "a.b.c.d:port" with every octet 0-255 and the port 1-65535.
bool parseTcp(const std::string& text, std::uint32_t& ip, std::string& port) {
  std::size_t colon = text.rfind(':');
  if (colon == std::string::npos) return false;
  std::string address = text.substr(0, colon);
  port = text.substr(colon + 1);
  auto p = parseDecimal(port);
  if (!p || *p < 1 || *p > 65535 || port.size() > 5) return false;
  ip = 0;
  std::size_t start = 0;
  for (int octet = 0; octet < 4; ++octet) {
    std::size_t dot = octet < 3 ? address.find('.', start) : address.size();
    if (dot == std::string::npos || dot == start || dot - start > 3) return false;
    auto v = parseDecimal(address.substr(start, dot - start));
    if (!v || *v > 255) return false;
    ip = ip << 8 | static_cast<std::uint32_t>(*v);
    start = dot + 1;
  }
  return start == address.size() + 1;
}

std::string connection(const TerminalRecord& r) {
  char text[160];
  if (r.tcp) {
    std::snprintf(text, sizeof text, "TCP %u.%u.%u.%u:%u", (r.ip >> 24) & 0xFFu, (r.ip >> 16) & 0xFFu,
                  (r.ip >> 8) & 0xFFu, r.ip & 0xFFu, static_cast<unsigned>(r.tcpPort));
  } else if (r.modem) {
    std::snprintf(text, sizeof text, "modem %s (%s) su %s %s", r.phoneNumber.c_str(),
                  kModemTypes[std::min<std::size_t>(r.modemType, kModemTypes.size() - 1)], r.port.c_str(),
                  trimmed(r.speed).c_str());
  } else {
    std::snprintf(text, sizeof text, "%s %s%s%s", r.port.c_str(), trimmed(r.speed).c_str(), r.rs485 ? " RS485" : "",
                  r.echo ? " eco" : "");
  }
  char address[32];
  std::snprintf(address, sizeof address, ", indirizzo %u", static_cast<unsigned>(r.address));
  return printable(std::string(text) + address, false);
}

class SettingsSession {
 public:
  SettingsSession(const std::vector<std::string>& words, const std::string& directory, bool yes, std::ostream& out,
                  std::ostream& err)
      : words_(words), directory_(directory), yes_(yes), out_(out), err_(err), prompt_(out, err, yes),
        messages_(prompt_) {}

  int run();

 private:
  int usage(const std::string& why, const char* help) {
    err_ << "cfgctl: " << why << "\n" << help;
    return kUsage;
  }
  bool open() {
    auto directory = workingDirectory(directory_, err_);
    if (!directory) return false;
    state_.workingDirectory = *directory;
    state_.batchOnStart = true;  // no box waits on anyone
    return true;
  }
  FileContext files() { return state_.files(messages_); }
  int terminals();
  int terminal();
  int applyOptions(std::size_t first, CardFields& card, bool adding);
  int save(const FileReport& loaded, const char* done, unsigned number);
  int archives();
  int archivesSet();

  const std::vector<std::string>& words_;
  std::string directory_;
  bool yes_;
  std::ostream& out_;
  std::ostream& err_;
  CliPrompt prompt_;
  Messages messages_;
  ProcessState state_;
};

int SettingsSession::run() {
  const std::string& name = words_[0];
  if (name == "terminals") {
    if (words_.size() != 1) return usage("terminals non accetta argomenti", kTerminalsHelp);
    return terminals();
  }
  if (name == "terminal") return terminal();
  if (words_.size() == 1) return archives();
  if (words_[1] != "set") return usage("archives | archives set KIND on|off ...", kArchivesHelp);
  return archivesSet();
}

int SettingsSession::terminals() {
  if (!open()) return kSetup;
  FileReport loaded = loadRegistry(files(), state_.registry);
  if (loaded.outcome == FileReport::Outcome::Missing) {
    err_ << "cfgctl: " << printable(loaded.problem()) << ": nessun terminale.\n";
    return kOk;
  }
  reportFile(loaded, err_);
  if (!loaded.read()) return kSetup;
  for (const TerminalRecord& r : state_.registry.rows) {
    char number[16];
    std::snprintf(number, sizeof number, "%04u  ", static_cast<unsigned>(r.number));
    out_ << number << printable(padded(r.description, 30), false) << "  " << padded(r.model, 5) << "  "
         << connection(r) << "\n";
  }
  return kOk;
}

// The options of terminal add/set from words_[first] on, into the card.
int SettingsSession::applyOptions(std::size_t first, CardFields& card, bool adding) {
  bool tcp = false, port = false, speed = false, model = false;
  for (std::size_t i = first; i < words_.size(); ++i) {
    const std::string& o = words_[i];
    auto value = [&]() -> const std::string* { return i + 1 < words_.size() ? &words_[++i] : nullptr; };
    if (o == "--rs485" || o == "--no-rs485") {
      card.rs485 = o == "--rs485";
    } else if (o == "--echo" || o == "--no-echo") {
      card.echo = o == "--echo";
    } else if (o == "--continuous" || o == "--no-continuous") {
      card.continuousModemDownload = o == "--continuous";
    } else if (o == "--no-modem") {
      card.modem = false;
    } else if (o == "--description" || o == "--model" || o == "--address" || o == "--tcp" || o == "--port" ||
               o == "--speed" || o == "--modem" || o == "--modem-type" || o == "--modem-init") {
      const std::string* v = value();
      if (!v) return usage(o + " richiede un valore", kTerminalHelp);
      if (o == "--description") card.description = *v;
      if (o == "--address") card.address = *v;
      if (o == "--modem-init") card.modemInit = *v;
      if (o == "--model") {
        card.model = *v;
        model = true;
      }
      if (o == "--port") {
        card.port = *v;
        card.tcp = false;
        port = true;
      }
      if (o == "--speed") {
        std::string listed = cardSpeed(*v);
        card.speed = listed.empty() ? *v : listed;
        speed = true;
      }
      if (o == "--modem") {
        card.modem = true;
        card.phoneNumber = *v;
      }
      if (o == "--modem-type") {
        if (*v != "standard" && *v != "telit") {
          messages_.error("Errore: tipo di modem non valido: " + quotedArg(*v) + " (standard, telit).");
          return kUsage;
        }
        card.modemType = *v == "telit" ? 1 : 0;
      }
      if (o == "--tcp") {
        std::uint32_t ip = 0;
        std::string tcpPort;
        if (!parseTcp(*v, ip, tcpPort)) {
          messages_.error("Errore: indirizzo TCP non valido: " + quotedArg(*v) +
                          " (IP:PORTA, per esempio 192.168.1.10:3001).");
          return kUsage;
        }
        card.tcp = true;
        card.ip = ip;
        card.tcpPort = tcpPort;
        tcp = true;
      }
    } else {
      return usage("opzione sconosciuta " + quotedArg(o), kTerminalHelp);
    }
  }
  if (tcp && port) return usage("--tcp e --port si escludono", kTerminalHelp);
  if (adding && !model) return usage("terminal add richiede --model", kTerminalHelp);
  if (adding && !tcp && !(port && speed))
    return usage("terminal add richiede --tcp IP:PORTA oppure --port COMn --speed BAUD", kTerminalHelp);
  if (!adding && first == words_.size()) return usage("terminal set: nessun campo da cambiare", kTerminalHelp);
  return kOk;
}

int SettingsSession::save(const FileReport& loaded, const char* done, unsigned number) {
  if (!loaded.badLines.empty()) {
    if (!yes_) {
      err_ << "cfgctl: salvando " << printable(loaded.path) << " le " << loaded.badLines.size()
           << " righe ignorate andrebbero perse: nulla e` stato scritto (--yes salva comunque).\n";
      return kSetup;
    }
    err_ << "cfgctl: le " << loaded.badLines.size() << " righe ignorate non sono riscritte (--yes).\n";
  }
  std::string cause;
  if (!saveRegistry(files(), state_.registry, &cause)) {
    err_ << "cfgctl: " << printable(cause) << "\n";
    return kSetup;
  }
  out_ << "Terminale " << number << " " << done << ".\n";
  return kOk;
}

int SettingsSession::terminal() {
  if (words_.size() < 3 || (words_[1] != "add" && words_[1] != "set" && words_[1] != "remove"))
    return usage("uso: terminal add|set|remove NUMBER ...", kTerminalHelp);
  const std::string& verb = words_[1];
  bool adding = verb == "add";
  if (verb == "remove" && words_.size() != 3) return usage("uso: terminal remove NUMBER", kTerminalHelp);

  CardFields card = newCard();
  card.address.clear();
  card.number = words_[2];
  if (verb != "remove") {
    if (int rc = applyOptions(3, card, adding); rc != kOk) return rc;
  }
  auto number = parseDecimal(words_[2]);
  if (!number || *number < 1 || *number > 9999) {
    messages_.error(kBadNumberMessage);
    return kUsage;
  }
  if (!open()) return kSetup;
  FileReport loaded = loadRegistry(files(), state_.registry);
  if (!(adding && loaded.outcome == FileReport::Outcome::Missing)) reportFile(loaded, err_);  // the first add creates it
  if (loaded.outcome == FileReport::Outcome::Unreadable) return kSetup;
  unsigned n = static_cast<unsigned>(*number);
  std::optional<std::size_t> row = rowOfNumber(state_.registry, n);

  if (adding) {
    if (row) {
      err_ << "cfgctl: il terminale " << n << " e` gia` in " << printable(loaded.path)
           << ": \"terminal set\" lo modifica.\n";
      return kSetup;
    }
    if (std::string problem = cardInputProblem(card); !problem.empty()) {
      messages_.error(problem);
      return kUsage;
    }
    TerminalRecord added;
    if (storeCard(card, added, messages_) != CardError::None) return kUsage;
    if (state_.registry.rows.size() >= kRegistryCapacity) {
      messages_.error(kRegistryFullMessage);
      return kSetup;
    }
    state_.registry.rows.push_back(added);
    return save(loaded, "aggiunto", n);
  }

  if (!row) {
    err_ << "cfgctl: il terminale " << n << " non e` in " << printable(loaded.path) << ".\n";
    return kSetup;
  }
  TerminalRecord& target = state_.registry.rows[*row];
  if (verb == "remove") {
    if (!messages_.confirm(kDeleteTerminalQuestion, kDeleteTerminalTitle, Icon::Warning)) {
      err_ << "cfgctl: terminale non eliminato.\n";
      return kFailed;
    }
    deleteRow(state_.registry, *row);
    return save(loaded, "eliminato", n);
  }
  // set: the card opened on the row, the given fields changed, stored again.
  CardFields edited = cardFromRow(target);
  card = edited;
  if (int rc = applyOptions(3, card, false); rc != kOk) return rc;
  if (std::string problem = cardInputProblem(card, target.model); !problem.empty()) {
    messages_.error(problem);
    return kUsage;
  }
  TerminalRecord changed = target;
  if (storeCard(card, changed, messages_) != CardError::None) return kUsage;
  target = changed;
  return save(loaded, "modificato", n);
}

int SettingsSession::archives() {
  if (!open()) return kSetup;
  FileReport loaded;
  readArchiveSettings(state_, messages_, &loaded);
  if (loaded.outcome == FileReport::Outcome::Missing)
    err_ << "cfgctl: " << printable(loaded.problem()) << ": valgono le impostazioni predefinite.\n";
  else reportFile(loaded, err_);
  if (loaded.outcome == FileReport::Outcome::Unreadable) return kSetup;
  const ArchiveSettings& s = state_.archive;
  for (const ArchiveKind& k : kArchiveKinds) {
    const ArchiveSlot& slot = archiveSlots(k.kind)[k.slot];
    out_ << k.name << " " << (s.*slot.enabled ? "on " : "off") << " " << k.file;
    if (slot.format) out_ << " formato=" << quotedArg(s.*slot.format);
    if (!(s.*slot.copy2).empty()) out_ << " copia2=" << printable(s.*slot.copy2, false);
    if (!(s.*slot.copy3).empty()) out_ << " copia3=" << printable(s.*slot.copy3, false);
    out_ << "\n";
  }
  return kOk;
}

int SettingsSession::archivesSet() {
  if (words_.size() < 4) return usage("uso: archives set KIND on|off ...", kArchivesHelp);
  const ArchiveKind* kind = nullptr;
  for (const ArchiveKind& k : kArchiveKinds)
    if (words_[2] == k.name) kind = &k;
  if (!kind) return usage("archivio sconosciuto " + quotedArg(words_[2]) + " (reg, out, ou2, prd, cnt, mns)", kArchivesHelp);
  if (words_[3] != "on" && words_[3] != "off") return usage("dopo l'archivio: on oppure off", kArchivesHelp);
  std::optional<std::string> copy2, copy3, format;
  for (std::size_t i = 4; i < words_.size(); ++i) {
    const std::string& o = words_[i];
    if ((o != "--copy2" && o != "--copy3" && o != "--format") || i + 1 >= words_.size())
      return usage("opzione sconosciuta o senza valore " + quotedArg(o), kArchivesHelp);
    const std::string& v = words_[++i];
    (o == "--copy2" ? copy2 : o == "--copy3" ? copy3 : format) = v;
  }
  const ArchiveSlot& slot = archiveSlots(kind->kind)[kind->slot];
  if (format && !slot.format) return usage("--format vale solo per out e ou2", kArchivesHelp);
  for (const auto* copy : {&copy2, &copy3}) {
    if (*copy && !(*copy)->empty() && !std::filesystem::path(**copy).is_absolute()) {
      messages_.error("Errore: la copia " + quotedArg(**copy) + " va indicata con il percorso completo.");
      return kUsage;
    }
  }

  if (!open()) return kSetup;
  FileReport loaded;
  readArchiveSettings(state_, messages_, &loaded);
  if (loaded.outcome == FileReport::Outcome::Unreadable) {
    reportFile(loaded, err_);
    if (!yes_) {
      err_ << "cfgctl: nulla e` stato scritto; --yes riscrive il file partendo dai valori predefiniti.\n";
      return kSetup;
    }
    err_ << "cfgctl: il file e` riscritto partendo dai valori predefiniti (--yes).\n";
  }
  readFormatList(files(), state_.formats);

  ArchiveSettings& s = state_.archive;
  s.*slot.enabled = words_[3] == "on" ? 1 : 0;
  for (auto [given, field] : {std::pair{&copy2, slot.copy2}, std::pair{&copy3, slot.copy3}}) {
    if (!*given) continue;
    PathRefusal refusal = storeArchivePath(s.*field, **given);
    if (!refusal) {
      messages_.error(refusal.reason);
      return kUsage;
    }
  }
  if (format) s.*slot.format = *format;
  if (slot.format && (format || s.*slot.enabled) && !findFormat(state_.formats, s.*slot.format)) {
    messages_.error("Errore: il formato " + quotedArg(s.*slot.format) + " non e` in format.dat" +
                    (format ? "." : ": indicarne uno con --format."));
    return kUsage;
  }
  s.acquisitionOption = 0;  // as every confirmed archive choice stores it
  if (nothingChosen(s, kind->kind) && !messages_.confirm(kNothingChosenQuestion, kNothingChosenTitle, Icon::Warning)) {
    err_ << "cfgctl: impostazioni non salvate.\n";
    return kFailed;
  }
  std::string cause;
  if (!writeArchiveSettings(state_, messages_, &cause)) {
    err_ << "cfgctl: " << printable(cause) << "\n";
    return kSetup;
  }
  out_ << "Impostazioni degli archivi salvate in " << printable(loaded.path) << ".\n";
  return kOk;
}

}  // namespace

bool isSettingsCommand(const std::string& name) {
  return name == "terminals" || name == "terminal" || name == "archives";
}

std::string settingsHelp(const std::string& name) {
  if (name == "terminals") return kTerminalsHelp;
  if (name == "terminal") return kTerminalHelp;
  return kArchivesHelp;
}

int runSettings(const std::vector<std::string>& words, const std::string& directory, bool yes, std::ostream& out,
                std::ostream& err) {
  SettingsSession session(words, directory, yes, out, err);
  return session.run();
}

}  // namespace cfg::cli
