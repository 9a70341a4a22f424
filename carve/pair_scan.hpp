#ifndef QVZ2PNG_CARVE_PAIR_SCAN_HPP
#define QVZ2PNG_CARVE_PAIR_SCAN_HPP

#include <cstddef>
#include <cstdint>
#include <vector>

// The scanner's inner loop: over a block of bytes, where the next attempt
// that can match two or more signature bytes begins, and how many attempts
// fail before it, by the attempt rule in scanner.hpp, with attempts
// beginning at the block's first byte.
struct pair_scan_result {
  std::size_t stop;     // the 137 of the first 137 80 pair, or a 137 that is
                        // the block's last byte; the block's size if none
  std::int64_t failed;  // attempts that fail before stop
};

using pair_scan_fn = pair_scan_result (*)(const unsigned char* data, std::size_t size);

// With the fastest kernel this processor runs, chosen on the first call.
pair_scan_result pair_scan(const unsigned char* data, std::size_t size);

struct pair_scan_kernel {
  const char* name;
  pair_scan_fn scan;
};

// Every kernel this processor can run, the one pair_scan uses first and the
// portable one last.
std::vector<pair_scan_kernel> pair_scan_kernels();

#endif
