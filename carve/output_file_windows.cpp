#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cerrno>
#include <climits>

#include "carve/output_file.hpp"

// The C library's descriptors, as on POSIX: _O_EXCL creates a name that
// does not exist yet; _O_BINARY keeps every byte as it is.
int create_output(const char* name, bool* taken) {
  const int fd = _open(name, _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
  *taken = fd < 0 && errno == EEXIST;
  return fd;
}

// Without _O_TRUNC: nothing of what it opens is lost before it is judged.
int open_taken_output(const char* name) {
  return _open(name, _O_WRONLY | _O_CREAT | _O_BINARY, _S_IREAD | _S_IWRITE);
}

bool truncate_output(int fd) {
  return _chsize_s(fd, 0) == 0;
}

long write_some(int fd, const unsigned char* data, std::size_t size) {
  const unsigned piece = size < INT_MAX ? static_cast<unsigned>(size) : INT_MAX;
  const int n = _write(fd, data, piece);
  return n > 0 ? n : -1;
}

bool close_output(int fd) {
  return _close(fd) == 0;
}
