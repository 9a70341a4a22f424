#ifndef QVZ2PNG_CARVE_FILE_IDENTITY_HPP
#define QVZ2PNG_CARVE_FILE_IDENTITY_HPP

#include <cstdint>
#include <cstdio>

// Which file an open stream reads or writes, told apart from every other
// by identity, not by name: a FIFO, a device or the far end of a link has
// no name that a path comparison would match, yet opening it for writing
// destroys what it holds just as surely. Taken once, when the stream is
// opened; its identity cannot change while it stays open.
struct file_identity {
  bool known = false;        // false: a stream with no file behind it (a console)
  std::uint64_t volume = 0;  // POSIX: st_dev; Windows: the volume's serial number
  std::uint64_t index = 0;   // POSIX: st_ino; Windows: the file index
  bool block_device = false;
  std::uint64_t disk = 0;  // a block device's own number (st_rdev)
};

file_identity identify_file(std::FILE* stream);

// What opening name would reach, following links as opening for writing
// would; unknown when the name does not exist.
file_identity identify_name(const char* name);

// Whether opening name would reach that file: the same file under any name
// or link, or for a block device, another node of the same disk. A name
// that does not exist is no file.
bool names_file(const char* name, const file_identity& file);

#endif
