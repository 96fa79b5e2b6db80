// The serial port of a vendor-stack connection: a pseudo-terminal in raw
// mode whose master end is relayed, both ways, to the connection's stream
// socket. The program opens the other end as "COMn" with n = pts number + 1.
#pragma once

#include <string>

#include "link/fd.h"

namespace btbridge {

class PtyRelay {
 public:
  PtyRelay() = default;
  PtyRelay(const PtyRelay&) = delete;
  PtyRelay& operator=(const PtyRelay&) = delete;

  // Opens the pseudo-terminal and sets it raw; false when the system gives
  // none. Its terminal end is held open, so that the master never sees the
  // line hang up between two users of the port.
  bool open();
  // "/dev/pts/N" and N; -1 before open().
  const std::string& path() const { return path_; }
  int number() const { return number_; }

  // Relays until `streamFd` is closed by its peer or fails, or `stopFd`
  // becomes readable. Every wait, including a full buffer on either side,
  // also watches `stopFd`. The caller keeps owning both descriptors.
  void run(int streamFd, int stopFd);

 private:
  cfg::UniqueFd master_, terminal_;
  std::string path_;
  int number_ = -1;
};

}  // namespace btbridge
