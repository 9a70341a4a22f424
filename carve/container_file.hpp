#ifndef QVZ2PNG_CARVE_CONTAINER_FILE_HPP
#define QVZ2PNG_CARVE_CONTAINER_FILE_HPP

#include <cstdio>
#include <filesystem>

// The container as a file of this platform: how it is opened by its path,
// and whether another name refers to it. The only place that knows how
// Windows and POSIX name and identify files.

// Opens the file for reading in binary mode; null when it cannot be. On
// Windows the path is wide, so names outside the system code page open too.
std::FILE* open_container(const std::filesystem::path& path);

// Whether opening name would reach the container that file reads (path is
// the name it was opened by, empty when it has none): the same file under
// any name or link, or for a FIFO or a device the same node. A name that
// does not exist yet is not the container.
bool names_container(const char* name, std::FILE* file, const std::filesystem::path& path);

#endif
