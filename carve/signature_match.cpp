#include "carve/signature_match.hpp"

#include "carve/pair_scan.hpp"
#include "carve/png.hpp"

std::size_t match_signature(const unsigned char* data, std::size_t size, int* matched) {
  int m = *matched;
  std::size_t j = 0;
  while (j < size && m < whole_signature) {
    if (m == 0) {
      // Every 137 followed by 80 is a stop of the pair kernel, so it skips
      // at memory speed to where a signature can begin.
      j += pair_scan(data + j, size - j).stop;
      if (j == size) {
        break;
      }
    }
    // The signature's first byte occurs nowhere else in it, so a byte that
    // breaks a partial match can only begin a new one itself.
    const unsigned char byte = data[j++];
    m = byte == png_signature[m] ? m + 1 : byte == png_signature[0] ? 1 : 0;
  }
  *matched = m;
  return j;
}
