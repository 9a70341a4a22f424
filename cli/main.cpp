#include <cstdio>

#include "carve/carve.hpp"
#include "cli/command_line.hpp"
#include "cli/job_stop.hpp"
#include "cli/process_setup.hpp"
#include "cli/report.hpp"
#include "cli/status_line.hpp"

int main(int argc, char** argv) {
  if (!prepare_process()) {
    print_no_report(stderr);
    return 1;
  }
  container_arg container;
  if (!container_from_command_line(argc, argv, &container)) {
    print_usage();
    return 0;
  }
  input_stream in;
  if (!open_input(in, container.path)) {
    // A file of such a name is carved; only where none opens is it a question.
    if (asks_for_usage(container)) {
      print_usage();
      return 0;
    }
    print_cannot_open(container.shown);
    return 1;
  }
  const off_limits kept = {in.identity, identify_file(stdout)};
  if (same_file(kept.report, kept.container)) {
    return 2;  // the report would be written into the container: nothing is
  }
  // Shown only to a person at a console; the report never sees it.
  status_line status = start_status_line(stderr, stdout, in.size);
  if (status.console != nullptr) {
    erase_status_line_on_stop();
  }
  report_target target = {stdout, &status};
  scan_state state;
  scan_outcome outcome = scan_for_images(in, state, kept, print_events_to(target));
  erase_status_line(status);
  if (outcome == scan_outcome::output_not_available) {
    return 2;  // the extractor has said which output failed
  }
  close_input(in);
  print_summary(state);
  // A run that could not read all of its container, or whose report was
  // lost, has not succeeded.
  bool reported = std::fflush(stdout) == 0 && std::ferror(stdout) == 0;
  return outcome == scan_outcome::read_error || !reported ? 1 : 0;
}
