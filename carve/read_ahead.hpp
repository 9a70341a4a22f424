#ifndef QVZ2PNG_CARVE_READ_AHEAD_HPP
#define QVZ2PNG_CARVE_READ_AHEAD_HPP

#include <cstdint>
#include <cstdio>

// Keeps the disk busy ahead of the scan. A container that is not in memory
// yet comes off the disk only as fast as the system reads ahead of the
// reader, and most systems read ahead 128 KiB: the disk then waits while the
// tool scans, and the tool while the disk reads. So the tool asks for what
// lies ahead itself, a step at a time, keeping about depth bytes asked for
// beyond the byte it reads.
//
// These are hints, not reads: they never change what is read, and a system
// that refuses one is not asked again.
struct read_ahead {
  int fd = -1;                 // -1: nothing to ask (a pipe, a stream, a refusal)
  std::uint64_t asked_to = 0;  // every byte before this has been asked for
};

// Measured on a cold 1 GiB file at read-ahead 128 KiB and 8192 KiB: 4 MiB
// in 1 MiB steps kept the disk busiest at both; 8 MiB and more in flight
// read slower at both, and 16 MiB at 8192 KiB slower than asking nothing.
constexpr std::uint64_t read_ahead_depth = std::uint64_t{4} << 20;
constexpr std::uint64_t read_ahead_step = std::uint64_t{1} << 20;

// Sets ahead up for a regular file or a disk read from its start; leaves it
// unused for anything else, and where the platform reads ahead by itself.
void start_read_ahead(read_ahead& ahead, std::FILE* file);

// The reader is at offset: asks for the next step once the bytes asked for
// beyond it have fallen below the depth.
void ask_ahead(read_ahead& ahead, std::uint64_t offset);

#endif
