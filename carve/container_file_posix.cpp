#include "carve/container_file.hpp"

// A POSIX path is bytes, and any bytes open.
std::FILE* open_container(const std::filesystem::path& path) {
  return std::fopen(path.c_str(), "rb");
}
