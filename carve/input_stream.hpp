#ifndef QVZ2PNG_CARVE_INPUT_STREAM_HPP
#define QVZ2PNG_CARVE_INPUT_STREAM_HPP

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>

#include "carve/carve_events.hpp"
#include "carve/file_identity.hpp"
#include "carve/file_window.hpp"
#include "carve/map_or_read.hpp"
#include "carve/page_buffer.hpp"
#include "carve/read_ahead.hpp"

// The container, read strictly forward, a block at a time: from a mapped
// window of a cached regular file, or into one buffer of fixed size.
//
// The two indicators keep the meaning of a byte-at-a-time buffered stream:
// end_of_input is set by a read that finds no more bytes (consuming the last
// byte does not set it; asking for the next one does), read_error by a read
// that fails. Bytes delivered before a failure are consumed first.
//
// The read path, from the scanner and the extractor down:
//   consume_with(in, leaf)   runs the caller's leaf (the scan kernel, or a
//                            copy into the extractor's block) over held bytes;
//   refill                   when none are held: fill_from_file (a mapped
//                            window, or pread into the buffer; file_window)
//                            or fill_from_stream (fread into the buffer);
//   read_window              bytes of a mapped window go through it, and it
//                            through run_guarded (window_guard), so that a
//                            page the file lost meanwhile ends the reading as
//                            a read error instead of a SIGBUS;
//   leaf(data, size, context)  the work itself; it returns the bytes it used.
// Before each block, refill asks the system for what lies ahead of it
// (read_ahead). A regular file is read a stretch, a window's length, at a
// time, each mapped or read as map_or_read chooses from what the stretches
// before cost: refill times filling them, and the time between fills is
// the scan's, but for the copies of images (begin_image_copy), which cost
// what writing files costs. Each block taken in is told
// to the listener, with the bytes read so far. A read that fails is read again in page-sized
// pieces, so that every byte before the first unreadable page is still delivered.
struct input_stream {
  std::FILE* file = nullptr;
  file_identity identity;                    // no output may be opened over it
  std::uint64_t size = 0;                    // where it has one (a file, a disk); 0 where not
  std::uint64_t bytes_read = 0;              // taken in so far
  const carve_listener* listener = nullptr;  // told of each block taken in
  page_buffer buffer;                        // sized once, never grows
  const unsigned char* data = nullptr;       // the block held: in buffer or a window
  std::size_t pos = 0;                       // next unread byte of the block
  std::size_t len = 0;                       // bytes in the block
  bool end_of_input = false;
  bool read_error = false;
  file_window window;            // regular files are read by offset
  read_ahead ahead;              // files and disks: the disk kept busy ahead of the reading
  map_or_read choice;            // regular files: each stretch mapped or read
  stretch_tally stretch;         // what the stretch being read has cost so far
  bool copying = false;          // an image's copy: its time is no part of the scan's
  std::uint64_t copy_from = 0;   // bytes consumed when the copy began, or its stretch
  std::uint64_t scan_since = 0;  // when the scan last took over
  std::uint64_t (*clock)() = monotonic_ns;
};

struct input_options {
  std::size_t buffer_size = std::size_t{128} * 1024;
  std::size_t window_size = std::size_t{4} * 1024 * 1024;  // 0: never map; rounded down to pages
  std::uint64_t (*clock)() = monotonic_ns;  // what mapping and reading are timed with
};

// Opens the container for reading in binary mode; false when it cannot be.
bool open_input(input_stream& in, const std::filesystem::path& path,
                const input_options& options = {});

// Reads from a stream that is already open (a pipe, or a test's stream),
// through the stream alone.
void use_input(input_stream& in, std::FILE* file,
               std::size_t buffer_size = input_options{}.buffer_size);

void close_input(input_stream& in);

// Makes at least one unread byte available; false, with an indicator set,
// when there is none.
bool refill(input_stream& in);

// Runs leaf over up to max unread bytes (refilling first when none is held)
// and consumes as many as it returns. Bytes of a mapped window are read
// under a guard: where the file has shrunk under them, leaf runs again over
// the ones still there and the next refill fails with a read error. False,
// with an indicator set, when there was no byte to run it over.
bool consume_with(input_stream& in, std::size_t max, window_leaf leaf, void* context);

// The copy of an image begins, or ends: until it ends, the time taken is
// left out of what reading the container costs.
void begin_image_copy(input_stream& in);
void end_image_copy(input_stream& in);

// Copies up to max unread bytes to out and consumes them; returns how many
// (0 at the end of the input or on a read error).
std::size_t read_into(input_stream& in, unsigned char* out, std::size_t max);

// The next byte, 0 to 255, or -1 when no byte could be had.
inline int read_byte(input_stream& in) {
  unsigned char byte = 0;
  return read_into(in, &byte, 1) == 1 ? byte : -1;
}

#endif
