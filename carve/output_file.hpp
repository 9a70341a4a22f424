#ifndef QVZ2PNG_CARVE_OUTPUT_FILE_HPP
#define QVZ2PNG_CARVE_OUTPUT_FILE_HPP

#include <cstddef>

#include "carve/off_limits.hpp"

// An image's file, written through the system's own calls: opening, the
// writes and closing are all it costs, with nothing looked up twice.

// Creates name for writing, provided it does not exist yet: a file made new
// cannot be any file already open, so no look-up comes before it. -1 when
// it cannot be; *taken then says whether the name exists already.
int create_output(const char* name, bool* taken);

// Opens a name that is taken already for writing, following a link as the
// C library's fopen would, and truncates it, provided that what was opened
// is none of the files kept names, nor a disk; -1 otherwise. Judged by the
// descriptor, not by the name, which may change between a look-up and the
// open.
int reuse_output(const char* name, const off_limits& kept);

// Writes all of data; false when the system would not take it all.
bool write_output(int fd, const unsigned char* data, std::size_t size);

// One write: how many bytes of data the system took, at least one, or -1
// when it took none and will not (an interrupted write is tried again).
long write_some(int fd, const unsigned char* data, std::size_t size);

bool close_output(int fd);

// Removes an output that did not reach the disk whole; false when it stays.
bool remove_output(const char* name);

// What each platform does its own way: opening a taken name for writing as
// it is, and truncating what was opened (a regular file).
int open_taken_output(const char* name);
bool truncate_output(int fd);

#endif
