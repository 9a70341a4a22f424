#ifndef QVZ2PNG_CARVE_EXTRACTOR_HPP
#define QVZ2PNG_CARVE_EXTRACTOR_HPP

#include <cstdint>
#include <string>

#include "carve/carve_events.hpp"
#include "carve/input_stream.hpp"
#include "carve/off_limits.hpp"
#include "carve/scan_state.hpp"

// "DMP%05d.png" for the given image number.
std::string output_name(std::int64_t image_number);

// Copies one image, whose signature the scanner has just consumed, to the
// next numbered output file, walking its chunks up to and including IEND.
// A signature among the bytes it reads ends the image right before it.
// Leaves the input just past the last byte read, and in *next_matched how
// many signature bytes those end with (signature_match.hpp), for the next
// attempt to go on from. An output name that reaches a file that kept
// names is never written.
extract_outcome extract_image(input_stream& in, scan_state& state, const off_limits& kept,
                              const carve_listener& listener, int* next_matched);

#endif
