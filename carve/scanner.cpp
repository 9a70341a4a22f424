#include "carve/scanner.hpp"

#include <limits>

#include "carve/extractor.hpp"
#include "carve/pair_scan.hpp"
#include "carve/png.hpp"
#include "carve/signature_match.hpp"

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

// Goes on matching the signature's bytes from its byte at `from`; true when
// all 8 match. *next is what the following attempt begins with: 1 when the
// byte that broke this one is a 137, since it may begin a signature itself.
bool match_rest(input_stream& in, int from, int* next) {
  for (int i = from; i < whole_signature; ++i) {
    int byte = read_byte(in);
    if (byte != png_signature[i]) {
      *next = byte == png_signature[0] ? 1 : 0;
      return false;
    }
  }
  return true;
}

// Extracts the image whose signature was just matched. What writing it
// costs is no part of what reading the container costs.
extract_outcome copy_image(input_stream& in, scan_state& state, const off_limits& kept,
                           const carve_listener& listener, int* begun) {
  begin_image_copy(in);
  const extract_outcome outcome = extract_image(in, state, kept, listener, begun);
  end_image_copy(in);
  return outcome;
}

scan_outcome scan(input_stream& in, scan_state& state, const off_limits& kept,
                  const carve_listener& listener) {
  // The signature bytes the next attempt begins with, already matched: a
  // 137 that broke the previous attempt, or what an image's last bytes
  // hold of a signature (all of one, when another image cut it short).
  int begun = 0;
  for (;;) {
    bool whole = begun == whole_signature;
    if (!whole) {
      const int from = begun > 0 ? begun : skip_to_candidate(in, state) ? 1 : 0;
      begun = 0;
      whole = from > 0 && match_rest(in, from, &begun);
    }
    state.testcount += 1;
    if (whole &&
        copy_image(in, state, kept, listener, &begun) == extract_outcome::output_not_available) {
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

}  // namespace

scan_outcome scan_for_images(input_stream& in, scan_state& state, const off_limits& kept,
                             const carve_listener& listener) {
  in.listener = &listener;  // for the scan's duration only
  const scan_outcome outcome = scan(in, state, kept, listener);
  in.listener = nullptr;
  return outcome;
}
