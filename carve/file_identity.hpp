#ifndef QVZ2PNG_CARVE_FILE_IDENTITY_HPP
#define QVZ2PNG_CARVE_FILE_IDENTITY_HPP

#include <cstdint>
#include <cstdio>

// Which file an open descriptor reads or writes, told apart from every
// other by identity, not by name: a FIFO, a device or the far end of a link
// has no name that a path comparison would match, yet opening it for
// writing destroys what it holds just as surely. Taken from what is open,
// never from a name, which may lead elsewhere by the time it is opened.
struct file_identity {
  bool known = false;        // false: a stream with no file behind it (a console)
  std::uint64_t volume = 0;  // POSIX: st_dev; Windows: the volume's serial number
  std::uint64_t index = 0;   // POSIX: st_ino; Windows: the file index
  bool regular = false;      // a regular file, which can be truncated
  bool block_device = false;
  std::uint64_t disk = 0;  // a block device's own number (st_rdev)
};

file_identity identify_descriptor(int fd);
file_identity identify_file(std::FILE* stream);

// Whether writing to one reaches the other: the same file under any name or
// link, or for a block device, another node of the same disk. An unknown
// identity is no file.
bool same_file(const file_identity& a, const file_identity& b);

#endif
