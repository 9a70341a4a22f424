#include "cli/process_setup.hpp"

// Windows raises no signal for a broken pipe or a file size limit, and a
// program started without standard handles gets none in the C library's
// numbering that a file could take.
bool prepare_process() {
  return true;
}
