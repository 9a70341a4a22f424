#include "carve/extractor.hpp"

#include <algorithm>
#include <cinttypes>
#include <cstring>

#include "carve/png.hpp"

namespace {

// cut_off: the input ran out, or a chunk header showed the bytes to be no
// PNG; either way the image ends with the bytes read for it.
enum class copy_result { done, cut_off, write_failed };

// Copies count bytes from the input to out, a block at a time. The bytes
// pass through a buffer of our own: fwrite must never read a mapped window
// itself, since a fault there cannot be recovered from inside the C library.
copy_result copy_bytes(input_stream& in, std::FILE* out, std::uint32_t count) {
  unsigned char block[64 * 1024];
  while (count > 0) {
    std::size_t n = read_into(in, block, std::min<std::size_t>(count, sizeof block));
    if (n == 0) {
      return copy_result::cut_off;
    }
    count -= static_cast<std::uint32_t>(n);
    if (std::fwrite(block, 1, n, out) != n) {
      return copy_result::write_failed;
    }
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
copy_result copy_chunks(input_stream& in, std::FILE* out) {
  for (;;) {
    unsigned char header[8];
    std::size_t got = read_chunk_header(in, header);
    if (std::fwrite(header, 1, got, out) != got) {
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

extract_outcome output_not_available(const std::string& name, std::FILE* messages) {
  std::fprintf(messages, "Output path %s is not available.\r\n", name.c_str());
  return extract_outcome::output_not_available;
}

}  // namespace

std::string output_name(std::int64_t image_number) {
  char name[32];
  std::snprintf(name, sizeof name, "DMP%05" PRId64 ".png", image_number);
  return name;
}

extract_outcome extract_image(input_stream& in, scan_state& state, std::FILE* messages,
                              const file_identity& report) {
  state.image_count += 1;
  const std::string name = output_name(state.image_count);
  // An output name that refers to the container (run in its folder, a link
  // to it, the FIFO it arrives through) must never be opened for writing,
  // nor one that standard output was redirected to.
  if (names_file(name.c_str(), in.identity) || names_file(name.c_str(), report)) {
    return output_not_available(name, messages);
  }
  std::FILE* out = std::fopen(name.c_str(), "wb");
  if (out == nullptr) {
    return output_not_available(name, messages);
  }
  std::fprintf(messages, "Started png file %5" PRId64 ".\r\n", state.image_count);

  copy_result result = copy_result::write_failed;
  if (std::fwrite(png_signature, 1, sizeof png_signature, out) == sizeof png_signature) {
    result = copy_chunks(in, out);
  }
  if (result == copy_result::cut_off) {
    std::fprintf(messages, "ERROR!!!\r\n");
  }
  bool closed = std::fclose(out) == 0;
  if (result == copy_result::write_failed || !closed) {
    // An image that did not reach the disk whole is not left behind.
    std::remove(name.c_str());
    return output_not_available(name, messages);
  }
  return extract_outcome::extracted;
}
