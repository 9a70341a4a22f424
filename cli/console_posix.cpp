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

// Erase to the end of the line: every terminal a POSIX system has knows it.
void write_row(std::FILE* stream, const std::string& text) {
  const std::string row = "\r" + text + "\x1b[K";
  std::fwrite(row.data(), 1, row.size(), stream);
}

bool in_foreground(std::FILE* stream) {
  const pid_t foreground = tcgetpgrp(fileno(stream));
  return foreground == -1 || foreground == getpgrp();
}
