#include "cli/command_line.hpp"

bool narrow_argument(int argc, char** argv, container_arg* arg) {
  if (argc < 2) {
    return false;
  }
  arg->path = argv[1];
  arg->shown = argv[1];
  return true;
}
