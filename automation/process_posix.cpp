#include "automation/process.h"

#include <spawn.h>
#include <sys/wait.h>

#include <csignal>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>

extern char** environ;

namespace cfg {

namespace {

// Children whose ChildProcess went away before they ended: collected by the
// next ended() call of any child, so that none stays a zombie.
std::mutex orphansMutex;
std::vector<pid_t> orphans;

}  // namespace

void collectOrphanedChildren() {
  std::lock_guard<std::mutex> guard(orphansMutex);
  std::erase_if(orphans, [](pid_t pid) {
    int status = 0;
    pid_t r = ::waitpid(pid, &status, WNOHANG);
    return r == pid || (r < 0 && errno == ECHILD);
  });
}

ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept {
  if (this != &other) {
    letGo();
    pid_ = other.pid_;
    status_ = other.status_;
    other.pid_ = -1;
  }
  return *this;
}

ChildProcess::~ChildProcess() { letGo(); }

void ChildProcess::letGo() noexcept {
  if (pid_ <= 0 || ended()) return;
  try {
    std::lock_guard<std::mutex> guard(orphansMutex);
    orphans.push_back(pid_);
  } catch (...) {
    // Out of memory: the child stays unreaped until the program ends.
  }
  pid_ = -1;
}

bool ChildProcess::start(std::string_view commandLine, std::string* error) {
  std::vector<std::string> words;
  if (!wordsToStart(commandLine, words, error)) return false;
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  if (int rc = posix_spawn_file_actions_init(&actions); rc != 0) {
    if (error) *error = std::strerror(rc);
    return false;
  }
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
  // Every descriptor is opened close-on-exec already; this also covers any
  // that a library opened without it.
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);
#endif
  // The program starts with no signal blocked and SIGPIPE at its default,
  // whatever this program's threads block or ignore.
  posix_spawnattr_t attributes;
  if (int rc = posix_spawnattr_init(&attributes); rc != 0) {
    posix_spawn_file_actions_destroy(&actions);
    if (error) *error = std::strerror(rc);
    return false;
  }
  sigset_t none, defaults;
  sigemptyset(&none);
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  pid_t pid = -1;
  int rc = ::posix_spawnp(&pid, argv[0], &actions, &attributes, argv.data(), environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) {
    if (error) *error = std::strerror(rc);
    return false;
  }
  pid_ = pid;
  status_ = 0;
  return true;
}

bool ChildProcess::ended() {
  collectOrphanedChildren();
  if (pid_ <= 0) return true;
  int status = 0;
  pid_t r = ::waitpid(pid_, &status, WNOHANG);
  if (r == 0) return false;
  if (r < 0 && errno == EINTR) return false;
  status_ = r == pid_ ? status : 0;
  pid_ = -1;  // ended, or no longer ours to wait for (ECHILD)
  return true;
}

}  // namespace cfg
