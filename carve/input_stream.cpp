#include "carve/input_stream.hpp"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "carve/container_file.hpp"

bool open_input(input_stream& in, const std::filesystem::path& path, const input_options& options) {
  std::FILE* file = open_container(path);
  if (file == nullptr) {
    return false;
  }
  use_input(in, file, options.buffer_size);
  in.clock = options.clock;
  start_read_ahead(in.ahead, file);
  if (attach_file_window(in.window, file, options.window_size)) {
    return true;
  }
  // Our own buffer does the buffering; a second one in the stream would
  // only copy every byte once more.
  std::setvbuf(file, nullptr, _IONBF, 0);
  widen_pipe(file);
  return true;
}

void use_input(input_stream& in, std::FILE* file, std::size_t buffer_size) {
  in.file = file;
  in.identity = identify_file(file);
  in.size = container_size(file);
  in.bytes_read = 0;
  in.buffer = allocate_page_buffer(std::max<std::size_t>(buffer_size, 1));
  in.data = in.buffer.bytes.get();
  in.pos = 0;
  in.len = 0;
  in.end_of_input = false;
  in.read_error = false;
  in.window = file_window{};
  in.ahead = read_ahead{};
  in.choice = map_or_read{};
  in.stretch = stretch_tally{};
  in.copying = false;
  in.copy_from = 0;
}

void close_input(input_stream& in) {
  detach_file_window(in.window);
  // Nothing was written to the container, so a failing close loses nothing.
  if (in.file != nullptr) {
    std::fclose(in.file);
  }
  in.file = nullptr;
}

namespace {

// After a failed read of a stream that can be repositioned (a disk, or any
// file on Windows): the stretch again from start, a sector-sized piece at a
// time, up to the first piece that fails, which leaves the stream's error
// set there. A disk fails whole sectors, and every byte before a bad one is
// still to be had. Blocks begin at multiples of the buffer's size, and so
// of the piece's. Returns the bytes had, at least the got already read.
std::size_t read_up_to_bad_sector(input_stream& in, const std::fpos_t& start, std::size_t got) {
  constexpr std::size_t piece = 4096;
  if (std::fsetpos(in.file, &start) != 0) {
    return got;  // the error stays set where it was met
  }
  std::clearerr(in.file);
  std::size_t again = 0;
  while (again < in.buffer.size) {
    const std::size_t want = std::min(piece, in.buffer.size - again);
    const std::size_t n = std::fread(in.buffer.bytes.get() + again, 1, want, in.file);
    again += n;
    if (n < want) {
      break;
    }
  }
  return std::max(again, got);
}

// Returns the number of bytes read into the buffer, 0 at end, -1 on error.
std::ptrdiff_t fill_from_stream(input_stream& in) {
  in.data = in.buffer.bytes.get();
  // The stream's own indicators are sticky: once a block read has met the
  // end or a failure, the byte after the last one delivered is where a
  // byte-at-a-time reader would have met it too.
  if (std::ferror(in.file) == 0 && std::feof(in.file) == 0) {
    std::fpos_t start;
    const bool repositionable = std::fgetpos(in.file, &start) == 0;
    std::size_t n = std::fread(in.buffer.bytes.get(), 1, in.buffer.size, in.file);
    if (std::ferror(in.file) != 0 && repositionable) {
      n = read_up_to_bad_sector(in, start, n);
    }
    if (n > 0) {
      return static_cast<std::ptrdiff_t>(n);
    }
  }
  return std::ferror(in.file) != 0 ? -1 : 0;
}

// The bytes consumed so far.
std::uint64_t consumed(const input_stream& in) {
  return in.bytes_read - (in.len - in.pos);
}

// What the copy of an image took of the stretch so far.
void count_copied(input_stream& in) {
  in.stretch.copied += consumed(in) - in.copy_from;
  in.copy_from = consumed(in);
}

// Where the stretch is timed, the scan so far is counted and the fill's
// clock started; 0 where it is not.
std::uint64_t start_fill(input_stream& in) {
  if (!in.stretch.timed) {
    return 0;
  }
  const std::uint64_t started = in.clock();
  if (!in.copying) {
    in.stretch.scan_ns += started - in.scan_since;
  }
  return started;
}

// The next block of a file read by offset, its filling timed from started
// where its stretch is. Where a stretch begins, the one before is weighed
// and this one's way chosen; letting the window before go counts with it.
std::ptrdiff_t fill_stretch(input_stream& in, std::uint64_t started) {
  const bool begins = at_stretch_start(in.window);
  if (begins) {
    if (in.copying) {
      count_copied(in);
    }
    weigh_stretch(in.choice, in.stretch);
    const bool timed_before = in.stretch.timed;
    const bool in_memory = in.stretch.counts;
    in.stretch = stretch_tally{};
    in.stretch.way = choose_way(in.choice);
    in.stretch.timed = times_next(in.choice);
    if (in.stretch.way == reach_way::read) {
      read_stretch(in.window);
    }
    // Where the stretch before was not in memory, a window's last page,
    // which tells, lies twice as far ahead as a half window's.
    if (in_memory && half_stretch(in.choice)) {
      halve_next_stretch(in.window);
    }
    if (in.stretch.timed && !timed_before) {
      started = in.clock();
    }
  }
  const std::ptrdiff_t n =
      fill_from_file(in.window, in.buffer.bytes.get(), in.buffer.size, &in.data);
  if (begins) {
    // A window not in memory, or not to be read in, is read whatever was
    // chosen: what it costs says nothing of mapping, nor of reading what is
    // in memory.
    in.stretch.counts =
        in.window.resident && (in.data == in.window.map) == (in.stretch.way == reach_way::mapped);
    in.stretch.timed = in.stretch.timed && in.stretch.counts;  // nothing to weigh: no clock
  }
  in.stretch.bytes += n > 0 ? static_cast<std::uint64_t>(n) : 0;
  if (in.stretch.timed) {
    in.scan_since = in.clock();
    in.stretch.fill_ns += in.scan_since - started;
  }
  return n;
}

}  // namespace

bool refill(input_stream& in) {
  if (in.end_of_input || in.read_error) {
    return false;
  }
  const std::uint64_t started = in.window.fd >= 0 ? start_fill(in) : 0;
  // After a window or stretch found in memory, what follows most likely is
  // too, and asking for it would walk its pages for nothing: a tenth to a
  // fifth of the time a cached file takes to read.
  if (!in.window.resident) {
    ask_ahead(in.ahead, in.bytes_read);
  }
  const std::ptrdiff_t n = in.window.fd >= 0 ? fill_stretch(in, started) : fill_from_stream(in);
  in.pos = 0;
  in.len = n > 0 ? static_cast<std::size_t>(n) : 0;
  in.end_of_input = n == 0;
  in.read_error = n < 0;
  if (n <= 0) {
    return false;
  }
  in.bytes_read += in.len;
  tell_read(in.listener, in.bytes_read);
  return true;
}

void begin_image_copy(input_stream& in) {
  if (in.stretch.timed) {
    in.stretch.scan_ns += in.clock() - in.scan_since;
  }
  in.copying = true;
  in.copy_from = consumed(in);
}

void end_image_copy(input_stream& in) {
  count_copied(in);
  in.copying = false;
  if (in.stretch.timed) {
    in.scan_since = in.clock();
  }
}

bool consume_with(input_stream& in, std::size_t max, window_leaf leaf, void* context) {
  if (in.pos == in.len && !refill(in)) {
    return false;
  }
  const unsigned char* data = in.data + in.pos;
  std::size_t size = std::min(max, in.len - in.pos);
  if (in.data != in.window.map) {
    in.pos += leaf(data, size, context);
    return true;
  }
  const std::size_t asked = size;
  const std::size_t used = read_window(in.window, data, &size, leaf, context);
  if (size < asked) {
    in.len = in.pos + size;  // the rest of the window is gone
  }
  in.pos += used;
  return true;
}

namespace {

struct copy_target {
  unsigned char* out;
  std::size_t copied;
};

std::size_t copy_leaf(const unsigned char* data, std::size_t size, void* context) {
  auto* target = static_cast<copy_target*>(context);
  if (size > 0) {
    std::memcpy(target->out, data, size);
  }
  target->copied = size;
  return size;
}

}  // namespace

std::size_t read_into(input_stream& in, unsigned char* out, std::size_t max) {
  copy_target target = {out, 0};
  // A window cut short before its first unread byte yields nothing; the
  // refill after it reports the error.
  while (max > 0 && target.copied == 0 && consume_with(in, max, copy_leaf, &target)) {
  }
  return target.copied;
}
