#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <thread>

#include "link/fd.h"

namespace cfg::sim {

// The listening side of a simulated bus: a Unix socket in a new private
// folder /tmp/<folderPrefix>XXXXXX, the thread that serves it, and a pipe
// that wakes that thread when the bus stops. The folder goes with the object.
class SimBusSocket {
 public:
  SimBusSocket(const char* folderPrefix, const char* socketName);
  ~SimBusSocket();
  SimBusSocket(const SimBusSocket&) = delete;
  SimBusSocket& operator=(const SimBusSocket&) = delete;

  // Makes the folder and the socket the first time; throws with the
  // system's reason when they cannot be made. Returns the socket's path.
  const std::string& listen();
  // Listens if not yet done and runs `loop` on the serving thread.
  void start(std::function<void()> loop);
  // Makes the wake pipe readable and joins the serving thread; false when
  // nothing was running. The pipe stays readable, so every poll on wake()
  // ends too.
  bool stop();

  int listener() const { return listener_.get(); }
  int wake() const { return wakeRead_.get(); }
  bool running() const { return running_; }
  const std::string& path() const { return socketPath_; }

 private:
  const char* folderPrefix_;
  const char* socketName_;
  std::filesystem::path folder_;
  std::string socketPath_;
  UniqueFd listener_;
  UniqueFd wakeRead_, wakeWrite_;
  std::thread thread_;
  bool running_ = false;
};

}  // namespace cfg::sim
