#include "cfgctl/cli.h"

#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <ostream>

#include "app/loading.h"
#include "app/process_state.h"
#include "app/registry.h"
#include "link/commands.h"
#include "link/hex.h"
#include "link/memory_view.h"
#include "link/status.h"
#include "records/acquisition.h"

namespace cfg::cli {

namespace {

const char* const kUsageText =
    "usage: cfgctl [-C DIR] [--trace FILE] [--yes] TERMINAL COMMAND [ARGS]\n"
    "\n"
    "TERMINAL is a terminal number of DIR/config.dat (DIR: the working directory,\n"
    "by default the current one). Commands:\n"
    "  acquire [attendance|production|canteen]   collect new records into the archives of acqreg.dat\n"
    "  retrieve KIND --from YYYY-MM-DD           collect stored records of that day and newer again\n"
    "  count KIND                                records not yet collected\n"
    "  erase --yes                               erase every record in the terminal\n"
    "  time get | time set                       read the terminal's clock, or set it to this PC's\n"
    "  version                                   firmware versions\n"
    "  status                                    status bits\n"
    "  reset [--defaults --yes]                  restart (with --defaults: restore defaults, all data lost)\n"
    "  output CHANNEL on|off|DURATION            switch output 1-4\n"
    "  memory read PAGE                          one 256-byte page, PAGE in hexadecimal\n"
    "  memory write PAGE OFFSET DATA             4 bytes (DATA: 8 hexadecimal digits) at OFFSET\n"
    "  direct TEXT                               send TEXT as command and data, show the reply\n"
    "\n"
    "COMMAND --help tells more. Exit codes: 0 done, 1 the operation failed (no answer,\n"
    "refused, archive not written, run stopped short), 2 bad command line, 3 setup\n"
    "(unknown terminal, settings, connection).\n";

const std::map<std::string, std::string> kCommandHelp = {
    {"acquire",
     "cfgctl TERMINAL acquire [attendance|production|canteen]\n"
     "Collects the records the terminal has not yet delivered (default: attendance) and appends\n"
     "them to the archives chosen in acqreg.dat. Each record is acknowledged to the terminal\n"
     "only once its lines are on disk. Prints \"Acquisite N registrazioni.\".\n"},
    {"retrieve",
     "cfgctl TERMINAL retrieve attendance|production|canteen --from YYYY-MM-DD\n"
     "Reads the stored records of that day and newer again (newest first) and appends them to\n"
     "the archives of acqreg.dat. The terminal's memory is unchanged.\n"},
    {"count", "cfgctl TERMINAL count attendance|production|canteen\nRecords not yet collected.\n"},
    {"erase", "cfgctl TERMINAL erase --yes\nErases every record in the terminal; refused without --yes.\n"},
    {"time", "cfgctl TERMINAL time get|set\nReads the terminal's clock, or sets it to this PC's local time.\n"},
    {"version", "cfgctl TERMINAL version\nFirmware version of the terminal and of its reader modules.\n"},
    {"status", "cfgctl TERMINAL status\nThe two status bytes and the name of every bit that is set.\n"},
    {"reset",
     "cfgctl TERMINAL reset [--defaults --yes]\nRestarts the terminal; with --defaults also restores its "
     "defaults (all data lost), which needs --yes.\n"},
    {"output", "cfgctl TERMINAL output CHANNEL on|off|DURATION\nSwitches output CHANNEL (1-4); DURATION 0-255.\n"},
    {"memory",
     "cfgctl TERMINAL memory read PAGE\ncfgctl TERMINAL memory write PAGE OFFSET DATA\n"
     "PAGE up to four hexadecimal digits, OFFSET two (a multiple of 4), DATA eight.\n"},
    {"direct", "cfgctl TERMINAL direct TEXT\nSends TEXT (at most 32 characters) as command and data.\n"},
};

// Answers every question without waiting: Yes/No by --yes, Retry/Cancel by Cancel.
class CliPrompt : public Prompt {
 public:
  CliPrompt(std::ostream& out, std::ostream& err, bool yes) : out_(out), err_(err), yes_(yes) {}

  Answer ask(const PromptRequest& r) override {
    std::lock_guard lock(mutex_);
    switch (r.buttons) {
      case Buttons::YesNo:
        if (yes_) return Answer::Yes;
        err_ << r.text << " -> No (--yes answers Yes)\n";
        return Answer::No;
      case Buttons::RetryCancel:
        err_ << r.text << "\n";
        failed_ = true;
        return Answer::Cancel;
      case Buttons::OkCancel:
        err_ << r.text << "\n";
        return Answer::Cancel;
      case Buttons::Ok:
        break;
    }
    if (r.icon == Icon::Error || r.icon == Icon::Warning) {
      err_ << r.text << "\n";
      if (r.icon == Icon::Error) failed_ = true;
    } else {
      out_ << r.text << "\n";
    }
    return Answer::Ok;
  }
  bool failed() const {
    std::lock_guard lock(mutex_);
    return failed_;
  }

 private:
  mutable std::mutex mutex_;
  std::ostream& out_;
  std::ostream& err_;
  bool yes_;
  bool failed_ = false;
};

struct Command {
  std::filesystem::path directory = ".";
  std::string trace;
  bool yes = false;
  bool help = false;
  std::string terminal;
  std::string name;
  std::vector<std::string> args;
};

std::optional<RecordKind> kindOf(const std::string& s) {
  if (s == "attendance") return RecordKind::Attendance;
  if (s == "production") return RecordKind::Production;
  if (s == "canteen") return RecordKind::Canteen;
  return std::nullopt;
}

// "YYYY-MM-DD" of a real day.
bool parseDay(const std::string& s, int& y, int& m, int& d) {
  if (s.size() != 10 || s[4] != '-' || s[7] != '-') return false;
  for (int i : {0, 1, 2, 3, 5, 6, 8, 9})
    if (s[i] < '0' || s[i] > '9') return false;
  y = std::stoi(s.substr(0, 4));
  m = std::stoi(s.substr(5, 2));
  d = std::stoi(s.substr(8, 2));
  static const int days[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m >= 1 && m <= 12 && d >= 1 && d <= days[m - 1];
}

class Session {
 public:
  Session(const Command& c, std::ostream& out, std::ostream& err, bool progress)
      : cmd_(c), out_(out), err_(err), progress_(progress), prompt_(out, err, c.yes), messages_(prompt_) {}

  int run();

 private:
  int usage(const std::string& why) {
    err_ << "cfgctl: " << why << "\n" << (kCommandHelp.count(cmd_.name) ? kCommandHelp.at(cmd_.name) : kUsageText);
    return kUsage;
  }
  int result(bool ok) const { return ok && !prompt_.failed() ? kOk : kFailed; }
  int records(bool retrieval, RecordKind kind, const std::string& reference);
  int memory();
  void showProgress(const ProgressUpdate& u) {
    if (progress_) err_ << "\rRegistrazioni: " << u.text << std::flush;
  }

  const Command& cmd_;
  std::ostream& out_;
  std::ostream& err_;
  bool progress_;
  CliPrompt prompt_;
  Messages messages_;
  ProcessState state_;
  Link link_;
};

int Session::records(bool retrieval, RecordKind kind, const std::string& reference) {
  // The archives of the batch configuration (acqreg.dat).
  RecordJob job{link_, messages_, state_.workingDirectory, state_.archive, state_.formats};
  RecordRun run;
  Worker worker;
  runHeadless(
      worker, messages_,
      [&](Worker& w) {
        if (retrieval) retrieve(w, job, kind, reference, run);
        else acquire(w, job, kind, run);
      },
      24 * 3600 * 1000, [&](const ProgressUpdate& u) { showProgress(u); });
  if (progress_) err_ << "\n";
  char text[64];
  std::snprintf(text, sizeof text, retrieval ? "Recuperate %d registrazioni." : "Acquisite %d registrazioni.",
                run.acquired.load());
  out_ << text << "\n";
  if (!run.completed) err_ << "cfgctl: the run stopped before its end; what was not acknowledged stays in the terminal\n";
  return result(run.completed);
}

int Session::memory() {
  const auto& a = cmd_.args;
  if (a.empty() || (a[0] == "read" && a.size() != 2) || (a[0] == "write" && a.size() != 4) ||
      (a[0] != "read" && a[0] != "write"))
    return usage("memory read PAGE | memory write PAGE OFFSET DATA");
  std::optional<std::uint16_t> page = parsePageText(messages_, a[1]);
  if (!page) return kUsage;
  MemoryPage view;
  view.page = *page;
  if (a[0] == "write") {
    if (!canWriteMemory(link_.config.model, *page)) {
      err_ << "cfgctl: page " << a[1] << " cannot be written on this model\n";
      return kFailed;
    }
    CommandResult r = writeMemoryGroup(link_, messages_, view, a[2], a[3]);
    if (r.badField != InputField::None) return kUsage;
    return result(r.ok);
  }
  Worker worker;
  runHeadless(worker, messages_, [&](Worker& w) { readMemoryPage(w, link_, messages_, *page, view); },
              10 * 60 * 1000);
  for (int row = 0; row < 16; ++row) {
    char line[16];
    std::snprintf(line, sizeof line, "%04X%02X:", *page, row * 16);
    out_ << line;
    for (int col = 0; col < 16; ++col) {
      int i = row * 16 + col;
      out_ << ' ' << (view.known[static_cast<std::size_t>(i / 4)] ? byteToHex(view.bytes[static_cast<std::size_t>(i)]) : "??");
    }
    out_ << "\n";
  }
  return result(view.groupsRead == 64);
}

int Session::run() {
  if (cmd_.help) {
    out_ << (kCommandHelp.count(cmd_.name) ? kCommandHelp.at(cmd_.name) : kUsageText);
    return kOk;
  }
  if (cmd_.terminal.empty() || cmd_.name.empty()) return usage("a terminal number and a command are needed");
  if (!kCommandHelp.count(cmd_.name)) return usage("unknown command \"" + cmd_.name + "\"");
  char* end = nullptr;
  long number = std::strtol(cmd_.terminal.c_str(), &end, 10);
  if (*end != '\0' || number < 1 || number > 9999) return usage("TERMINAL must be a terminal number (1-9999)");

  // Check the command line before anything talks to the terminal.
  const auto& a = cmd_.args;
  std::optional<RecordKind> kind;
  std::string reference;
  if (cmd_.name == "acquire") {
    if (a.size() > 1) return usage("acquire takes at most a record kind");
    kind = a.empty() ? RecordKind::Attendance : kindOf(a[0]);
    if (!kind) return usage("unknown record kind \"" + a[0] + "\"");
  } else if (cmd_.name == "retrieve") {
    int y, m, d;
    if (a.size() != 3 || !(kind = kindOf(a[0])) || a[1] != "--from" || !parseDay(a[2], y, m, d))
      return usage("retrieve KIND --from YYYY-MM-DD");
    reference = referenceDate(y, m, d);
  } else if (cmd_.name == "count") {
    if (a.size() != 1 || !(kind = kindOf(a[0]))) return usage("count attendance|production|canteen");
  } else if (cmd_.name == "erase") {
    if (!a.empty()) return usage("erase takes no arguments");
    if (!cmd_.yes) return usage("erasing every record needs --yes");
  } else if (cmd_.name == "time") {
    if (a.size() != 1 || (a[0] != "get" && a[0] != "set")) return usage("time get | time set");
  } else if (cmd_.name == "reset") {
    if (a.size() > 1 || (a.size() == 1 && a[0] != "--defaults")) return usage("reset [--defaults --yes]");
    if (!a.empty() && !cmd_.yes) return usage("restoring the defaults loses all data: add --yes");
  } else if (cmd_.name == "output") {
    if (a.size() != 2) return usage("output CHANNEL on|off|DURATION");
  } else if (cmd_.name == "direct") {
    if (a.size() != 1 || a[0].empty()) return usage("direct TEXT");
  } else if ((cmd_.name == "version" || cmd_.name == "status") && !a.empty()) {
    return usage(cmd_.name + " takes no arguments");
  }

  std::error_code ec;
  state_.workingDirectory = std::filesystem::absolute(cmd_.directory, ec);
  if (ec || !std::filesystem::is_directory(state_.workingDirectory)) {
    err_ << "cfgctl: " << cmd_.directory.string() << " is not a folder\n";
    return kSetup;
  }
  state_.batchOnStart = true;  // unattended: the loaders never stop on a box
  runLoadingSequence(state_, messages_);
  std::size_t row = state_.registry.rows.size();
  for (std::size_t i = 0; i < state_.registry.rows.size(); ++i)
    if (state_.registry.rows[i].number == number) row = i;
  if (row == state_.registry.rows.size()) {
    err_ << "cfgctl: terminal " << number << " is not in " << (state_.workingDirectory / kRegistryFile).string()
         << "\n";
    return kSetup;
  }
  if (!fillLinkFromRow(state_.registry, row, link_.config, messages_)) return kSetup;
  if (!cmd_.trace.empty()) {
    link_.trace = LinkTrace::open(cmd_.trace);
    if (!link_.trace) {
      err_ << "cfgctl: cannot write the trace " << cmd_.trace << "\n";
      return kSetup;
    }
  }
  if (!link_.open(messages_, PortMap::load(state_.workingDirectory))) return kSetup;

  const std::string& c = cmd_.name;
  if (c == "acquire") return records(false, *kind, {});
  if (c == "retrieve") return records(true, *kind, reference);
  if (c == "count") return result(showRecordCount(link_, messages_, *kind).has_value());
  if (c == "erase") return result(eraseAllRecords(link_, messages_));
  if (c == "time") {
    if (a[0] == "set") return result(setDateTimeNow(link_, messages_));
    std::string text;
    bool ok = readDateTime(link_, messages_, text);
    if (ok && text.empty()) err_ << "cfgctl: the terminal's answer holds no date and time\n";
    if (!text.empty()) out_ << text << "\n";
    return result(ok && !text.empty());
  }
  if (c == "version") return result(showFirmwareVersion(link_, messages_));
  if (c == "status") {
    std::optional<StatusBytes> bytes;
    if (!readStatus(link_, messages_, bytes) || !bytes) return kFailed;
    out_ << byteToHex(bytes->first) << " " << byteToHex(bytes->second) << "\n";
    if (auto labels = statusLabels(link_.config.model)) {
      StatusDisplay d = statusDisplay(*labels, *bytes);
      for (const auto& column : d)
        for (const auto& box : column)
          if (box.checked) out_ << "  " << box.label << "\n";
    }
    return result(true);
  }
  if (c == "reset") return result(a.empty() ? resetTerminal(link_, messages_) : resetWithDefaults(link_, messages_));
  if (c == "output") {
    OutputChoice choice = a[1] == "on" ? OutputChoice::On : a[1] == "off" ? OutputChoice::Off : OutputChoice::Duration;
    CommandResult r = sendOutputCommand(link_, messages_, a[0], choice, choice == OutputChoice::Duration ? a[1] : "");
    return r.badField != InputField::None ? kUsage : result(r.ok);
  }
  if (c == "memory") return memory();
  return result(sendDirectCommand(link_, messages_, a[0]).has_value());
}

}  // namespace

int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, bool progress) {
  Command cmd;
  std::size_t i = 0;
  auto needValue = [&](const char* option) -> const std::string* {
    if (i + 1 >= args.size()) {
      err << "cfgctl: " << option << " needs a value\n" << kUsageText;
      return nullptr;
    }
    return &args[++i];
  };
  // Options may come before the terminal or after the command.
  std::vector<std::string> positional;
  for (; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "-C") {
      const std::string* v = needValue("-C");
      if (!v) return kUsage;
      cmd.directory = *v;
    } else if (a == "--trace") {
      const std::string* v = needValue("--trace");
      if (!v) return kUsage;
      cmd.trace = *v;
    } else if (a == "--yes") {
      cmd.yes = true;
    } else if (a == "--help" || a == "-h") {
      cmd.help = true;
    } else {
      positional.push_back(a);
    }
  }
  if (!positional.empty() && kCommandHelp.count(positional[0])) {
    cmd.name = positional[0];  // "cfgctl acquire --help"
  } else if (positional.size() >= 2) {
    cmd.terminal = positional[0];
    cmd.name = positional[1];
    cmd.args.assign(positional.begin() + 2, positional.end());
  } else if (!positional.empty()) {
    cmd.terminal = positional[0];
  }
  if (args.empty()) {
    err << kUsageText;
    return kUsage;
  }
  Session session(cmd, out, err, progress);
  return session.run();
}

}  // namespace cfg::cli
