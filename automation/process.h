// External programs of the scheduled activities.
//
// A command line is split into arguments the way a user types it: blanks
// separate words, double quotes group words (the quotes themselves are
// dropped). There is no shell: no variables, no redirection. The program is
// looked up on PATH, starts in the program's own directory and environment,
// and inherits no descriptor beyond standard input, output and error.
//
// Windows: the program is started with CreateProcess from the words quoted
// again as the C runtime splits them, inheriting no handle; its exit code is
// polled.
#pragma once

#include <sys/types.h>
#ifdef _WIN32
#include "platform/win32/os_handle.h"
#endif

#include <string>
#include <string_view>
#include <vector>

namespace cfg {

std::vector<std::string> splitCommandLine(std::string_view line);

// One started program, until its end has been collected. Moving hands the
// child over; a ChildProcess that goes away with its child still running
// leaves it running (reapOrphans collects it later).
class ChildProcess {
 public:
  ChildProcess() = default;
#ifdef _WIN32
  ChildProcess(ChildProcess&& other) noexcept
      : pid_(other.pid_), status_(other.status_), process_(std::move(other.process_)) {
    other.pid_ = -1;
  }
#else
  ChildProcess(ChildProcess&& other) noexcept : pid_(other.pid_) { other.pid_ = -1; }
#endif
  ChildProcess& operator=(ChildProcess&& other) noexcept;
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  ~ChildProcess();

  // Starts the command line. False (with the reason in `error`) when it is
  // empty or cannot be started; nothing runs then.
  bool start(std::string_view commandLine, std::string* error = nullptr);
  // True once the program has ended; its exit is then collected (never blocks).
  bool ended();
  bool running() const { return pid_ > 0; }
  pid_t pid() const { return pid_; }
  // The waitpid status of the ended program (Windows: its exit code).
  int exitStatus() const { return status_; }

 private:
  // The words of a command line this object may start now; false with the
  // reason when it still runs a program or the line is empty.
  bool wordsToStart(std::string_view commandLine, std::vector<std::string>& words, std::string* error) const;
  // Forgets the child: collected now when it has ended, later otherwise.
  void letGo() noexcept;

  pid_t pid_ = -1;
  int status_ = 0;
#ifdef _WIN32
  OsHandle process_;
#endif
};

// Collects the programs of ChildProcess objects that went away before their
// program ended (a deleted activity); never blocks. ended() calls it too.
void collectOrphanedChildren();

}  // namespace cfg
