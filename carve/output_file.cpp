#include "carve/output_file.hpp"

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
