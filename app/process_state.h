// The process state: everything the program keeps between requests, in one
// aggregate that main owns and hands by reference to whoever needs a part.
#pragma once

#include <atomic>
#include <filesystem>
#include <string>

#include "app/archive_settings.h"
#include "app/registry.h"
#include "app/terminal_lock.h"
#include "automation/activities.h"
#include "link/handheld_list.h"
#include "link/link.h"
#include "link/port_map.h"
#include "link/prompt.h"
#include "link/worker.h"
#include "params/image.h"
#include "records/formats.h"

namespace cfg {

// The handhelds' factory password: while it stands, no plant password is set.
inline constexpr const char* kDefaultPlantPassword = "58203716";

struct ProcessState {
  // Switches from the command line, known before the settings are loaded.
  bool diagnostic = false;    // "-d": the readers show what they read
  bool autoSchedule = false;  // "-a": unattended start-up
  bool batchOnStart = false;  // a command-line batch runs: set before the settings load
  std::string batchPath;      // the batch file 40034 runs

  std::filesystem::path workingDirectory;  // the current directory at start-up
  std::string plantPassword = kDefaultPlantPassword;

  ArchiveSettings archive;  // acqreg.dat, used by batch runs
  ArchiveSettings recent;   // recent.dat, the last interactive choice
  ArchiveSettings live;     // what the archive writers use

  bool expertFunctions = false;  // enabdump.dat exists
  bool resetToDefault = false;   // resdeflt.dat exists

  Registry registry;
  TerminalRecord deskReader = deskReaderDefaults();
  // The desk reader settings were confirmed in this run; cleared when a desk
  // reader transaction fails, so that they are asked again (GUI thread only).
  bool deskReaderReady = false;
  FormatList formats;
  std::size_t scheduledActivities = 0;  // loaded from attivita.dat
  // The scheduled activities, shared by their list dialog and the scheduler.
  ActivityTable activities;
  // Set when the scheduler hands a batch to the main window, cleared when
  // that batch run has ended.
  std::atomic<bool> batchRunning{false};

  // The connection. The Link is filled from a registry row (or a handheld
  // entry) before it is opened and stays open until disconnect; a worker
  // uses it only while its modal dialog waits.
  Link link;
  PortMap ports;             // porte.dat of the working directory
  WorkerRecords workers;
  bool connected = false;        // a terminal (fixed or handheld) is connected
  bool modemConnected = false;   // the Link was dialled: hang up before closing
  bool reconnect = false;        // the next connect skips the selection dialog
  TerminalLock terminalLock;     // held while a registry terminal is connected
  ParameterState parameters;     // the connected terminal's parameter image and layout

  // What the last handheld search found, and which kind of search it was.
  HandheldList handhelds;
  HandheldListOrigin handheldOrigin = HandheldListOrigin::None;
  // Which Bluetooth stack the list dialog searches: "Microsoft" (the
  // system's) or "Widcomm" (the vendor's).
  BluetoothKind bluetoothDriver = BluetoothKind::SystemStack;
  // Set by a handheld scan of a background batch run when it has ended.
  std::atomic<bool> handheldScanDone{false};

  FileContext files(const Messages& messages) const {
    return FileContext{workingDirectory, messages, diagnostic};
  }
};

}  // namespace cfg
