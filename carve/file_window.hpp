#ifndef QVZ2PNG_CARVE_FILE_WINDOW_HPP
#define QVZ2PNG_CARVE_FILE_WINDOW_HPP

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "carve/window_guard.hpp"

// A regular file read forward by offset. Where the platform can, the file is
// mapped a window at a time and scanned in place, which spares copying every
// byte into a buffer; a window whose pages cannot all be read in is read into
// the caller's buffer instead, so that an I/O error is reported as a read
// error rather than raised as a signal. So is a window not in memory yet:
// read by offset, with the system asked ahead (read_ahead), it comes off the
// disk faster than paged in; and so is any stretch the caller chooses to
// read (map_or_read). A window is unmapped before the next is taken, so
// memory stays constant.
//
// A file found shorter than it was at open (another program shortened it)
// ends the reading with a read error at the first byte that is gone.
struct file_window {
  int fd = -1;                   // -1: not a file read this way
  std::uint64_t offset = 0;      // of the first byte not yet delivered
  std::uint64_t mappable = 0;    // file size at open; windows stay within it
  std::uint64_t read_until = 0;  // reading, not mapping, up to this offset
  std::size_t window_size = 0;   // 0: never map
  std::size_t page = 4096;       // the system's page size, asked once
  std::size_t next_size = 0;     // the next window's length, where not window_size
  void* map = nullptr;
  void* last_map = nullptr;  // where the last window lay: the next is asked to lie there too
  std::size_t map_len = 0;
  bool failed = false;          // reading failed or found the file shrunk: the next fill fails
  bool ask_by_reading = false;  // whether a window is in memory: mincore would not tell
  bool guarded = false;         // the guard is armed, from the first window mapped to the detach
  bool resident = false;        // the bytes being delivered were found in memory
};

// Sets the window up for a regular file on a platform that reads by offset;
// false (and the window unused) otherwise.
bool attach_file_window(file_window& window, std::FILE* file, std::size_t window_size);

// The next bytes of the file: a mapped window, or up to size bytes read into
// buffer. Returns their count and sets *data; 0 at the end of the file, -1
// when reading failed. Releases the window delivered before.
std::ptrdiff_t fill_from_file(file_window& window, unsigned char* buffer, std::size_t size,
                              const unsigned char** data);

void release_window(file_window& window);

// Releases the window, and the guard with it: the file is read no more.
void detach_file_window(file_window& window);

// Whether the next fill begins a stretch, a window's length that is either
// mapped or read: where a choice between the two can be made.
bool at_stretch_start(const file_window& window);

// Reads the stretch that begins here into the buffer instead of mapping it,
// and finds out whether it is in memory, as a window to be mapped would.
void read_stretch(file_window& window);

// Makes the stretch that begins here half as long, read or mapped.
void halve_next_stretch(file_window& window);

// Runs leaf over data[0, *size), which lies in the window delivered last,
// and returns what it returns. Where the file has shrunk under those bytes,
// the leaf runs again over the ones still there, *size becomes their count,
// and the next fill fails.
std::size_t read_window(file_window& window, const unsigned char* data, std::size_t* size,
                        window_leaf leaf, void* context);

#endif
