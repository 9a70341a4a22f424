#include "carve/output_file.hpp"

#include <cerrno>
#include <cstdio>

int reuse_output(const char* name, const off_limits& kept) {
  const int fd = open_taken_output(name);
  if (fd < 0) {
    return -1;
  }
  const file_identity opened = identify_descriptor(fd);
  if (opened.known && !opened.block_device && !same_file(opened, kept.container) &&
      !same_file(opened, kept.report) && (!opened.regular || truncate_output(fd))) {
    return fd;
  }
  // Nothing was written through it, so a failing close loses nothing.
  close_output(fd);
  return -1;
}

bool write_output(int fd, const unsigned char* data, std::size_t size) {
  while (size > 0) {
    const long n = write_some(fd, data, size);
    if (n <= 0) {
      return false;
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

bool remove_output(const char* name) {
  return std::remove(name) == 0 || errno == ENOENT;
}
