#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>

#include "carve/container_file.hpp"

// A POSIX path is bytes, and any bytes open.
std::FILE* open_container(const std::filesystem::path& path) {
  return std::fopen(path.c_str(), "rb");
}

std::uint64_t container_size(std::FILE* file) {
  const int fd = file != nullptr ? fileno(file) : -1;
  struct stat st;
  if (fd < 0 || fstat(fd, &st) != 0) {
    return 0;
  }
  if (S_ISREG(st.st_mode)) {
    return static_cast<std::uint64_t>(st.st_size);
  }
  std::uint64_t disk = 0;
  return S_ISBLK(st.st_mode) && ioctl(fd, BLKGETSIZE64, &disk) == 0 ? disk : 0;
}

// 1 MiB, the most that a process without privileges may ask for.
void widen_pipe(std::FILE* file) {
  const int fd = fileno(file);
  struct stat st;
  if (fstat(fd, &st) == 0 && S_ISFIFO(st.st_mode)) {
    fcntl(fd, F_SETPIPE_SZ, 1 << 20);
  }
}
