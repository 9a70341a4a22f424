#ifndef QVZ2PNG_CARVE_SCANNER_HPP
#define QVZ2PNG_CARVE_SCANNER_HPP

#include "carve/carve_events.hpp"
#include "carve/input_stream.hpp"
#include "carve/off_limits.hpp"
#include "carve/scan_state.hpp"

// Reads the container from its current position to its end, handing every
// full signature match to the extractor, and tells the listener how far it
// has read and how the scan ended. No output is opened over what kept
// names.
//
// The attempt rule, which every other part of the tool follows: an attempt
// matches the 8 signature bytes one at a time and fails at the first byte
// that differs (that byte is consumed with it). An attempt begins at the
// first byte of the input, after the byte that broke the previous attempt
// (or at it, when that byte is 137 and so may begin a signature), or after
// the last byte an image copied, going on with the signature bytes that
// the image ends with (all 8, when a signature cut the image short, and
// the attempt is a full match at once). state.testcount counts every
// attempt, the last one, which meets the end, included.
scan_outcome scan_for_images(input_stream& in, scan_state& state, const off_limits& kept,
                             const carve_listener& listener);

#endif
