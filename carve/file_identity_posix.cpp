#include <sys/stat.h>

#include "carve/file_identity.hpp"

namespace {

file_identity identity_of(const struct stat& st) {
  file_identity id;
  id.known = true;
  id.volume = static_cast<std::uint64_t>(st.st_dev);
  id.index = static_cast<std::uint64_t>(st.st_ino);
  id.block_device = S_ISBLK(st.st_mode);
  id.disk = id.block_device ? static_cast<std::uint64_t>(st.st_rdev) : 0;
  return id;
}

}  // namespace

file_identity identify_file(std::FILE* stream) {
  struct stat st;
  const int fd = stream != nullptr ? fileno(stream) : -1;
  return fd >= 0 && fstat(fd, &st) == 0 ? identity_of(st) : file_identity{};
}

// stat follows links.
file_identity identify_name(const char* name) {
  struct stat st;
  return stat(name, &st) == 0 ? identity_of(st) : file_identity{};
}
