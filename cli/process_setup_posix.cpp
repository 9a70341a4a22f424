#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "cli/process_setup.hpp"

bool prepare_process() {
  // A reader of standard output that goes away (qvz2png ... | head) must
  // not end the carving: the report is lost, the images are not, and the
  // failed writes give status 1, as a full standard output does.
  std::signal(SIGPIPE, SIG_IGN);
  // Past a file size limit, the write fails with EFBIG instead, and the
  // half-written image is removed as after any failed write.
  std::signal(SIGXFSZ, SIG_IGN);
  // Started with 0, 1 or 2 closed, the next files opened would take those
  // numbers and the report would be written into an image. Read-only, so
  // that the report to a closed standard output still fails.
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) == -1 && errno == EBADF && open("/dev/null", O_RDONLY) != fd) {
      return false;
    }
  }
  return true;
}
