#ifndef QVZ2PNG_CARVE_SCAN_STATE_HPP
#define QVZ2PNG_CARVE_SCAN_STATE_HPP

#include <cstdint>

// The run's counters. 64-bit so that multi-gigabyte containers, which need
// more than 2^31 match attempts, still report true figures.
struct scan_state {
  std::int64_t image_count = 0;  // output files begun; numbers them
  std::int64_t testcount = 0;    // signature match attempts made
};

enum class scan_outcome { end_of_input, read_error, output_not_available };

enum class extract_outcome { extracted, output_not_available };

#endif
