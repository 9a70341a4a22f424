#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "carve/output_file.hpp"

// A link, even a dangling one, counts as taken.
int create_output(const char* name, bool* taken) {
  const int fd = open(name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  *taken = fd < 0 && errno == EEXIST;
  return fd;
}

int replace_output(const char* name) {
  return open(name, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
}

bool write_output(int fd, const unsigned char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = write(fd, data, size);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n <= 0) {
      return false;
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

bool close_output(int fd) {
  return close(fd) == 0;
}
