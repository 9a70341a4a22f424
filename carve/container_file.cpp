#include "carve/container_file.hpp"

#ifdef _WIN32

#include <system_error>

std::FILE* open_container(const std::filesystem::path& path) {
  return _wfopen(path.c_str(), L"rb");
}

// Windows files have no inode numbers in stat; equivalent() compares the
// volume serial number and file index of both files instead.
bool names_container(const char* name, std::FILE*, const std::filesystem::path& path) {
  if (path.empty()) {
    return false;
  }
  std::error_code ec;
  bool same = std::filesystem::equivalent(std::filesystem::path(name), path, ec);
  return !ec && same;
}

#else

#include <sys/stat.h>

std::FILE* open_container(const std::filesystem::path& path) {
  return std::fopen(path.c_str(), "rb");
}

// By identity, not by path: a FIFO or a device has no path that
// filesystem::equivalent accepts, yet writing to it destroys the input just
// as surely. stat follows links, as opening for writing would.
bool names_container(const char* name, std::FILE* file, const std::filesystem::path&) {
  int fd = file != nullptr ? fileno(file) : -1;
  struct stat container;
  struct stat output;
  if (fd < 0 || fstat(fd, &container) != 0 || stat(name, &output) != 0) {
    return false;
  }
  if (container.st_dev == output.st_dev && container.st_ino == output.st_ino) {
    return true;
  }
  // Two nodes of one disk: writing through either overwrites the other.
  return S_ISBLK(container.st_mode) && S_ISBLK(output.st_mode) &&
         container.st_rdev == output.st_rdev;
}

#endif
