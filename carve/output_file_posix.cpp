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

// Without O_TRUNC: nothing of what it opens is lost before it is judged.
// O_CREAT, for a name that went away meanwhile.
int open_taken_output(const char* name) {
  return open(name, O_WRONLY | O_CREAT | O_CLOEXEC | O_NOCTTY, 0666);
}

bool truncate_output(int fd) {
  return ftruncate(fd, 0) == 0;
}

long write_some(int fd, const unsigned char* data, std::size_t size) {
  ssize_t n;
  do {
    n = write(fd, data, size);
  } while (n < 0 && errno == EINTR);
  return n > 0 ? static_cast<long>(n) : -1;
}

bool close_output(int fd) {
  return close(fd) == 0;
}
