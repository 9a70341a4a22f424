#include "carve/scanner.hpp"

#include <limits>

#include "carve/extractor.hpp"
#include "carve/pair_scan.hpp"
#include "carve/png.hpp"

namespace {

struct skipped {
  std::int64_t failed;
  bool candidate;
};

std::size_t skip_leaf(const unsigned char* data, std::size_t size, void* context) {
  const pair_scan_result result = pair_scan(data, size);
  auto* out = static_cast<skipped*>(context);
  out->failed = result.failed;
  out->candidate = result.stop < size;
  return out->candidate ? result.stop + 1 : size;
}

// Runs the attempts that fail on their first or second byte in bulk, a
// block at a time. Stops after consuming a 137 that may begin a signature,
// and returns true; returns false when the attempt that would begin next
// meets the end.
bool skip_to_candidate(input_stream& in, scan_state& state) {
  skipped block = {0, false};
  while (consume_with(in, std::numeric_limits<std::size_t>::max(), skip_leaf, &block)) {
    state.testcount += block.failed;
    if (block.candidate) {
      return true;
    }
  }
  return false;
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

scan_outcome scan_for_images(input_stream& in, scan_state& state, const carve_listener& listener) {
  bool restart = false;  // the previous attempt's breaking byte was a 137
  for (;;) {
    bool candidate = restart || skip_to_candidate(in, state);
    restart = false;
    int matched = candidate ? match_rest(in, &restart) : 0;
    state.testcount += 1;
    if (matched == 8 &&
        extract_image(in, state, listener) == extract_outcome::output_not_available) {
      return scan_outcome::output_not_available;
    }
    if (in.read_error) {
      tell(listener, carve_event::scan_failed);
      return scan_outcome::read_error;
    }
    if (in.end_of_input) {
      tell(listener, carve_event::scan_finished);
      return scan_outcome::end_of_input;
    }
  }
}
