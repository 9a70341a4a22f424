#include "cli/command_line.hpp"

bool narrow_argument(int argc, char** argv, container_arg* arg) {
  if (argc < 2) {
    return false;
  }
  arg->path = argv[1];
  arg->shown = argv[1];
  return true;
}

bool asks_for_usage(const container_arg& arg) {
  for (const char* ask : {"--help", "-h", "-?", "/?", "--version", "-V"}) {
    if (arg.shown == ask) {
      return true;
    }
  }
  return false;
}
