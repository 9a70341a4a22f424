#include "carve/scanner.hpp"

#include <cstring>
#include <limits>

#include "carve/extractor.hpp"

namespace {

// Runs the attempts that fail within the block held, in bulk: every byte
// other than 137 is an attempt that fails on its first byte, and a 137
// followed by anything but 80 is one that fails on its second (a 137 there
// begins the next attempt). Stops after consuming a 137 that may begin a
// signature, and returns true; returns false when the attempt that would
// begin next meets the end.
bool skip_to_candidate(input_stream& in, scan_state& state) {
  for (;;) {
    const unsigned char* p = nullptr;
    std::size_t n = peek_bytes(in, std::numeric_limits<std::size_t>::max(), &p);
    if (n == 0) {
      return false;
    }
    const unsigned char* const end = p + n;
    std::int64_t failed = 0;
    bool candidate = false;
    while (p < end) {
      const auto* hit = static_cast<const unsigned char*>(
          std::memchr(p, png_signature[0], static_cast<std::size_t>(end - p)));
      if (hit == nullptr) {
        failed += end - p;
        p = end;
        break;
      }
      failed += hit - p;
      if (hit + 1 == end || hit[1] == png_signature[1]) {
        p = hit + 1;
        candidate = true;
        break;
      }
      failed += 1;
      p = hit[1] == png_signature[0] ? hit + 1 : hit + 2;
    }
    state.testcount += failed;
    in.pos = static_cast<std::size_t>(p - in.data);
    if (candidate) {
      return true;
    }
  }
}

// Matches the signature's bytes after the first; returns how many of the
// 8 matched. A 137 that breaks the match is left marked in *restart, since
// it may be the first byte of a signature itself.
int match_rest(input_stream& in, bool* restart) {
  for (int i = 1; i < 8; ++i) {
    int byte = read_byte(in);
    if (byte != png_signature[i]) {
      *restart = byte == png_signature[0];
      return i;
    }
  }
  return 8;
}

}  // namespace

scan_outcome scan_for_images(input_stream& in, scan_state& state, std::FILE* messages) {
  bool restart = false;  // the previous attempt's breaking byte was a 137
  for (;;) {
    bool candidate = restart || skip_to_candidate(in, state);
    restart = false;
    int matched = candidate ? match_rest(in, &restart) : 0;
    state.testcount += 1;
    if (matched == 8 &&
        extract_image(in, state, messages) == extract_outcome::output_not_available) {
      return scan_outcome::output_not_available;
    }
    if (in.read_error) {
      std::fprintf(messages, "ERROR!\r\n");
      return scan_outcome::read_error;
    }
    if (in.end_of_input) {
      std::fprintf(messages, "FINISHED.\r\n");
      return scan_outcome::end_of_input;
    }
  }
}
