#include "carve/extractor.hpp"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "carve/output_file.hpp"
#include "carve/png.hpp"
#include "carve/signature_match.hpp"

namespace {

// How the walk over an image's chunks ended, when not at IEND's CRC.
enum class copy_result {
  done,
  cut_off,    // the input ran out, or a chunk header showed the bytes to be no PNG
  signature,  // the bytes read hold the signature of the next image
};

// The image being written: its file, and the bytes not written to it yet.
// The bytes pass through this block of our own: the system's write must
// never read a mapped window itself, since a fault there could not be
// recovered from. The last `matched` bytes held may begin the next image's
// signature, so they are held back until the walk shows whether they do.
struct image_out {
  int fd;
  bool write_failed;  // from then on, the image is only walked to its end
  int matched;
  std::size_t held;
  unsigned char block[64 * 1024];
};

// Writes what is held but the last keep bytes, which move to the front.
void flush(image_out& out, std::size_t keep) {
  const std::size_t ready = out.held - keep;
  out.write_failed = out.write_failed || !write_output(out.fd, out.block, ready);
  std::memmove(out.block, out.block + ready, keep);
  out.held = keep;
}

struct copy_job {
  unsigned char* to;
  int matched;
  std::size_t copied;
};

// Copies bytes into the image's block and matches them there, so that only
// the copy can fault on a mapped window that shrank, before anything is
// decided. Takes the bytes up to the end of a signature, at most.
std::size_t copy_and_match(const unsigned char* data, std::size_t size, void* context) {
  auto* job = static_cast<copy_job*>(context);
  if (size > 0) {
    std::memcpy(job->to, data, size);
  }
  int matched = job->matched;
  job->copied = match_signature(job->to, size, &matched);
  job->matched = matched;
  return job->copied;
}

// Copies count bytes from the input into the image, straight into its
// block, unless they hold a signature: then the image ends before it.
copy_result copy_bytes(input_stream& in, image_out& out, std::uint32_t count) {
  while (count > 0) {
    if (out.held == sizeof out.block) {
      flush(out, static_cast<std::size_t>(out.matched));
    }
    copy_job job = {out.block + out.held, out.matched, 0};
    const std::size_t room = sizeof out.block - out.held;
    if (!consume_with(in, std::min<std::size_t>(count, room), copy_and_match, &job)) {
      return copy_result::cut_off;
    }
    out.held += job.copied;
    out.matched = job.matched;
    count -= static_cast<std::uint32_t>(job.copied);
    if (out.matched == whole_signature) {
      out.held -= whole_signature;  // the next image's, not this one's
      return copy_result::signature;
    }
  }
  return copy_result::done;
}

// Copies a chunk's 8 header bytes, all in the block, and points header at them.
copy_result copy_header(input_stream& in, image_out& out, const unsigned char** header) {
  if (sizeof out.block - out.held < 8) {
    flush(out, static_cast<std::size_t>(out.matched));
  }
  *header = out.block + out.held;
  return copy_bytes(in, out, 8);
}

// Walks length, type, data and CRC of each chunk, writing every byte read,
// until the IEND chunk's CRC has been copied, a header is cut short or
// bears a type that is not four letters, or the next image's signature is
// met. The input is then left just past the last byte read, so the scan
// resumes right after such a header, or the next image begins.
copy_result copy_chunks(input_stream& in, image_out& out) {
  for (;;) {
    const unsigned char* header = nullptr;
    copy_result result = copy_header(in, out, &header);
    if (result != copy_result::done) {
      return result;
    }
    if (!is_chunk_type(header + 4)) {
      return copy_result::cut_off;
    }
    const bool last = std::memcmp(header + 4, "IEND", 4) == 0;
    // Unsigned 32-bit on purpose: a length of 2^32 - 4 or more wraps the
    // count of data and CRC bytes to 0..3.
    result = copy_bytes(in, out, load_be32(header) + 4u);
    if (result != copy_result::done || last) {
      return result;
    }
  }
}

extract_outcome output_not_available(const carve_listener& listener, std::int64_t image) {
  tell(listener, carve_event::output_not_available, image);
  return extract_outcome::output_not_available;
}

// Creates the image's file; -1 when it cannot be. A name that is taken
// already is written over only when what it opens is none of the files
// kept names, nor a disk.
int create_image_file(const std::string& name, const off_limits& kept) {
  bool taken = false;
  const int fd = create_output(name.c_str(), &taken);
  return fd >= 0 || !taken ? fd : reuse_output(name.c_str(), kept);
}

// Ends the image's file: what is held is written, and the file closed. An
// image that did not reach the disk whole is not left behind, or the report
// says that it is.
extract_outcome finish_image(image_out& out, const std::string& name,
                             const carve_listener& listener, std::int64_t image) {
  flush(out, 0);
  const bool closed = close_output(out.fd);
  if (closed && !out.write_failed) {
    return extract_outcome::extracted;
  }
  const bool removed = remove_output(name.c_str());
  output_not_available(listener, image);
  if (!removed) {
    tell(listener, carve_event::output_not_removed, image);
  }
  return extract_outcome::output_not_available;
}

}  // namespace

std::string output_name(std::int64_t image_number) {
  char name[32];
  std::snprintf(name, sizeof name, "DMP%05" PRId64 ".png", image_number);
  return name;
}

extract_outcome extract_image(input_stream& in, scan_state& state, const off_limits& kept,
                              const carve_listener& listener, int* next_matched) {
  *next_matched = 0;
  state.image_count += 1;
  const std::string name = output_name(state.image_count);
  image_out out;
  out.fd = create_image_file(name, kept);
  if (out.fd < 0) {
    return output_not_available(listener, state.image_count);
  }
  tell(listener, carve_event::image_begun, state.image_count);
  out.write_failed = false;
  out.matched = 0;  // the search begins after the image's own signature
  std::memcpy(out.block, png_signature, sizeof png_signature);
  out.held = sizeof png_signature;

  const copy_result result = copy_chunks(in, out);
  if (result != copy_result::done) {
    tell(listener, carve_event::image_cut_off, state.image_count);
  }
  *next_matched = result == copy_result::signature ? whole_signature : out.matched;
  return finish_image(out, name, listener, state.image_count);
}
