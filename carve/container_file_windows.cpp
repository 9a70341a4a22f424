#include "carve/container_file.hpp"

// The path is wide, so names outside the system code page open too.
std::FILE* open_container(const std::filesystem::path& path) {
  return _wfopen(path.c_str(), L"rb");
}
