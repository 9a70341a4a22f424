#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "cli/job_stop.hpp"

namespace {

// Only what is safe in a handler: a write of a fixed text, then the stop
// itself, by the default action, with this handler back once continued.
extern "C" void erase_and_stop(int) {
  const int saved = errno;
  // A job in the background leaves the terminal alone.
  if (tcgetpgrp(STDERR_FILENO) == getpgrp()) {
    static const char erase[] = "\r\x1b[K";
    const ssize_t written = write(STDERR_FILENO, erase, sizeof erase - 1);
    static_cast<void>(written);  // a line that cannot be erased costs the run nothing
  }
  struct sigaction stop = {};
  stop.sa_handler = SIG_DFL;
  sigemptyset(&stop.sa_mask);
  struct sigaction ours = {};
  sigaction(SIGTSTP, &stop, &ours);
  sigset_t tstp;
  sigemptyset(&tstp);
  sigaddset(&tstp, SIGTSTP);
  sigprocmask(SIG_UNBLOCK, &tstp, nullptr);
  raise(SIGTSTP);  // stopped here until continued
  sigaction(SIGTSTP, &ours, nullptr);
  errno = saved;
}

}  // namespace

void erase_status_line_on_stop() {
  struct sigaction before = {};
  if (sigaction(SIGTSTP, nullptr, &before) != 0 || before.sa_handler == SIG_IGN) {
    return;
  }
  struct sigaction erase = {};
  erase.sa_handler = erase_and_stop;
  sigemptyset(&erase.sa_mask);
  erase.sa_flags = SA_RESTART;
  sigaction(SIGTSTP, &erase, nullptr);
}
