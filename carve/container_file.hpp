#ifndef QVZ2PNG_CARVE_CONTAINER_FILE_HPP
#define QVZ2PNG_CARVE_CONTAINER_FILE_HPP

#include <cstdio>
#include <filesystem>

// The container as a file of this platform: how it is opened by its path.

// Opens the file for reading in binary mode; null when it cannot be. On
// Windows the path is wide, so names outside the system code page open too.
std::FILE* open_container(const std::filesystem::path& path);

#endif
