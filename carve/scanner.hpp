#ifndef QVZ2PNG_CARVE_SCANNER_HPP
#define QVZ2PNG_CARVE_SCANNER_HPP

#include <cstdio>

#include "carve/input_stream.hpp"
#include "carve/scan_state.hpp"

// Reads the container from its current position to its end, handing every
// full signature match to the extractor. Counts each match attempt in
// state.testcount: an attempt begins at the first byte of the input, after
// the byte that broke the previous attempt (or at it, when that byte is 137
// and so may begin a signature), or after the last byte an image copied.
scan_outcome scan_for_images(input_stream& in, scan_state& state, std::FILE* messages = stdout);

#endif
