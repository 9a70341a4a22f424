#include "carve/scanner.hpp"

#include <cstring>
#include <limits>

#include "carve/extractor.hpp"

namespace {

// Runs one-byte attempts in bulk: every byte other than 137 is an attempt
// that fails on its first byte. Consumes the next 137 and returns true, or
// returns false when the attempt that would begin next meets the end.
bool skip_to_candidate(input_stream& in, scan_state& state) {
  for (;;) {
    const unsigned char* data = nullptr;
    std::size_t n = peek_bytes(in, std::numeric_limits<std::size_t>::max(), &data);
    if (n == 0) {
      return false;
    }
    const void* hit = std::memchr(data, png_signature[0], n);
    std::size_t skipped =
        hit ? static_cast<std::size_t>(static_cast<const unsigned char*>(hit) - data) : n;
    state.testcount += static_cast<std::int64_t>(skipped);
    in.pos += skipped;
    if (hit) {
      in.pos += 1;
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
