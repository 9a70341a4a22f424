#include "carve/extractor.hpp"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "carve/output_file.hpp"
#include "carve/png.hpp"

namespace {

// cut_off: the input ran out, or a chunk header showed the bytes to be no
// PNG; either way the image ends with the bytes read for it.
enum class copy_result { done, cut_off, write_failed };

// The image being written: its file, and the bytes not written to it yet.
// The bytes pass through this block of our own: the system's write must
// never read a mapped window itself, since a fault there could not be
// recovered from.
struct image_out {
  int fd;
  std::size_t held;
  unsigned char block[64 * 1024];
};

bool flush(image_out& out) {
  const bool written = write_output(out.fd, out.block, out.held);
  out.held = 0;
  return written;
}

// Makes room for at least one byte; false when writing out failed.
bool make_room(image_out& out) {
  return out.held < sizeof out.block || flush(out);
}

bool put(image_out& out, const unsigned char* data, std::size_t size) {
  if (out.held + size > sizeof out.block && !flush(out)) {
    return false;
  }
  std::memcpy(out.block + out.held, data, size);
  out.held += size;
  return true;
}

// Copies count bytes from the input to out, straight into its block.
copy_result copy_bytes(input_stream& in, image_out& out, std::uint32_t count) {
  while (count > 0) {
    if (!make_room(out)) {
      return copy_result::write_failed;
    }
    const std::size_t room = sizeof out.block - out.held;
    std::size_t n = read_into(in, out.block + out.held, std::min<std::size_t>(count, room));
    if (n == 0) {
      return copy_result::cut_off;
    }
    out.held += n;
    count -= static_cast<std::uint32_t>(n);
  }
  return copy_result::done;
}

// Reads up to 8 header bytes into header; returns how many could be had.
std::size_t read_chunk_header(input_stream& in, unsigned char* header) {
  std::size_t got = 0;
  while (got < 8) {
    std::size_t n = read_into(in, header + got, 8 - got);
    if (n == 0) {
      break;
    }
    got += n;
  }
  return got;
}

// Walks length, type, data and CRC of each chunk, writing every byte read,
// until the IEND chunk's CRC has been copied or a header is cut short or
// bears a type that is not four letters. The input is then left just past
// the last byte written, so the scan resumes right after such a header.
copy_result copy_chunks(input_stream& in, image_out& out) {
  for (;;) {
    unsigned char header[8];
    std::size_t got = read_chunk_header(in, header);
    if (!put(out, header, got)) {
      return copy_result::write_failed;
    }
    if (got < 8 || !is_chunk_type(header + 4)) {
      return copy_result::cut_off;
    }
    // Unsigned 32-bit on purpose: a length of 2^32 - 4 or more wraps the
    // count of data and CRC bytes to 0..3.
    std::uint32_t count = load_be32(header) + 4u;
    copy_result result = copy_bytes(in, out, count);
    if (result != copy_result::done || std::memcmp(header + 4, "IEND", 4) == 0) {
      return result;
    }
  }
}

extract_outcome output_not_available(const carve_listener& listener, std::int64_t image) {
  tell(listener, carve_event::output_not_available, image);
  return extract_outcome::output_not_available;
}

// Creates the image's file; -1 when it cannot be. A name that is taken
// already is opened over only when it is neither the container nor the
// file that the report goes to.
int create_image_file(const std::string& name, const input_stream& in,
                      const carve_listener& listener) {
  bool taken = false;
  const int fd = create_output(name.c_str(), &taken);
  if (fd >= 0 || !taken || names_container(in, name.c_str()) ||
      names_file(name.c_str(), listener.report)) {
    return fd;
  }
  return replace_output(name.c_str());
}

}  // namespace

std::string output_name(std::int64_t image_number) {
  char name[32];
  std::snprintf(name, sizeof name, "DMP%05" PRId64 ".png", image_number);
  return name;
}

extract_outcome extract_image(input_stream& in, scan_state& state, const carve_listener& listener) {
  state.image_count += 1;
  const std::string name = output_name(state.image_count);
  image_out out;
  out.fd = create_image_file(name, in, listener);
  out.held = 0;
  if (out.fd < 0) {
    return output_not_available(listener, state.image_count);
  }
  tell(listener, carve_event::image_begun, state.image_count);

  copy_result result = copy_result::write_failed;
  if (put(out, png_signature, sizeof png_signature)) {
    result = copy_chunks(in, out);
  }
  if (result == copy_result::cut_off) {
    tell(listener, carve_event::image_cut_off, state.image_count);
  }
  const bool written = result != copy_result::write_failed && flush(out);
  if (!close_output(out.fd) || !written) {
    // An image that did not reach the disk whole is not left behind.
    std::remove(name.c_str());
    return output_not_available(listener, state.image_count);
  }
  return extract_outcome::extracted;
}
