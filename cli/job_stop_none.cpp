// Windows stops no console program with Ctrl-Z (there it ends a line of
// input): there is no stop to erase the status line before.

#include "cli/job_stop.hpp"

void erase_status_line_on_stop() {}
