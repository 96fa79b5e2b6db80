#include "cfgctl/fingerprint_commands.h"

#include <stdlib.h>

#include <ostream>
#include <system_error>

#include "app/text_1252.h"
#include "cfgctl/cli.h"
#include "cfgctl/cli_support.h"
#include "cfgctl/table_commands.h"
#include "tables/fingerprints.h"

namespace cfg::cli {

namespace {

// A fresh folder for the template files, removed with its contents.
class ScratchFolder {
 public:
  ScratchFolder() {
    std::error_code ec;
    std::string pattern = (std::filesystem::temp_directory_path(ec) / "cfgctl-tpl-XXXXXX").string();
    if (ec) return;
    if (mkdtemp(pattern.data())) path_ = pattern;
  }
  ~ScratchFolder() {
    if (path_.empty()) return;
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

}  // namespace

int runFingerprintTable(const std::vector<std::string>& args, Link& link, const Messages& messages,
                        std::ostream& out, std::ostream& err, bool progress, const std::atomic<bool>* interrupted) {
  const bool send = args[0] == "send";
  const std::filesystem::path file = pathFromUtf8(args[2]);
  if (!fingerprintsEnabledFor(link.config.model)) {
    err << "cfgctl: il modello " << printable(link.config.model, false) << " non ha la tabella " << kFingerprintsName
        << ".\n";
    return kFailed;
  }
  ScratchFolder scratch;
  if (scratch.path().empty()) {
    err << "cfgctl: impossibile creare la cartella dei template.\n";
    return kFailed;
  }
  FingerprintList list(scratch.path());
  if (send) {
    // Template files named by a list file are looked for beside it.
    const std::filesystem::path referenceFolder = file.has_parent_path() ? file.parent_path() : ".";
    if (!loadFingerprintFile(file, referenceFolder, LoadMode::Replace, -1, list, messages)) {
      messages.error(kLoadFailed);
      return kFailed;
    }
    if (!confirmFingerprintCapacity(link.config.model, list.size(), messages)) {
      err << "cfgctl: nulla e` stato inviato.\n";
      return kFailed;
    }
  }
  const bool clearFirst = send && args.size() == 4;
  const int total = send ? static_cast<int>(list.size()) : kFingerprintsToRead;
  if (!runTableTransfer(
          send, total,
          [&](Worker& w) {
            return send ? sendFingerprints(w, link, messages, list, clearFirst) : receiveFingerprints(w, link, messages, list);
          },
          messages, err, progress, interrupted))
    return kFailed;
  if (send) {
    out << "Inviati " << list.size() << " record della tabella " << kFingerprintsName << ".\n";
    return kOk;
  }
  if (!saveFingerprintFile(file, list, messages)) {
    err << "cfgctl: impossibile scrivere " << printable(shownArg(args[2]), false) << ".\n";
    return kFailed;
  }
  out << "Ricevuti " << list.size() << " record della tabella " << kFingerprintsName << " in "
      << printable(shownArg(args[2]), false) << ".\n";
  return kOk;
}

}  // namespace cfg::cli
