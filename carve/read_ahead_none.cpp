// Windows reads ahead by itself for a file opened for a sequential scan, as
// the container is (container_file_windows.cpp): there is nothing to ask.

#include "carve/read_ahead.hpp"

void start_read_ahead(read_ahead& ahead, std::FILE*) {
  ahead = read_ahead{};
}

void ask_ahead(read_ahead&, std::uint64_t) {}
