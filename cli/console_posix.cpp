#include <sys/ioctl.h>
#include <unistd.h>

#include "cli/console.hpp"

bool is_console(std::FILE* stream) {
  return isatty(fileno(stream)) == 1;
}

int console_columns(std::FILE* stream) {
  struct winsize size;
  return ioctl(fileno(stream), TIOCGWINSZ, &size) == 0 ? size.ws_col : 0;
}

bool in_foreground(std::FILE* stream) {
  const pid_t foreground = tcgetpgrp(fileno(stream));
  return foreground == -1 || foreground == getpgrp();
}
