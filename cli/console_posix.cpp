#include <sys/ioctl.h>
#include <unistd.h>

#include "carve/file_identity.hpp"
#include "cli/console.hpp"

bool is_console(std::FILE* stream) {
  return isatty(fileno(stream)) == 1;
}

int console_columns(std::FILE* stream) {
  struct winsize size;
  return ioctl(fileno(stream), TIOCGWINSZ, &size) == 0 ? size.ws_col : 0;
}

// The same terminal device, whichever descriptors reach it.
bool same_console(std::FILE* a, std::FILE* b) {
  return is_console(a) && is_console(b) && same_file(identify_file(a), identify_file(b));
}
