#include "cfgctl/reader_id_commands.h"

#include <ostream>

#include "app/text_1252.h"
#include "cfgctl/cli.h"
#include "cfgctl/cli_support.h"
#include "tables/reader_identity.h"

namespace cfg::cli {

namespace {

constexpr std::size_t kDescriptionMax = 20;

bool validId(const std::string& id) {
  if (id.size() != 10) return false;
  for (char c : id)
    if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) return false;
  return true;
}

}  // namespace

const char* const kReaderIdHelp =
    "cfgctl TERMINAL reader-id\ncfgctl TERMINAL reader-id set ID DESC1 DESC2\n"
    "The reader identification of a handheld (usb:ID or bt:ID of an HND).\n"
    "reader-id: prints \"ID lettore:\", \"Descrizione 1:\" and \"Descrizione 2:\".\n"
    "set: ID is ten characters of 0-9 and A-F, DESC1 and DESC2 at most 20 characters each.\n"
    "The identification in force is read, its three fields replaced and the whole record\n"
    "written to the next slot; the old one is given up only once the new one is written,\n"
    "then the handheld restarts.\n"
    "Exit codes: 0 done; 1 not a handheld, no identification in force (nothing is written),\n"
    "no answer, or interrupted; 2 bad ID or description; 3 setup.\n";

std::string readerIdUsageProblem(const std::vector<std::string>& args) {
  const char* use = "uso: reader-id | reader-id set ID DESC1 DESC2";
  if (args.empty()) return {};
  if (args[0] != "set" || args.size() != 4) return use;
  if (!validId(args[1])) return kBadReaderId;
  for (std::size_t i = 2; i < 4; ++i) {
    auto text = utf8ToCp1252Exact(args[i]);
    if (!text) return "la descrizione " + std::to_string(i - 1) + " contiene un carattere che il palmare non ha";
    std::size_t n = text->size();
    if (n > kDescriptionMax)
      return "la descrizione " + std::to_string(i - 1) + " ha " + std::to_string(n) + " caratteri, al massimo " +
             std::to_string(kDescriptionMax);
  }
  return {};
}

int runReaderId(const std::vector<std::string>& args, Link& link, const Messages& messages, std::ostream& out,
                std::ostream& err, bool progress, const std::atomic<bool>* interrupted) {
  if (link.config.model != "HND  ") {
    err << "cfgctl: il modello " << printable(link.config.model, false)
        << " non ha l'identificazione lettore (solo i palmari).\n";
    return kFailed;
  }
  const bool set = !args.empty();
  ReaderIdentity identity;
  TableEnd end = TableEnd::Failed;
  auto show = [&](const ProgressUpdate& u) {
    if (progress) err << "\r" << kReceivingText << " " << u.second << "/" << kIdentitySlots << std::flush;
  };
  bool stopped = runInterruptible([&](Worker& w) { end = receiveReaderIdentity(w, link, messages, identity); },
                                  messages, interrupted, show) == WorkerEnd::Interrupted;
  if (progress) err << "\n";
  if (stopped || end != TableEnd::Done) {
    err << "cfgctl: lettura dell'identificazione non completata" << (set ? "; nulla e` stato scritto" : "")
        << ".\n";
    return kFailed;
  }
  if (!identity.found) {
    err << "cfgctl: nessuna identificazione lettore in vigore nel palmare"
        << (set ? "; nulla e` stato scritto" : "") << ".\n";
    return kFailed;
  }
  if (!set) {
    out << "ID lettore: " << identity.id() << "\n"
        << "Descrizione 1: " << cp1252ToUtf8(identity.description1()) << "\n"
        << "Descrizione 2: " << cp1252ToUtf8(identity.description2()) << "\n";
    return kOk;
  }
  identity.set(args[1], utf8ToCp1252(args[2]), utf8ToCp1252(args[3]));
  bool found = false;
  auto showSend = [&](const ProgressUpdate& u) {
    if (progress) err << "\r" << kSendingText << " " << u.second << "/" << kIdentitySlots << std::flush;
  };
  stopped = runInterruptible([&](Worker& w) { end = sendReaderIdentity(w, link, messages, identity, found); },
                             messages, interrupted, showSend) == WorkerEnd::Interrupted;
  if (progress) err << "\n";
  if (stopped || end != TableEnd::Done || !found) {
    err << "cfgctl: invio dell'identificazione non completato.\n";
    return kFailed;
  }
  out << "Identificazione lettore " << identity.id() << " inviata.\n";
  return kOk;
}

}  // namespace cfg::cli
