#ifndef QVZ2PNG_CARVE_OFF_LIMITS_HPP
#define QVZ2PNG_CARVE_OFF_LIMITS_HPP

#include "carve/file_identity.hpp"

// The files that no output may be opened over: writing an image into one
// would destroy what the run reads, or mix the image into its report.
struct off_limits {
  file_identity container;
  file_identity report;  // where the front end's texts go, when that is a file
};

#endif
