#include "carve/container_file.hpp"

#ifdef _WIN32

std::FILE* open_container(const std::filesystem::path& path) {
  return _wfopen(path.c_str(), L"rb");
}

#else

std::FILE* open_container(const std::filesystem::path& path) {
  return std::fopen(path.c_str(), "rb");
}

#endif
