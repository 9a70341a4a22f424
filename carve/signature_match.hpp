#ifndef QVZ2PNG_CARVE_SIGNATURE_MATCH_HPP
#define QVZ2PNG_CARVE_SIGNATURE_MATCH_HPP

#include <cstddef>

// The one value that the extractor and the scanner hand each other: how
// many bytes of a PNG signature the bytes read last end with, 0 to 7, or 8
// when they end with a whole one. No PNG holds a signature inside its
// chunks, so one met while copying an image shows that another image
// begins there.
constexpr int whole_signature = 8;

// Goes on with the match over data, whose first byte follows the bytes
// that *matched counts. Stops right after the first whole signature and
// returns how many bytes of data that took, with *matched 8; otherwise
// returns size, with *matched what the end of data holds of a signature.
std::size_t match_signature(const unsigned char* data, std::size_t size, int* matched);

#endif
