#include "cfgctl/acquire_all.h"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <map>
#include <mutex>
#include <optional>
#include <ostream>
#include <set>
#include <sstream>
#include <system_error>
#include <thread>

#include "app/loading.h"
#include "app/process_state.h"
#include "cfgctl/cli.h"
#include "cfgctl/cli_support.h"

namespace cfg::cli {

namespace {

std::string numberText(unsigned number) {
  char text[8];
  std::snprintf(text, sizeof text, "%04u", number % 10000);
  return text;
}

std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);)
    if (!line.empty()) lines.push_back(line);
  return lines;
}

// What one terminal's run said, turned into its result line and details.
void report(unsigned number, int rc, const std::string& said, const std::string& problems, std::ostream& out,
            std::ostream& err) {
  const std::string n = numberText(number);
  std::vector<std::string> info = linesOf(said);
  std::vector<std::string> errors = linesOf(problems);
  bool counted = std::any_of(info.begin(), info.end(),
                             [](const std::string& l) { return l.rfind("Acquisite ", 0) == 0; });
  for (const std::string& l : info) out << n << ' ' << l << '\n';
  std::size_t first = 0;
  if (!counted) {
    // A run that ended before collecting: its first error is its result.
    out << n << ' ' << (errors.empty() ? std::string(rc == kOk ? "fatto." : "non acquisito.") : errors[0]) << '\n';
    first = errors.empty() ? 0 : 1;
  }
  for (std::size_t i = first; i < errors.size(); ++i) err << n << ' ' << errors[i] << '\n';
  out.flush();
  err.flush();
}

}  // namespace

bool isAcquireAllCommand(const std::vector<std::string>& positional) {
  return !positional.empty() && positional[0] == "acquire" &&
         std::find(positional.begin() + 1, positional.end(), "--all") != positional.end();
}

std::vector<std::vector<std::size_t>> acquisitionGroups(const std::vector<TerminalRecord>& rows,
                                                        const PortMap& ports) {
  std::set<unsigned> seen;
  std::set<std::string> modemLines;
  for (const TerminalRecord& r : rows)
    if (r.modem && !r.tcp) modemLines.insert(ports.devicePath(r.port));

  std::vector<std::vector<std::size_t>> groups;
  std::map<std::string, std::size_t> byLine;  // a serial device, or "" for the modem rows
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const TerminalRecord& r = rows[i];
    if (!seen.insert(r.number).second) continue;
    if (r.tcp) {
      groups.push_back({i});
      continue;
    }
    std::string device = ports.devicePath(r.port);
    std::string key = r.modem || modemLines.count(device) ? std::string() : device;
    auto [it, added] = byLine.try_emplace(key, groups.size());
    if (added) groups.emplace_back();
    groups[it->second].push_back(i);
  }
  return groups;
}

int runAcquireAll(const std::vector<std::string>& positional, const std::filesystem::path& directory, bool yes,
                  std::ostream& out, std::ostream& err, const std::atomic<bool>* interrupted) {
  std::vector<std::string> words;
  for (std::size_t i = 1; i < positional.size(); ++i)
    if (positional[i] != "--all") words.push_back(positional[i]);
  if (words.size() > 1) {
    err << "cfgctl: acquire --all accetta al massimo un tipo di registrazioni\n"
        << "uso: cfgctl [-C DIR] [--yes] acquire --all [attendance|production|canteen]\n";
    return kUsage;
  }
  const std::string kindWord = words.empty() ? "attendance" : words[0];
  std::optional<RecordKind> kind = recordKindOf(kindWord);
  if (!kind) {
    err << "cfgctl: tipo di registrazioni sconosciuto \"" << printable(shownArg(kindWord), false) << "\"\n"
        << "uso: cfgctl [-C DIR] [--yes] acquire --all [attendance|production|canteen]\n";
    return kUsage;
  }

  // The plant's settings, read and reported once for every terminal.
  ProcessState state;
  CliPrompt prompt(out, err, yes);
  Messages messages(prompt);
  std::optional<LoadingReport> read = loadUnattended(directory, state, messages, err);
  if (!read) return kSetup;
  const LoadingReport& loaded = *read;
  reportFile(loaded.registry, err);
  if (int rc = checkArchiveSettings(state.archive, *kind, loaded.archive, messages, {}, err); rc != kOk) return rc;

  const std::vector<TerminalRecord>& rows = state.registry.rows;
  std::vector<std::vector<std::size_t>> groups = acquisitionGroups(rows, PortMap::load(state.workingDirectory));
  std::size_t terminals = 0;
  for (const auto& g : groups) terminals += g.size();
  if (terminals == 0) {
    err << "cfgctl: " << printable(shownArg((state.workingDirectory / kRegistryFile).string())) << " non elenca alcun terminale.\n";
    return kSetup;
  }

  std::mutex printing;
  std::atomic<std::size_t> next{0};
  std::atomic<std::size_t> failed{0};
  auto collect = [&] {
    for (std::size_t g = next++; g < groups.size(); g = next++) {
      for (std::size_t row : groups[g]) {
        const unsigned number = rows[row].number;
        std::ostringstream said, problems;
        int rc = kFailed;
        if (interrupted && interrupted->load()) {
          problems << "cfgctl: interrotto prima del collegamento.\n";
        } else {
          try {
            rc = acquireTerminal(state.workingDirectory, number, kindWord, yes, said, problems, interrupted);
          } catch (const std::exception& e) {
            problems << "cfgctl: errore interno: " << printable(e.what()) << "\n";
          }
        }
        if (rc != kOk) ++failed;
        std::lock_guard<std::mutex> lock(printing);
        report(number, rc, said.str(), problems.str(), out, err);
      }
    }
  };
  std::vector<std::thread> threads;
  const std::size_t count = std::min(groups.size(), kMaxParallelLines);
  for (std::size_t i = 1; i < count; ++i) {
    try {
      threads.emplace_back(collect);
    } catch (const std::system_error&) {
      break;  // fewer threads share the same groups
    }
  }
  collect();  // this thread takes its share too
  for (std::thread& t : threads) t.join();

  if (failed > 0) {
    err << "cfgctl: " << failed.load() << " terminali su " << terminals << " non acquisiti del tutto.\n";
    return kFailed;
  }
  return kOk;
}

}  // namespace cfg::cli
