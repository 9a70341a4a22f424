#ifndef QVZ2PNG_CARVE_EXTRACTOR_HPP
#define QVZ2PNG_CARVE_EXTRACTOR_HPP

#include <cstdint>
#include <string>

#include "carve/carve_events.hpp"
#include "carve/input_stream.hpp"
#include "carve/scan_state.hpp"

// "DMP%05d.png" for the given image number.
std::string output_name(std::int64_t image_number);

// Copies one image, whose signature the scanner has just consumed, to the
// next numbered output file, walking its chunks up to and including IEND.
// Leaves the input just past the last byte copied. An output name that is
// the container, or the file that the listener's texts go to, is never
// opened.
extract_outcome extract_image(input_stream& in, scan_state& state, const carve_listener& listener);

#endif
