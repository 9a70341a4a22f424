#ifndef QVZ2PNG_CARVE_CONTAINER_FILE_HPP
#define QVZ2PNG_CARVE_CONTAINER_FILE_HPP

#include <cstdint>
#include <cstdio>
#include <filesystem>

// The container as a file of this platform: how it is opened by its path,
// how large it is, and how a pipe is read at speed.

// Opens the file for reading in binary mode; null when it cannot be. On
// Windows the path is wide, so names outside the system code page open too.
std::FILE* open_container(const std::filesystem::path& path);

// The size of a regular file or a disk, told without reading or moving in
// it; 0 for anything else (a pipe, a console, a stream of no file).
std::uint64_t container_size(std::FILE* file);

// Where the container is a pipe or a FIFO, raises what it holds, so that
// its writer blocks and is woken far less often: through a pipe of 64 KiB,
// the default, reading took four times as long. Anything else is left as
// it is, and so is a pipe that will not grow.
void widen_pipe(std::FILE* file);

#endif
