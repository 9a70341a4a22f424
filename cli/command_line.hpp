#ifndef QVZ2PNG_CLI_COMMAND_LINE_HPP
#define QVZ2PNG_CLI_COMMAND_LINE_HPP

#include <filesystem>
#include <string>

// The container that the command line names.
struct container_arg {
  std::filesystem::path path;  // to open it by
  std::string shown;           // to name it in messages, as the command line gave it
};

// The first argument after the program's name; false when there is none.
// On Windows it is taken from the wide command line, since the narrow one
// has already lost the characters that the system code page lacks; shown is
// then the code page's rendering, the text the narrow one holds.
bool container_from_command_line(int argc, char** argv, container_arg* arg);

// The first argument as the narrow command line holds it.
bool narrow_argument(int argc, char** argv, container_arg* arg);

// Whether an argument that names no file that opens is one of the ways of
// asking for help or the version (--help, -h, -?, /?, --version, -V).
bool asks_for_usage(const container_arg& arg);

#endif
