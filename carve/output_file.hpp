#ifndef QVZ2PNG_CARVE_OUTPUT_FILE_HPP
#define QVZ2PNG_CARVE_OUTPUT_FILE_HPP

#include <cstddef>

// An image's file, written through the system's own calls: opening, the
// writes and closing are all it costs, with nothing looked up twice.

// Creates name for writing, provided it does not exist yet: a file made new
// cannot be any file already open, so no look-up comes before it. -1 when
// it cannot be; *taken then says whether the name exists already.
int create_output(const char* name, bool* taken);

// Opens an existing name for writing, truncated, following a link as the
// C library's fopen would; -1 when it cannot be.
int replace_output(const char* name);

// Writes all of data; false when the system would not take it all.
bool write_output(int fd, const unsigned char* data, std::size_t size);

// One write: how many bytes of data the system took, at least one, or -1
// when it took none and will not (an interrupted write is tried again).
long write_some(int fd, const unsigned char* data, std::size_t size);

bool close_output(int fd);

#endif
