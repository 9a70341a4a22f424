#include <sys/stat.h>

#include "carve/file_identity.hpp"

file_identity identify_descriptor(int fd) {
  struct stat st;
  file_identity id;
  if (fd < 0 || fstat(fd, &st) != 0) {
    return id;
  }
  id.known = true;
  id.volume = static_cast<std::uint64_t>(st.st_dev);
  id.index = static_cast<std::uint64_t>(st.st_ino);
  id.regular = S_ISREG(st.st_mode);
  id.block_device = S_ISBLK(st.st_mode);
  id.disk = id.block_device ? static_cast<std::uint64_t>(st.st_rdev) : 0;
  return id;
}

file_identity identify_file(std::FILE* stream) {
  return identify_descriptor(stream != nullptr ? fileno(stream) : -1);
}
