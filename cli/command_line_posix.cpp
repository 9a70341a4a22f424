#include "cli/command_line.hpp"

// A POSIX path is bytes, and any bytes open.
bool container_from_command_line(int argc, char** argv, container_arg* arg) {
  return narrow_argument(argc, argv, arg);
}
