#ifndef QVZ2PNG_CARVE_CARVE_HPP
#define QVZ2PNG_CARVE_CARVE_HPP

// Everything the front end needs to carve PNG images out of a container.

#include "carve/carve_events.hpp"
#include "carve/extractor.hpp"
#include "carve/input_stream.hpp"
#include "carve/off_limits.hpp"
#include "carve/png.hpp"
#include "carve/scan_state.hpp"
#include "carve/scanner.hpp"

#endif
