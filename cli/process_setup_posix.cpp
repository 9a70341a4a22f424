#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "cli/process_setup.hpp"

namespace {

bool is_closed(int fd) {
  return fcntl(fd, F_GETFD) == -1 && errno == EBADF;
}

// Puts /dev/null on fd, read-only, so that a write to it still fails; false
// when there is no /dev/null to be had (a bare chroot or container image).
bool stand_in(int fd) {
  const int spare = open("/dev/null", O_RDONLY);
  if (spare < 0 || spare == fd) {
    return spare == fd;
  }
  const bool placed = dup2(spare, fd) == fd;
  close(spare);  // read-only, nothing written: its close loses nothing
  return placed;
}

}  // namespace

bool prepare_process() {
  // A reader of standard output that goes away (qvz2png ... | head) must
  // not end the carving: the report is lost, the images are not, and the
  // failed writes give status 1, as a full standard output does.
  std::signal(SIGPIPE, SIG_IGN);
  // Past a file size limit, the write fails instead, and the half-written
  // image is removed as after any failed write.
  std::signal(SIGXFSZ, SIG_IGN);
  // Started with standard output closed, the next file opened would take
  // its number and the report would be written into an image: it must be
  // filled, or nothing may be carved.
  if (is_closed(STDOUT_FILENO) && !stand_in(STDOUT_FILENO)) {
    return false;
  }
  // A closed standard error is filled where it can be, so that nothing the
  // C library might say there lands in an image; the tool writes nothing
  // to it. A closed standard input stays closed: the container may take
  // its number, which harms nothing, and /dev/stdin then names no file, as
  // it should.
  if (is_closed(STDERR_FILENO)) {
    stand_in(STDERR_FILENO);
  }
  return true;
}
